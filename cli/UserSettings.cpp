#include "UserSettings.h"

#include "settings/AddedFormatSettings.h"
#include "settings/ProgramSettings.h"
#include "settings/SettingsStore.h"
#include "settings/TurnedCopiesSetting.h"

#include <QFileInfo>
#include <QSettings>

namespace vistrel::cli {

QString ApplyUserSettings(const CliOptions& options) {
    QString warning;
    const QString storeFile = QSettings(kSettingsOrganization, kSettingsApplication).fileName();
    // LoadSettings creates a missing store; this program must leave the user's files alone.
    if (QFileInfo::exists(storeFile) && !LoadSettings()) {
        warning = QStringLiteral("cannot read the program settings in %1; using the defaults")
                      .arg(storeFile);
    }
    ProgramSettings& settings = TheProgramSettings();
    if (options.threshold) {
        settings.threshold = *options.threshold;
    }
    if (options.shapeOnly) {
        settings.shapeOnly = true;
    }
    if (options.turned) {
        TheFindTurnedCopies() = true;
    }
    if (options.formats) {
        settings.enabledFormats = *options.formats;
    }
    if (options.addedFormats) {
        TheAddedFormats() = *options.addedFormats;
    }
    return warning;
}

}  // namespace vistrel::cli
