#pragma once

#include <QtGlobal>

namespace vistrel::cli {

class Console;

/// While it lives, Qt's own messages go through `console`, so that they never cut into the
/// progress line. The image readers' remarks about files they read all the same are dropped: a
/// picture that cannot be read gets a warning of its own. One at a time.
class QtMessageRoute {
public:
    explicit QtMessageRoute(Console& console);
    QtMessageRoute(const QtMessageRoute&) = delete;
    QtMessageRoute& operator=(const QtMessageRoute&) = delete;
    /// Gives Qt's messages back to the handler that was there before.
    ~QtMessageRoute();

private:
    QtMessageHandler previous;
};

}  // namespace vistrel::cli
