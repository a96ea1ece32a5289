#pragma once

#include "PairInfo.h"

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <vector>

namespace vistrel {
class CPictureRepository;
}

namespace vistrel::cli {

/// A factor as printf's "%.3f" writes it, whatever the user's locale.
QByteArray FormatFactor(float factor);

/// The line of one similar pair of a test: "FACTOR<TAB>PATH_A<TAB>PATH_B\n", with A the
/// earlier entry. Paths keep the bytes of their file names.
QByteArray PairLine(const CPictureRepository& repository, const PairInfo& record);

/// The line of one picture found by a search for `target`: "FACTOR<TAB>PATH\n".
QByteArray SearchLine(const CPictureRepository& repository, const PairInfo& record,
                      std::int32_t target);

/// The whole result as one JSON document: every entry (path, loadError) and every similar pair
/// (a before b, indices into the pictures, exact factor); "target" for a search.
QByteArray JsonResult(const CPictureRepository& repository, const std::vector<PairInfo>& records,
                      std::int32_t target);

}  // namespace vistrel::cli
