#pragma once

#include <QString>

namespace vistrel {

/// The program's name and version as its windows show them.
QString ProgramName();
QString ProgramVersion();

}  // namespace vistrel
