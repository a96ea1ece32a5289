#pragma once

#include "ComparisonOptions.h"
#include "PictureFormats.h"
#include "ProgramSettings.h"

#include <QStringList>

namespace vistrel {

/// Every choice of the user that the settings store keeps: the 32-byte record and the values
/// beside it. A plain value: the window and vistrel-cli each hold one and pass what a job needs.
struct UserSettings {
    ProgramSettings record;
    /// The added formats' flags (kept as "MoreFormats"), all enabled until the store says not.
    AddedFormatFlags addedFormats{true, true, true};
    /// Also find turned and mirrored copies (kept as "TurnedCopies"); off until the store says on.
    bool findTurnedCopies = false;
    /// The reference folders (kept as "ReferenceFolders"): what lies under them is protected.
    QStringList referenceFolders;
    /// What a folder scan skips (kept as "ScanExclusions"): folder names and shell-style
    /// patterns on the path.
    QStringList exclusions;
    /// Pairs in the same folder are not compared (kept as "SkipSameFolder"); off until the
    /// store says on.
    bool skipSameFolder = false;

    /// What a similarity run reads of these settings.
    ComparisonOptions Comparison() const {
        return {record.threshold,
                record.shapeOnly,
                findTurnedCopies,
                -1,
                0,
                ReferenceFolders(referenceFolders),
                skipSameFolder};
    }

    friend bool operator==(const UserSettings&, const UserSettings&) = default;
};

/// The extensions a folder scan looks for under `settings`: every enabled format, the five in
/// table order and then the added ones (GetAllEnabledExtensions).
QStringList EnabledExtensions(const UserSettings& settings);

}  // namespace vistrel
