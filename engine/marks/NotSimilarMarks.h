#pragma once

#include "MarkedPairs.h"
#include "SignatureDigest.h"

#include <QDateTime>
#include <QString>

#include <cstdint>
#include <memory>
#include <vector>

namespace vistrel {

/// The user's marks of pairs of pictures as not similar, kept in one SQLite database per user
/// ($XDG_DATA_HOME/vistrel/marks.sqlite) shared by every Vistrel process of that user: a mark
/// is the pair of the two pictures' signature digests (either order), so it holds for any file
/// with either content, wherever it is, until removed or until a picture's content changes.
/// User data, not a cache: clearing the signature cache leaves it alone.
///
/// As the signature cache, it uses only a folder and database of this user's own that no other
/// user may write, and changes no database but its own (marked by its application id). A file
/// that is not a sound database is set aside beside it under a new name (SetAside says where)
/// and a new one is begun. When no database can be used (a folder that cannot be written, a
/// place refused) the store is closed: it holds no marks, keeps none, and Problem says why.
/// Every change is one transaction; other processes may read and write at the same time.
/// Any thread; the calls are serialised.
class NotSimilarMarks {
public:
    /// One mark, as `List` gives it.
    struct Mark {
        DigestPair pair;
        /// The last known paths of the pictures of `pair.first` and `pair.second` (as marked or
        /// last marked again); the files may have moved or changed since.
        QString firstPath;
        QString secondPath;
        QDateTime marked;  ///< when the pair was (last) marked, local time
    };

    /// `$XDG_DATA_HOME/vistrel/marks.sqlite` (QStandardPaths::GenericDataLocation, so
    /// `~/.local/share/vistrel/marks.sqlite` when XDG_DATA_HOME is unset).
    static QString DefaultPath();

    /// Opens the database at `path`, making it (0600) and its folder (0700) when missing.
    explicit NotSimilarMarks(QString path = DefaultPath());
    NotSimilarMarks(const NotSimilarMarks&) = delete;
    NotSimilarMarks& operator=(const NotSimilarMarks&) = delete;
    ~NotSimilarMarks();

    bool IsOpen() const;
    /// True when the store would not use its place (another user's folder or file, one other
    /// users may write, a link, a database that is not Vistrel's marks); nothing there changed.
    bool IsRefused() const;
    QString Path() const;
    /// Why the store is closed or a change failed, for one warning; empty while all is well.
    QString Problem() const;
    /// Where a damaged database found on opening was set aside (the marks it held are not in the
    /// new one): for one warning. Empty when none was.
    QString SetAside() const;

    /// Marks the pair of `a` (last seen at `pathA`) and `b` (at `pathB`) as not similar, or
    /// marks it again with these paths and the time now. False when it could not be kept.
    bool Add(const SignatureDigest& a, const QString& pathA, const SignatureDigest& b,
             const QString& pathB);
    /// Removes the mark of the pair of `a` and `b` (either order). False when it could not;
    /// true also when there was none.
    bool Remove(const SignatureDigest& a, const SignatureDigest& b);
    /// Whether the pair of `a` and `b` (either order) is marked.
    bool Contains(const SignatureDigest& a, const SignatureDigest& b);
    /// Every mark, the most recent first.
    std::vector<Mark> List();
    std::int64_t Count();
    /// Removes every mark; false when it could not.
    bool Clear();
    /// The marked pairs now, for a run (empty when the store is closed).
    MarkedPairs Snapshot();

    /// SQLite's application id of the marks' databases ("VsMk").
    static constexpr std::int32_t kApplicationId = 0x56734d6b;
    /// The version of the tables; a database of a later version is refused, not changed.
    static constexpr int kSchemaVersion = 1;

private:
    struct Impl;
    std::unique_ptr<Impl> impl;
};

}  // namespace vistrel
