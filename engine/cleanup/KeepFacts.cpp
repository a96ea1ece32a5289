#include "KeepFacts.h"

#include "PictureDetail.h"

#include <algorithm>
#include <limits>
#include <optional>

namespace vistrel {

std::vector<PictureFacts> ReadKeepFacts(const QStringList& paths) {
    std::vector<PictureFacts> facts;
    facts.reserve(static_cast<std::size_t>(paths.size()));
    std::int64_t fewestPixels = std::numeric_limits<std::int64_t>::max();
    for (const QString& path : paths) {
        PictureFacts picture = ReadPictureFacts(path);
        if (picture.Readable()) {
            picture.camera = ReadCameraData(path);
            fewestPixels = std::min(fewestPixels, picture.Pixels());
        }
        facts.push_back(std::move(picture));
    }
    // Only a picture larger than another can be its enlargement: a group of pictures of one
    // size needs no decoding.
    if (std::none_of(facts.begin(), facts.end(), [fewestPixels](const PictureFacts& picture) {
            return picture.Readable() && picture.Pixels() > fewestPixels;
        })) {
        return facts;
    }
    std::vector<std::optional<DetailCrop>> crops(facts.size());
    for (std::size_t i = 0; i < facts.size(); ++i) {
        if (facts[i].Readable()) {
            crops[i] = ReadDetailCrop(paths[static_cast<qsizetype>(i)]);
        }
    }
    for (std::size_t i = 0; i < facts.size(); ++i) {
        for (std::size_t j = 0; j < facts.size(); ++j) {
            if (crops[i] && crops[j] && facts[i].Pixels() > facts[j].Pixels() &&
                LooksEnlarged(*crops[i], *crops[j])) {
                facts[i].enlargementOf.append(paths[static_cast<qsizetype>(j)]);
            }
        }
    }
    return facts;
}

}  // namespace vistrel
