#pragma once

#include "SimilarInfo.h"

#include <QString>

#include <optional>
#include <vector>

class QIODevice;

namespace vistrel {

/// What a repository file holds: the paths in repository order and each entry's links.
struct RepositoryFileContents {
    std::vector<QString> paths;
    /// One list per path, in file order; every index names another entry of `paths`.
    std::vector<std::vector<CSimilarInfo>> links;
};

/// Reads a whole repository file from `file` (open for reading) and checks that it is one: every
/// number line is an optional minus sign and decimal digits within 32 bits, counts are not
/// negative and agree with the records that follow, every path is read by its declared length
/// (so line feeds and tabs in names survive), no path is empty or repeated, every link names
/// another record, and nothing follows the last record (its final line feed may be missing).
/// Links with a factor outside 0 to 100 are dropped: saving keeps what runs with a high threshold
/// made, and loading has always left them out. Nothing for a file that is not a repository file
/// or is cut short. Any thread.
std::optional<RepositoryFileContents> ParseRepositoryFile(QIODevice& file);

}  // namespace vistrel
