#pragma once

namespace vistrel::cli {

class Console;

/// Sends Qt's own messages through `console`, so that they never cut into the progress line.
/// The image readers' remarks about files they read all the same are dropped: a picture that
/// cannot be read gets a warning of its own. `console` must outlive the program's Qt use.
void RouteQtMessages(Console& console);

}  // namespace vistrel::cli
