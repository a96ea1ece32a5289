#pragma once

#include <QString>
#include <QStringList>

namespace vistrel {

/// The user's reference folders: the pictures under them are protected. No bulk command ever
/// moves one, and a pair of two protected pictures is never compared. A value; any thread.
class ReferenceFolders {
public:
    ReferenceFolders() = default;
    /// `folders` as the user gave them; empty names are dropped. Each folder is known by its
    /// cleaned absolute path and, when it exists, by its canonical path too (a folder reached
    /// through a link protects what lies under either).
    explicit ReferenceFolders(const QStringList& folders);

    bool IsEmpty() const { return prefixes.isEmpty(); }
    /// The folders as the user gave them (empty names dropped).
    const QStringList& Folders() const { return folders; }

    /// Whether the path `path` lies under a reference folder, judged by the path alone (no file
    /// system access): for the many entries of a run.
    bool Protects(const QString& path) const;
    /// As Protects, and also by the file's canonical path (links followed) as it is now: for
    /// the check just before a file is moved.
    bool ProtectsFile(const QString& path) const;

    friend bool operator==(const ReferenceFolders& a, const ReferenceFolders& b) {
        return a.folders == b.folders;
    }

private:
    QStringList folders;
    /// Each folder's paths, ending with a slash so that "/a/b" does not protect "/a/bc".
    QStringList prefixes;
};

}  // namespace vistrel
