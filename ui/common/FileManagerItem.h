#pragma once

#include <QString>

namespace vistrel {

/// Shows `path` selected in the desktop's file manager (org.freedesktop.FileManager1); when no
/// file manager answers on the session bus, opens the folder that holds it. Silent on failure.
/// GUI thread; waits for the bus for a few seconds at most.
void ShowInFileManager(const QString& path);

}  // namespace vistrel
