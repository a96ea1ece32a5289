#pragma once

#include <QString>

namespace vistrel {

/// A difference factor (0..255, as links and pairs keep it) as the window shows it: on the
/// threshold's scale (ShownFactor), with one decimal in the user's locale, "7.8" for 10.
QString FactorText(float factor);

}  // namespace vistrel
