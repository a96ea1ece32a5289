#include "KeepFacts.h"

#include <algorithm>
#include <limits>

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
    // Only a picture larger than another can be its enlargement: the smallest pictures need no
    // decoding, nor does a group of pictures of one size.
    for (std::size_t i = 0; i < facts.size(); ++i) {
        if (facts[i].Readable() && facts[i].Pixels() > fewestPixels) {
            if (std::optional<DetailProfile> detail =
                    ReadPictureDetail(paths[static_cast<qsizetype>(i)])) {
                facts[i].detail = std::make_shared<const DetailProfile>(*detail);
            }
        }
    }
    return facts;
}

}  // namespace vistrel
