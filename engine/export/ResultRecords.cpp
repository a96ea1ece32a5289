#include "ResultRecords.h"

#include "repository/PictureRepository.h"

#include <algorithm>

namespace vistrel {

std::vector<PairInfo> LinkedPairs(const CPictureRepository& repository) {
    std::vector<PairInfo> records;
    for (std::int32_t a = 0; a < repository.GetCount(); ++a) {
        const std::size_t first = records.size();
        for (const CSimilarInfo& link : repository.GetPicture(a).similar) {
            // Each pair is linked from both of its entries; A's link holds how B is turned.
            if (link.index > a) {
                PairInfo record;
                record.indexA = a;
                record.indexB = link.index;
                record.factor = static_cast<float>(link.factor);
                record.orientation = link.orientation;
                records.push_back(record);
            }
        }
        std::sort(records.begin() + static_cast<std::ptrdiff_t>(first), records.end(),
                  [](const PairInfo& x, const PairInfo& y) { return x.indexB < y.indexB; });
    }
    return records;
}

}  // namespace vistrel
