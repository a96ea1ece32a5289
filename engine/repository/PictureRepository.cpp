#include "PictureRepository.h"

#include "PictureAppender.h"
#include "signature/PictureSignature.h"

#include <algorithm>
#include <cmath>
#include <optional>
#include <stdexcept>
#include <utility>

namespace vistrel {

std::size_t CPictureRepository::CheckedIndex(std::int32_t index) const {
    if (index < 0 || index >= GetCount()) {
        throw std::out_of_range("picture index out of range");
    }
    return static_cast<std::size_t>(index);
}

QStringList CPictureRepository::Paths() const {
    QStringList paths;
    paths.reserve(static_cast<qsizetype>(pictures.size()));
    for (const CPictureInfo& picture : pictures) {
        paths.append(picture.path);
    }
    return paths;
}

std::int32_t CPictureRepository::FindPicture(const QString& path) const {
    return indexByPath.value(path, -1);
}

std::int32_t CPictureRepository::FindFile(const QString& path) const {
    if (const std::int32_t index = FindPicture(path); index >= 0) {
        return index;
    }
    if (pathByFile.empty()) {
        return -1;
    }
    const std::optional<FileIdentity> identity = ReadFileIdentity(path);
    if (!identity) {
        return -1;
    }
    const auto known = pathByFile.find(KeyOf(*identity));
    return known == pathByFile.end() ? -1 : FindPicture(known->second);
}

bool CPictureRepository::AddPicture(const QString& path) {
    if (FindPicture(path) >= 0) {
        return true;
    }
    if (FindFile(path) >= 0) {
        return false;  // decoding it would be wasted: AddSignedPicture refuses it
    }
    return AddSignedPicture(path, SignatureBytes(ComputeSignature(path, side)));
}

void CPictureRepository::AddPictures(const std::vector<QString>& paths, SigningLimits signing,
                                     ProgressObserver* observer) {
    PictureAppender appender(*this, std::move(signing), observer);
    for (const QString& path : paths) {
        appender.Add(path);
    }
    appender.Finish();
}

bool CPictureRepository::AddSignedPicture(const QString& path, SignatureBytes signature) {
    if (FindPicture(path) >= 0) {
        return true;
    }
    std::optional<FileKey> file;
    if (const std::optional<FileIdentity> identity = ReadFileIdentity(path)) {
        file = KeyOf(*identity);
        if (const auto known = pathByFile.find(*file); known != pathByFile.end()) {
            // The entry's own path must still lead to this file: once a file is deleted its
            // inode number may be given to a new file, and a file saved by writing a new one and
            // renaming it over the old name has a new inode.
            const std::optional<FileIdentity> held = ReadFileIdentity(known->second);
            if (held && held->SameFile(*identity)) {
                return false;
            }
            const std::int32_t stale = FindPicture(known->second);
            if (stale >= 0) {
                pictures[static_cast<std::size_t>(stale)].file.reset();
            }
            pathByFile.erase(known);
        }
    }
    CPictureInfo entry;
    entry.path = path;
    entry.loadError = signature.empty();
    entry.signature = signatureStore ? signatureStore->Keep(signature) : std::move(signature);
    if (entry.signature.empty() && !entry.loadError) {
        return false;  // out of memory: a picture that was read must not look unreadable
    }
    entry.file = file;
    if (file) {
        pathByFile.emplace(*file, path);
    }
    indexByPath.insert(path, GetCount());
    pictures.push_back(std::move(entry));
    modified = true;
    return true;
}

bool CPictureRepository::RemovePicture(const QString& path) {
    const std::int32_t index = FindPicture(path);
    if (index >= 0) {
        RemovePictureAt(index);
    }
    return true;
}

bool CPictureRepository::RemovePictureAt(std::int32_t index) {
    const std::size_t removed = CheckedIndex(index);
    ForgetFile(removed);
    indexByPath.remove(pictures[removed].path);
    pictures.erase(pictures.begin() + static_cast<std::ptrdiff_t>(removed));
    modified = true;
    for (std::size_t i = removed; i < pictures.size(); ++i) {
        indexByPath[pictures[i].path] = static_cast<std::int32_t>(i);
    }
    for (CPictureInfo& picture : pictures) {
        auto& links = picture.similar;
        std::erase_if(links, [index](const CSimilarInfo& link) { return link.index == index; });
        for (CSimilarInfo& link : links) {
            if (link.index > index) {
                --link.index;
            }
        }
    }
    return true;
}

void CPictureRepository::RemovePictures(const std::vector<std::int32_t>& indexes) {
    std::vector<bool> removed(pictures.size(), false);
    for (const std::int32_t index : indexes) {
        if (index >= 0 && index < GetCount()) {
            removed[static_cast<std::size_t>(index)] = true;
        }
    }
    // Each entry's new index, or -1 for an entry that goes.
    std::vector<std::int32_t> renumbered(pictures.size(), -1);
    std::size_t kept = 0;
    for (std::size_t i = 0; i < pictures.size(); ++i) {
        if (removed[i]) {
            ForgetFile(i);
            indexByPath.remove(pictures[i].path);
            continue;
        }
        renumbered[i] = static_cast<std::int32_t>(kept);
        if (kept != i) {
            pictures[kept] = std::move(pictures[i]);
            indexByPath[pictures[kept].path] = static_cast<std::int32_t>(kept);
        }
        ++kept;
    }
    if (kept == pictures.size()) {
        return;
    }
    pictures.resize(kept);
    modified = true;
    for (CPictureInfo& picture : pictures) {
        auto& links = picture.similar;
        std::erase_if(links, [&renumbered](const CSimilarInfo& link) {
            return link.index < 0 || static_cast<std::size_t>(link.index) >= renumbered.size() ||
                   renumbered[static_cast<std::size_t>(link.index)] < 0;
        });
        for (CSimilarInfo& link : links) {
            link.index = renumbered[static_cast<std::size_t>(link.index)];
        }
    }
}

void CPictureRepository::RemoveAllPictures() {
    pictures.clear();
    indexByPath.clear();
    pathByFile.clear();
}

void CPictureRepository::ForgetFile(std::size_t index) {
    if (const std::optional<FileKey>& file = pictures[index].file) {
        if (const auto known = pathByFile.find(*file);
            known != pathByFile.end() && known->second == pictures[index].path) {
            pathByFile.erase(known);
        }
    }
}

bool CPictureRepository::HasMarked() const {
    return std::any_of(pictures.begin(), pictures.end(),
                       [](const CPictureInfo& picture) { return picture.marked; });
}

bool CPictureRepository::HasLoadErrors() const {
    return std::any_of(pictures.begin(), pictures.end(),
                       [](const CPictureInfo& picture) { return picture.loadError; });
}

bool CPictureRepository::HasSimilar() const {
    return std::any_of(pictures.begin(), pictures.end(),
                       [](const CPictureInfo& picture) { return !picture.similar.empty(); });
}

void CPictureRepository::AddSimilarPair(const PairInfo& result) {
    // Truncation toward zero; factors are never negative, but a cast keeps the rule exact.
    const auto factor = static_cast<std::int32_t>(std::trunc(result.factor));
    // B turned by the pair's orientation looks like A, so A turned back looks like B.
    GetPicture(result.indexB)
        .similar.push_back(CSimilarInfo{result.indexA, factor, Inverse(result.orientation)});
    GetPicture(result.indexA)
        .similar.push_back(CSimilarInfo{result.indexB, factor, result.orientation});
}

}  // namespace vistrel
