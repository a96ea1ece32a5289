#pragma once

#include <QStringList>

#include <string>
#include <vector>

namespace vistrel {

/// The user's exclusions, read once for a scan: which folders and files a folder scan leaves
/// out. A pattern without a slash or a wildcard is a name ("@eaDir"); one without a slash but
/// with a wildcard (* ? [...]) is matched against the name ("*.tmp.jpg"); one with a slash is
/// matched against the whole path ("/home/me/Pictures/old*"), where * also crosses slashes. A
/// slash at the end is dropped ("@eaDir/" is the name "@eaDir"); empty patterns are ignored.
/// Matching is shell-style (fnmatch) on the bytes of the names, letter case counts. Const
/// after construction: any thread may use it.
class ScanExclusions {
public:
    explicit ScanExclusions(const QStringList& patterns = {});

    /// The pattern that names the folder `path` and nothing else: its absolute path, with the
    /// wildcards and backslashes it holds made literal.
    static QString PatternForFolder(const QString& path);

    /// True when no pattern is in force: the scan then need not ask.
    bool IsEmpty() const { return names.empty() && nameGlobs.empty() && pathGlobs.empty(); }

    /// True when the entry called `name` (its bytes on disk) at `path` (the folder's path, a
    /// slash and `name`) is left out.
    bool Excludes(const char* name, const std::string& path) const;

private:
    std::vector<std::string> names;
    std::vector<std::string> nameGlobs;
    std::vector<std::string> pathGlobs;
};

}  // namespace vistrel
