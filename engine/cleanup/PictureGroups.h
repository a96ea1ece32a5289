#pragma once

#include "PictureFacts.h"

#include <QString>

#include <cstddef>
#include <cstdint>
#include <vector>

namespace vistrel {

class CPictureRepository;

/// The entries of one group of similar pictures, by repository index, in repository order.
using PictureGroup = std::vector<std::int32_t>;

/// The groups of similar pictures: the sets of entries joined by links, directly or through
/// other entries. An entry without links belongs to none. Groups come in the order of their
/// first entry. Linear in entries and links. GUI thread (the repository's thread).
std::vector<PictureGroup> ListPictureGroups(const CPictureRepository& repository);

/// How the picture to keep of a group is chosen. BestCopy ranks copies as a photographer would
/// (CompareCopies); the others weigh one fact and break its ties as BestCopy does.
enum class KeepRule { MostPixels, LargestFile, Oldest, Newest, ShortestPath, BestCopy };

/// One picture of a group as the choice sees it.
struct KeepCandidate {
    QString path;
    PictureFacts facts;
    /// The test could not make the picture's signature: it is damaged, whatever its header says.
    bool loadError = false;
    /// A lossless re-save of a lossy picture of the group (MarkResaves).
    bool resave = false;

    /// A picture that can be kept: its file is there and can be read.
    bool Keepable() const { return facts.Readable() && !loadError; }
};

/// The position in `group` of the picture to keep under `rule`. A picture that cannot be read
/// now is never chosen while a readable one exists, nor one whose file is gone while another
/// file exists; a tie under the rule goes to the better copy (CompareCopies), and only among
/// equals there to the earlier one, so the choice is the same every time. When no file exists,
/// 0. Any thread.
std::size_t ChooseKeptPicture(const std::vector<KeepCandidate>& group, KeepRule rule);

}  // namespace vistrel
