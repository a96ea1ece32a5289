#include "SettingsStore.h"

#include "AddedFormatSettings.h"
#include "ProgramSettings.h"
#include "TurnedCopiesSetting.h"

#include <QFileInfo>
#include <QSettings>
#include <QVariant>

namespace vistrel {

namespace {

const char* const kValueName = "ProgramSettings";
const char* const kAddedFormatsName = "MoreFormats";
const char* const kTurnedCopiesName = "TurnedCopies";

// The added formats' flags are independent of the 32-byte value: a store written before they
// existed has no such value and leaves them enabled.
void LoadAddedFormats(const QSettings& store) {
    const QVariant value = store.value(kAddedFormatsName);
    if (value.typeId() == QMetaType::QString) {
        TheAddedFormats() = DecodeAddedFormats(value.toString());
    }
}

}  // namespace

bool LoadSettings() {
    // A store that is missing is written once with the values in memory and then read again;
    // the second round never writes, so a store that stays unreadable cannot loop.
    for (int round = 0; round < 2; ++round) {
        const QSettings store(kSettingsOrganization, kSettingsApplication);
        if (!QFileInfo::exists(store.fileName())) {
            if (round == 0 && SaveSettings()) {
                continue;
            }
            return false;
        }
        LoadAddedFormats(store);
        // A store written before the option existed has no such value: off.
        TheFindTurnedCopies() = DecodeTurnedCopies(store.value(kTurnedCopiesName));
        const QVariant value = store.value(kValueName);
        if (store.status() != QSettings::NoError || value.typeId() != QMetaType::QByteArray) {
            return false;
        }
        const QByteArray stored = value.toByteArray();
        if (stored.size() > kStoredSettingsSize) {
            return false;
        }
        DecodeSettings(stored, TheProgramSettings());  // a shorter value changes nothing
        return true;
    }
    return false;
}

bool SaveSettings() {
    QSettings store(kSettingsOrganization, kSettingsApplication);
    store.setValue(kValueName, EncodeSettings(TheProgramSettings()));
    store.setValue(kAddedFormatsName, EncodeAddedFormats(TheAddedFormats()));
    store.setValue(kTurnedCopiesName, TheFindTurnedCopies());
    store.sync();
    return store.status() == QSettings::NoError;
}

}  // namespace vistrel
