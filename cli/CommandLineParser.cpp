#include "CommandLineParser.h"

#include "settings/PictureFormats.h"

#include <cmath>

namespace vistrel::cli {

namespace {

// More threads than this only wait on the disk and on each other.
constexpr int kMostWorkers = 256;

bool ParseThreshold(const QString& text, float& threshold) {
    bool ok = false;
    const float value = text.trimmed().toFloat(&ok);  // C locale whatever the user's
    if (!ok || !std::isfinite(value) || value < 0.0f || value > 100.0f) {
        return false;
    }
    threshold = value;
    return true;
}

Command CommandNamed(const QString& name) {
    if (name == QLatin1String("test")) {
        return Command::Test;
    }
    if (name == QLatin1String("search")) {
        return Command::Search;
    }
    if (name == QLatin1String("signature")) {
        return Command::Signature;
    }
    if (name == QLatin1String("cache")) {
        return Command::Cache;
    }
    if (name == QLatin1String("keep")) {
        return Command::Keep;
    }
    if (name == QLatin1String("marks")) {
        return Command::Marks;
    }
    return Command::None;
}

// The names --rule takes, with the rules they stand for.
const struct {
    const char* name;
    KeepRule rule;
} kKeepRules[] = {
    {"most-pixels", KeepRule::MostPixels},
    {"largest-file", KeepRule::LargestFile},
    {"oldest", KeepRule::Oldest},
    {"newest", KeepRule::Newest},
    {"shortest-path", KeepRule::ShortestPath},
    {"best", KeepRule::BestCopy},
};

bool ParseKeepRule(const QString& text, KeepRule& rule) {
    for (const auto& entry : kKeepRules) {
        if (text == QLatin1String(entry.name)) {
            rule = entry.rule;
            return true;
        }
    }
    return false;
}

ParseResult Failure(const QString& message) {
    ParseResult result;
    result.error = message;
    return result;
}

}  // namespace

bool ParseFormatList(const QString& list, std::array<bool, FORMAT_COUNT>& enabled,
                     AddedFormatFlags& added, QString& error) {
    enabled.fill(false);
    added.fill(false);
    const QStringList items = list.split(QLatin1Char(','));
    for (QString item : items) {
        item = item.trimmed().toLower();
        if (item.startsWith(QLatin1Char('.'))) {
            item.remove(0, 1);
        }
        if (item.isEmpty()) {
            error = QStringLiteral(
                "--formats needs a comma-separated list of extensions, "
                "such as jpg,png");
            return false;
        }
        bool known = false;
        for (int i = 0; i < FORMAT_COUNT; ++i) {
            QStringList extensions;
            GetFormatExtensions(static_cast<std::uint32_t>(i + 1), extensions);
            if (extensions.contains(QLatin1Char('.') + item)) {
                enabled[static_cast<std::size_t>(i)] = true;
                known = true;
            }
        }
        for (int i = 0; i < kAddedFormatCount; ++i) {
            QStringList extensions;
            GetAddedFormatExtensions(i, extensions);
            if (extensions.contains(QLatin1Char('.') + item)) {
                added[static_cast<std::size_t>(i)] = true;
                known = true;
            }
        }
        if (!known) {
            error = QStringLiteral(
                        "--formats: unknown picture format '%1' (known: bmp, dib, gif, "
                        "jpg, jpeg, jpe, jfif, png, tif, tiff, webp, heic, heif, avif)")
                        .arg(item);
            return false;
        }
    }
    return true;
}

ParseResult ParseCommandLine(const QStringList& arguments) {
    CliOptions options;
    QStringList operands;
    bool optionsEnded = false;
    bool hasRule = false;
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString& argument = arguments[i];
        if (argument == QLatin1String("-0") && !optionsEnded) {
            options.null = true;
            continue;
        }
        if (optionsEnded || !argument.startsWith(QLatin1String("--"))) {
            if (argument.startsWith(QLatin1Char('-')) && argument.size() > 1 && !optionsEnded) {
                return Failure(QStringLiteral("unknown option '%1'").arg(argument));
            }
            operands.append(argument);
            continue;
        }
        if (argument == QLatin1String("--")) {
            optionsEnded = true;
            continue;
        }
        QString name = argument;
        QString value;
        bool hasValue = false;
        const qsizetype equals = argument.indexOf(QLatin1Char('='));
        if (equals > 0) {
            name = argument.left(equals);
            value = argument.mid(equals + 1);
            hasValue = true;
        }
        const bool takesValue =
            name == QLatin1String("--threshold") || name == QLatin1String("--formats") ||
            name == QLatin1String("--save") || name == QLatin1String("--workers") ||
            name == QLatin1String("--rule") || name == QLatin1String("--exclude") ||
            name == QLatin1String("--reference");
        if (takesValue && !hasValue) {
            if (i + 1 >= arguments.size()) {
                return Failure(QStringLiteral("option '%1' needs a value").arg(name));
            }
            value = arguments[++i];
            hasValue = true;
        } else if (!takesValue && hasValue) {
            return Failure(QStringLiteral("option '%1' takes no value").arg(name));
        }

        if (name == QLatin1String("--threshold")) {
            float threshold = 0.0f;
            if (!ParseThreshold(value, threshold)) {
                return Failure(QStringLiteral("--threshold needs a number from 0 to 100, not '%1'")
                                   .arg(value));
            }
            options.threshold = threshold;
        } else if (name == QLatin1String("--formats")) {
            std::array<bool, FORMAT_COUNT> enabled{};
            AddedFormatFlags added{};
            QString error;
            if (!ParseFormatList(value, enabled, added, error)) {
                return Failure(error);
            }
            options.formats = enabled;
            options.addedFormats = added;
        } else if (name == QLatin1String("--save")) {
            if (value.isEmpty()) {
                return Failure(QStringLiteral("--save needs a file name"));
            }
            options.saveFile = value;
        } else if (name == QLatin1String("--workers")) {
            bool ok = false;
            const int workers = value.toInt(&ok);
            if (!ok || workers < 1 || workers > kMostWorkers) {
                return Failure(
                    QStringLiteral("--workers needs a whole number from 1 to %1, not '%2'")
                        .arg(kMostWorkers)
                        .arg(value));
            }
            options.workers = workers;
        } else if (name == QLatin1String("--rule")) {
            if (!ParseKeepRule(value, options.keepRule)) {
                return Failure(QStringLiteral("--rule needs one of best, most-pixels, "
                                              "largest-file, oldest, newest, shortest-path, "
                                              "not '%1'")
                                   .arg(value));
            }
            hasRule = true;
        } else if (name == QLatin1String("--exclude")) {
            options.exclusions.append(value);
        } else if (name == QLatin1String("--reference")) {
            if (value.isEmpty()) {
                return Failure(QStringLiteral("--reference needs a folder"));
            }
            options.references.append(value);
        } else if (name == QLatin1String("--skip-same-folder")) {
            options.skipSameFolder = true;
        } else if (name == QLatin1String("--trash")) {
            options.trash = true;
        } else if (name == QLatin1String("--shape-only")) {
            options.shapeOnly = true;
        } else if (name == QLatin1String("--turned")) {
            options.turned = true;
        } else if (name == QLatin1String("--json")) {
            options.json = true;
        } else if (name == QLatin1String("--null")) {
            options.null = true;
        } else if (name == QLatin1String("--no-cache")) {
            options.noCache = true;
        } else if (name == QLatin1String("--stats") || name == QLatin1String("--prune") ||
                   name == QLatin1String("--clear")) {
            const CacheAction action = name == QLatin1String("--stats")   ? CacheAction::Stats
                                       : name == QLatin1String("--prune") ? CacheAction::Prune
                                                                          : CacheAction::Clear;
            if (options.cacheAction != CacheAction::None && options.cacheAction != action) {
                return Failure(
                    QStringLiteral("cache takes exactly one of --stats, --prune and --clear"));
            }
            options.cacheAction = action;
        } else if (name == QLatin1String("--add") || name == QLatin1String("--remove") ||
                   name == QLatin1String("--list")) {
            const MarksAction action = name == QLatin1String("--add")      ? MarksAction::Add
                                       : name == QLatin1String("--remove") ? MarksAction::Remove
                                                                           : MarksAction::List;
            if (options.marksAction != MarksAction::None && options.marksAction != action) {
                return Failure(QStringLiteral(
                    "marks takes exactly one of --add, --remove, --list and --clear"));
            }
            options.marksAction = action;
        } else if (name == QLatin1String("--include-marked")) {
            options.includeMarked = true;
        } else if (name == QLatin1String("--quiet")) {
            options.quiet = true;
        } else if (name == QLatin1String("--help")) {
            options.help = true;
        } else if (name == QLatin1String("--version")) {
            options.version = true;
        } else {
            return Failure(QStringLiteral("unknown option '%1'").arg(name));
        }
    }

    ParseResult result;
    if (options.help || options.version) {
        result.options = options;
        return result;
    }
    if (operands.isEmpty()) {
        return Failure(
            QStringLiteral("no command given (test, search, keep, signature, cache or marks)"));
    }
    if (options.null && options.json) {
        return Failure(QStringLiteral("--null and --json cannot be used together"));
    }
    const QString commandName = operands.takeFirst();
    options.command = CommandNamed(commandName);
    if (options.command == Command::Marks && options.cacheAction == CacheAction::Clear &&
        options.marksAction == MarksAction::None) {
        options.marksAction = MarksAction::Clear;  // --clear of marks, not of the cache
        options.cacheAction = CacheAction::None;
    }
    if (options.command != Command::Marks && options.command != Command::None &&
        options.marksAction != MarksAction::None) {
        return Failure(QStringLiteral("--add, --remove and --list belong to the marks command"));
    }
    if (options.includeMarked && options.command != Command::Test &&
        options.command != Command::Search && options.command != Command::Keep &&
        options.command != Command::None) {
        return Failure(QStringLiteral("--include-marked belongs to test, search and keep"));
    }
    if (options.command != Command::Cache && options.command != Command::None &&
        options.cacheAction != CacheAction::None) {
        return Failure(QStringLiteral("--stats, --prune and --clear belong to the cache command"));
    }
    if (options.command != Command::Keep && (hasRule || options.trash)) {
        return Failure(QStringLiteral("--rule and --trash belong to the keep command"));
    }
    switch (options.command) {
        case Command::None:
            return Failure(
                QStringLiteral(
                    "unknown command '%1' (test, search, keep, signature, cache or marks)")
                    .arg(commandName));
        case Command::Test:
            if (operands.isEmpty()) {
                return Failure(QStringLiteral("test needs at least one SOURCE"));
            }
            options.sources = operands;
            break;
        case Command::Keep:
            if (operands.isEmpty()) {
                return Failure(QStringLiteral("keep needs at least one SOURCE"));
            }
            if (options.json) {
                return Failure(QStringLiteral("keep takes no --json"));
            }
            options.sources = operands;
            break;
        case Command::Search:
            if (operands.size() < 2) {
                return Failure(QStringLiteral("search needs a PICTURE and at least one SOURCE"));
            }
            options.picture = operands.takeFirst();
            options.sources = operands;
            break;
        case Command::Signature:
            if (operands.size() != 1) {
                return Failure(QStringLiteral("signature needs exactly one PICTURE"));
            }
            if (options.threshold || options.shapeOnly || options.turned || options.formats ||
                !options.saveFile.isEmpty() || options.json || options.null ||
                options.workers != 0 || options.noCache || !options.exclusions.isEmpty() ||
                !options.references.isEmpty() || options.skipSameFolder) {
                return Failure(QStringLiteral("signature takes no option but --quiet"));
            }
            options.picture = operands.takeFirst();
            break;
        case Command::Cache:
            if (!operands.isEmpty()) {
                return Failure(QStringLiteral("cache takes no SOURCE or PICTURE"));
            }
            if (options.threshold || options.shapeOnly || options.turned || options.formats ||
                !options.saveFile.isEmpty() || options.json || options.null ||
                options.workers != 0 || options.noCache || !options.exclusions.isEmpty() ||
                !options.references.isEmpty() || options.skipSameFolder) {
                return Failure(QStringLiteral(
                    "cache takes no option but --stats, --prune, --clear and --quiet"));
            }
            if (options.cacheAction == CacheAction::None) {
                return Failure(QStringLiteral("cache needs one of --stats, --prune and --clear"));
            }
            break;
        case Command::Marks:
            if (options.threshold || options.shapeOnly || options.turned || options.formats ||
                !options.saveFile.isEmpty() || options.json || options.workers != 0 ||
                (options.null && options.marksAction != MarksAction::List)) {
                return Failure(QStringLiteral(
                    "marks takes no option but --add, --remove, --list, --clear, --no-cache, "
                    "--quiet and (with --list) --null"));
            }
            if (options.marksAction == MarksAction::None) {
                return Failure(
                    QStringLiteral("marks needs one of --add, --remove, --list and --clear"));
            }
            if (options.marksAction == MarksAction::Add ||
                options.marksAction == MarksAction::Remove) {
                if (operands.size() != 2) {
                    return Failure(QStringLiteral("marks --add and --remove need two PICTUREs"));
                }
                options.markedPictures = operands;
            } else if (!operands.isEmpty()) {
                return Failure(QStringLiteral("marks --list and --clear take no PICTURE"));
            }
            break;
    }
    result.options = options;
    return result;
}

}  // namespace vistrel::cli
