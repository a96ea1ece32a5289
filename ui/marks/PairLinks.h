#pragma once

#include "marks/SignatureDigest.h"
#include "repository/SimilarInfo.h"

#include <QString>

#include <optional>

namespace vistrel {

class CPictureRepository;

/// The link between two entries of a repository, known by their paths and signature digests,
/// as it was taken out: enough to put it back while both entries are still there with the same
/// pictures, whatever was added or removed between.
struct TakenLink {
    QString firstPath;
    QString secondPath;
    SignatureDigest firstDigest;
    SignatureDigest secondDigest;
    /// The link as the first entry held it (to the second), and as the second held it.
    CSimilarInfo fromFirst;
    CSimilarInfo fromSecond;
    /// The entries were linked when the pair was described.
    bool linked = false;
};

/// The digests of the entries at `firstPath` and `secondPath`, and their link, when both are
/// entries with a readable picture; nothing otherwise. The link's factor is that of the first
/// entry's link, 0 when they are not linked. GUI thread.
std::optional<TakenLink> DescribePair(const CPictureRepository& repository,
                                      const QString& firstPath, const QString& secondPath);

/// Removes the link between the entries of `pair` in both directions; false when there was
/// none. Marks the repository modified: its file keeps the links. GUI thread.
bool TakeLinkOut(CPictureRepository& repository, const TakenLink& pair);

/// Links the entries of `pair` again as they were, when both are still entries, hold the same
/// pictures (by digest) and are not linked meanwhile; false otherwise. GUI thread.
bool PutLinkBack(CPictureRepository& repository, const TakenLink& pair);

}  // namespace vistrel
