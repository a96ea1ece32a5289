#pragma once

#include "comparison/kernels/PairInfo.h"

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <vector>

namespace vistrel {

class CPictureRepository;

// The text of the results as vistrel-cli writes them and File > Export Results saves them: pure
// formatting of a repository's entries and result records, any thread that may read the
// repository.

/// A factor (0..255) on the threshold's scale (ShownFactor: similar below the threshold) as
/// printf's "%.3f" writes it, whatever the user's locale: "8.206" for 10.504.
QByteArray FormatFactor(float factor);

/// How the other picture of the similar pair `record` is turned to look like that of entry
/// `first` (one of the pair's two).
Orientation TurnOnto(const PairInfo& record, std::int32_t first);

/// How the fields of a record end: a tab, the last one a line feed; or every one a NUL byte, as
/// `find -print0` ends its names, for names that hold tabs or line feeds themselves.
enum class RecordEnds { Lines, Nul };

/// The record of one similar pair of a test: "FACTOR<TAB>PATH_A<TAB>PATH_B\n", or
/// "FACTOR\0PATH_A\0PATH_B\0", with A the earlier entry. Paths keep the bytes of their file
/// names. With `orientation`, a last field says how B is turned to look like A
/// (OrientationName).
QByteArray PairLine(const CPictureRepository& repository, const PairInfo& record,
                    RecordEnds ends = RecordEnds::Lines, bool orientation = false);

/// The record of one picture found by a search for `target`: "FACTOR<TAB>PATH\n", or
/// "FACTOR\0PATH\0". With `orientation`, a last field says how PATH is turned to look like
/// the target.
QByteArray SearchLine(const CPictureRepository& repository, const PairInfo& record,
                      std::int32_t target, RecordEnds ends = RecordEnds::Lines,
                      bool orientation = false);

/// The whole result as one JSON document: every entry (path, loadError) and every similar pair
/// (a before b, indices into the pictures, the exact factor on the threshold's scale
/// (ShownFactor), the orientation that turns b to look
/// like a); "target" for a search. Paths are
/// JSON strings of the exact names: control characters and lone UTF-16 surrogates are written
/// as \u escapes, so any parser gives back the name the repository holds.
QByteArray JsonResult(const CPictureRepository& repository, const std::vector<PairInfo>& records,
                      std::int32_t target);

}  // namespace vistrel
