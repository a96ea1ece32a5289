#pragma once

namespace vistrel::cli {

/// The exit statuses of vistrel-cli, which scripts rely on.
enum ExitStatus : int {
    kExitSuccess = 0,
    kExitUsage = 1,      ///< the command line is wrong
    kExitUnreadable = 2  ///< a source, a picture or an output file could not be read or written
};

}  // namespace vistrel::cli
