#pragma once

#include "FileIdentity.h"
#include "PictureInfo.h"
#include "comparison/kernels/PairInfo.h"
#include "progress/ProgressObserver.h"
#include "signature/SignatureStore.h"
#include "signature/SigningLimits.h"

#include <QHash>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <memory>
#include <unordered_map>
#include <vector>

namespace vistrel {

/// The ordered list of picture entries, known by their index, with the links between similar
/// entries. One thread at a time uses it: the GUI thread, or a loader thread while the GUI waits.
class CPictureRepository {
public:
    using PairInfo = vistrel::PairInfo;

    /// N: the side length of every signature, in pixels.
    static constexpr std::int32_t kSide = 100;

    CPictureRepository() = default;
    CPictureRepository(const CPictureRepository&) = delete;
    CPictureRepository& operator=(const CPictureRepository&) = delete;

    /// Number of entries.
    std::int32_t GetCount() const { return static_cast<std::int32_t>(pictures.size()); }
    bool IsEmpty() const { return pictures.empty(); }

    /// The entry at `index`; an index outside 0..count-1 throws std::out_of_range.
    CPictureInfo& GetPicture(std::int32_t index) { return pictures.at(CheckedIndex(index)); }
    const CPictureInfo& GetPicture(std::int32_t index) const {
        return pictures.at(CheckedIndex(index));
    }

    /// The entries changed since the repository was last saved.
    bool IsModified() const { return modified; }
    /// Clears the modified flag once the repository has been saved.
    void ClearModified() { modified = false; }
    /// Sets the modified flag: the links changed in a way that the repository file should keep.
    void MarkModified() { modified = true; }

    /// The side length N of the signatures (100).
    std::int32_t Side() const { return side; }

    /// The paths of all entries, in order.
    QStringList Paths() const;

    /// Index of the entry whose path equals `path` exactly (case-sensitive), or -1.
    std::int32_t FindPicture(const QString& path) const;

    /// Index of the entry that holds the file at `path`: the entry of that very path, or else
    /// the entry of the same file (device and inode) under another name, such as a path through
    /// a linked folder or a hard link; -1 when none. Costs a stat when `path` is no entry's path.
    std::int32_t FindFile(const QString& path) const;

    /// Appends an entry for `path` and computes its signature; an unreadable picture gets
    /// `loadError` and an empty signature. A path already present is left alone. Sets
    /// `modified` when an entry was appended. True when `path` is an entry afterwards; false,
    /// with nothing added, when another entry holds the same file under another path (FindFile
    /// names it): two entries of one file would be near-copies of each other, and a clean-up
    /// keeping one would trash the other, which is the same file.
    bool AddPicture(const QString& path);

    /// As AddPicture for each of `paths` in turn, with the signatures made by a PictureAppender
    /// under `signing` (its threads, 0: one per core; its signature cache, null for none); the
    /// entries are those of a serial making (the first path of a file is its entry, later names
    /// of it are left out). `observer`, when given, hears of each path handled (done of all
    /// `paths`) and may stop the rest.
    void AddPictures(const std::vector<QString>& paths, SigningLimits signing = {},
                     ProgressObserver* observer = nullptr);

    /// As AddPicture, with the signature made elsewhere (by a SignaturePipeline): an empty one
    /// marks the entry unreadable. The file is stat'ed once for its device and inode; a file
    /// that cannot be stat'ed (gone, no permission) is known by its path alone. Nothing is added
    /// (false) when the store refuses the signature for want of memory (Store()->OutOfRoom()).
    bool AddSignedPicture(const QString& path, SignatureBytes signature);

    /// Keeps the signatures of entries added from now on in `store` (in its file, out of this
    /// process's memory) rather than in memory. None by default.
    void UseSignatureStore(std::shared_ptr<SignatureStore> store) {
        signatureStore = std::move(store);
    }
    /// The store the signatures go to, or null.
    const SignatureStore* Store() const { return signatureStore.get(); }

    /// Removes the entry with that path (if any), dropping the links to it and renumbering the
    /// links to the entries after it. Always true.
    bool RemovePicture(const QString& path);
    /// As RemovePicture, for the entry at `index` (which must exist). Always true.
    bool RemovePictureAt(std::int32_t index);
    /// As RemovePictureAt for each of `indexes` (any order; repeats and indexes outside the
    /// entries are ignored), in one pass over the entries and links, so that removing thousands
    /// of entries costs no more than removing one.
    void RemovePictures(const std::vector<std::int32_t>& indexes);
    /// Removes every entry; `modified` stays as it was.
    void RemoveAllPictures();

    bool HasMarked() const;
    bool HasLoadErrors() const;
    bool HasSimilar() const;

    /// Writes the repository file (paths and links, UTF-16 little-endian lines) to `path`, with
    /// ".qrx" appended unless the path already ends in it (any letter case). The file is
    /// replaced only once it has been written whole and has reached the disk. Clears `modified`
    /// and returns true on success; on failure the earlier file stays exactly as it was,
    /// `modified` is kept, and `reason` (when given) receives the system's error text, such as
    /// "No space left on device". GUI thread.
    bool SaveToFile(QString path, QString* reason = nullptr);

    /// The file SaveToFile writes for `path`: ".qrx" appended unless its last four characters
    /// are ".qrx" in any letter case (a path of four characters or fewer is kept).
    static QString RepositoryFilePath(QString path);

    /// Records a similar pair as two links, one in each entry, with the factor truncated
    /// toward zero. Leaves `modified` as it was. A ComparisonRun records its pairs through it.
    void AddSimilarPair(const PairInfo& result);

private:
    std::size_t CheckedIndex(std::int32_t index) const;
    /// Writes the file `target` whole or not at all; on failure `reason` says why.
    bool WriteFile(const QString& target, QString& reason) const;

    /// Forgets the file behind the entry at `index`, when it had one.
    void ForgetFile(std::size_t index);

    std::vector<CPictureInfo> pictures;
    /// Index of every entry by its path, kept in step with `pictures`.
    QHash<QString, std::int32_t> indexByPath;
    /// The path of the entry of each file known by device and inode. The path, not the index,
    /// so that removals need not renumber it.
    std::unordered_map<FileKey, QString, FileKeyHash> pathByFile;
    bool modified = false;
    std::int32_t side = kSide;
    std::shared_ptr<SignatureStore> signatureStore;
};

}  // namespace vistrel
