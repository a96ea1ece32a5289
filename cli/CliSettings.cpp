#include "CliSettings.h"

#include "SourceLoader.h"
#include "settings/SettingsStore.h"

#include <QFileInfo>

namespace vistrel::cli {

UserSettings LoadCliSettings(const CliOptions& options, QString& warning) {
    UserSettings settings;
    const QString storeFile = SettingsStoreFile();
    // LoadUserSettings would create a missing store; this program must leave the user's files
    // alone.
    if (QFileInfo::exists(storeFile) && !ReadUserSettings(settings)) {
        warning = QStringLiteral("cannot read the program settings in %1; using the defaults")
                      .arg(storeFile);
    }
    ProgramSettings& record = settings.record;
    if (options.threshold) {
        record.threshold = *options.threshold;
    }
    if (options.shapeOnly) {
        record.shapeOnly = true;
    }
    if (options.turned) {
        settings.findTurnedCopies = true;
    }
    settings.exclusions += options.exclusions;
    if (options.formats) {
        record.enabledFormats = *options.formats;
    }
    if (options.addedFormats) {
        settings.addedFormats = *options.addedFormats;
    }
    for (const QString& folder : options.references) {
        settings.referenceFolders.append(AbsolutePath(folder));
    }
    if (options.skipSameFolder) {
        settings.skipSameFolder = true;
    }
    return settings;
}

bool CheckReferenceFolders(const CliOptions& options, QString& error) {
    for (const QString& folder : options.references) {
        if (!QFileInfo(folder).isDir()) {
            error = QStringLiteral("--reference: '%1' is not a folder").arg(folder);
            return false;
        }
    }
    return true;
}

}  // namespace vistrel::cli
