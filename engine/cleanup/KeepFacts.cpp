#include "KeepFacts.h"

#include "PictureDetail.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <optional>
#include <system_error>
#include <thread>

namespace vistrel {

std::vector<PictureFacts> ReadKeepFacts(const QStringList& paths) {
    std::vector<PictureFacts> facts;
    facts.reserve(static_cast<std::size_t>(paths.size()));
    for (const QString& path : paths) {
        PictureFacts picture = ReadPictureFacts(path);
        if (picture.Readable()) {
            picture.camera = ReadCameraData(path);
        }
        facts.push_back(std::move(picture));
    }
    // Only a picture 1.8 times as wide and high as another can be taken for its enlargement
    // (LooksEnlarged): only such pairs are decoded. The smaller of a pair is decoded in full; a
    // JPEG that is only ever the larger one may be reduced in its DCT, as long as it stays 1.8
    // times as large as each smaller one.
    const auto outgrows = [&facts](std::size_t large, std::size_t small) {
        const QSize a = facts[large].size;
        const QSize b = facts[small].size;
        return facts[large].Readable() && facts[small].Readable() && b.width() * 1.8 <= a.width() &&
               b.height() * 1.8 <= a.height();
    };
    std::vector<std::optional<DetailCrop>> crops(facts.size());
    for (std::size_t i = 0; i < facts.size(); ++i) {
        bool smallerOfAPair = false;
        int widestPartner = 0;
        for (std::size_t j = 0; j < facts.size(); ++j) {
            smallerOfAPair = smallerOfAPair || outgrows(j, i);
            if (outgrows(i, j)) {
                const QSize partner = facts[j].size;
                widestPartner = std::max({widestPartner, partner.width(), partner.height()});
            }
        }
        if (smallerOfAPair || widestPartner > 0) {
            const int least =
                smallerOfAPair ? 0 : static_cast<int>(std::ceil(widestPartner * 1.82));
            crops[i] = ReadDetailCrop(paths[static_cast<qsizetype>(i)], least);
        }
    }
    for (std::size_t i = 0; i < facts.size(); ++i) {
        for (std::size_t j = 0; j < facts.size(); ++j) {
            if (crops[i] && crops[j] && outgrows(i, j) && LooksEnlarged(*crops[i], *crops[j])) {
                facts[i].enlargementOf.append(paths[static_cast<qsizetype>(j)]);
            }
        }
    }
    return facts;
}

std::vector<std::vector<PictureFacts>> ReadKeepFactsOfGroups(const std::vector<QStringList>& groups,
                                                             int workers) {
    std::vector<std::vector<PictureFacts>> facts(groups.size());
    std::atomic<std::size_t> next{0};
    const auto readGroups = [&] {
        for (std::size_t g = next++; g < groups.size(); g = next++) {
            facts[g] = ReadKeepFacts(groups[g]);
        }
    };
    const auto threads = static_cast<std::size_t>(
        workers > 0 ? workers
                    : static_cast<int>(std::max(1u, std::thread::hardware_concurrency())));
    std::vector<std::jthread> helpers;
    try {
        for (std::size_t t = 1; t < std::min(threads, groups.size()); ++t) {
            helpers.emplace_back(readGroups);
        }
    } catch (const std::system_error&) {
        // Fewer threads than asked for: the calling thread reads what they leave.
    }
    readGroups();
    return facts;
}

}  // namespace vistrel
