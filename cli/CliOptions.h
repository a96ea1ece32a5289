#pragma once

#include "cleanup/PictureGroups.h"
#include "settings/PictureFormats.h"
#include "settings/ProgramSettings.h"

#include <QString>
#include <QStringList>

#include <array>
#include <optional>

namespace vistrel::cli {

/// The command a run of vistrel-cli carries out.
enum class Command { None, Test, Search, Signature, Cache, Keep, Marks };

/// What `cache` does with the signature cache.
enum class CacheAction { None, Stats, Prune, Clear };

/// What `marks` does with the pairs marked not similar.
enum class MarksAction { None, Add, Remove, List, Clear };

/// Everything the command line asked for, once parsed. Unset optionals leave the user's
/// settings as they are.
struct CliOptions {
    Command command = Command::None;
    /// The picture of `search` and `signature`; empty for `test`.
    QString picture;
    QStringList sources;
    std::optional<float> threshold;
    bool shapeOnly = false;
    /// Also find turned and mirrored copies (--turned).
    bool turned = false;
    /// Patterns the folder scan leaves out (--exclude, repeatable), after the stored ones.
    QStringList exclusions;
    /// Which formats of the picture format table --formats enabled.
    std::optional<std::array<bool, FORMAT_COUNT>> formats;
    /// Which added formats (kAddedPictureFormats) --formats enabled; set together with `formats`.
    std::optional<AddedFormatFlags> addedFormats;
    QString saveFile;
    bool json = false;
    /// Fields and records ended by NUL bytes instead of tabs and line feeds (-0, --null).
    bool null = false;
    /// Threads that make signatures and compare (--workers); 0: one per core.
    int workers = 0;
    /// Neither use nor fill the signature cache (--no-cache).
    bool noCache = false;
    /// Reference folders added to the stored ones (--reference, any number of times).
    QStringList references;
    /// Pairs of two pictures in the same folder are not compared (--skip-same-folder).
    bool skipSameFolder = false;
    /// The action of `cache`: --stats, --prune or --clear.
    CacheAction cacheAction = CacheAction::None;
    /// The action of `marks`: --add, --remove, --list or --clear (read from `cacheAction`).
    MarksAction marksAction = MarksAction::None;
    /// The two pictures of `marks --add` and `--remove`.
    QStringList markedPictures;
    /// Pairs marked not similar are reported as any other (--include-marked).
    bool includeMarked = false;
    /// How `keep` chooses the picture to keep of each group (--rule).
    KeepRule keepRule = KeepRule::BestCopy;
    /// `keep` moves the files it plans to the trash (--trash); otherwise it only prints the plan.
    bool trash = false;
    bool quiet = false;
    bool help = false;
    bool version = false;
};

/// The text of --help.
QString UsageText();

/// The text of --version.
QString VersionText();

}  // namespace vistrel::cli
