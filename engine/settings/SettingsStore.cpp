#include "SettingsStore.h"

#include "AddedFormatSettings.h"
#include "ProgramSettings.h"
#include "TurnedCopiesSetting.h"

#include <QFileInfo>
#include <QSettings>
#include <QVariant>

namespace vistrel {

namespace {

const char* const kOrganization = "Morvant";
const char* const kApplication = "QRX";

const char* const kValueName = "ProgramSettings";
const char* const kAddedFormatsName = "MoreFormats";
const char* const kTurnedCopiesName = "TurnedCopies";
const char* const kRecentRepositoriesName = "RecentRepositories";
const char* const kReferenceFoldersName = "ReferenceFolders";
const char* const kExclusionsName = "ScanExclusions";
const char* const kSkipSameFolderName = "SkipSameFolder";

// Where each window's size, position and maximised state are kept when it closes.
const char* GeometryName(StoredWindow window) {
    return window == StoredWindow::Main ? "MainWindowGeometry" : "CompareWindowGeometry";
}

// The added formats' flags are independent of the 32-byte value: a store written before they
// existed has no such value and leaves them enabled.
void ReadAddedFormats(const QSettings& store, AddedFormatFlags& flags) {
    const QVariant value = store.value(kAddedFormatsName);
    if (value.typeId() == QMetaType::QString) {
        flags = DecodeAddedFormats(value.toString());
    }
}

}  // namespace

QString SettingsStoreFile() {
    return QSettings(kOrganization, kApplication).fileName();
}

bool ReadUserSettings(UserSettings& settings) {
    const QSettings store(kOrganization, kApplication);
    if (!QFileInfo::exists(store.fileName())) {
        return false;
    }
    ReadAddedFormats(store, settings.addedFormats);
    // A store written before the option existed has no such value: off.
    settings.findTurnedCopies = DecodeTurnedCopies(store.value(kTurnedCopiesName));
    // The lists and the option came later than the record: missing means none and off.
    settings.referenceFolders = store.value(kReferenceFoldersName).toStringList();
    settings.exclusions = store.value(kExclusionsName).toStringList();
    settings.skipSameFolder =
        DecodeTurnedCopies(store.value(kSkipSameFolderName));  // stored as the turned option is
    const QVariant value = store.value(kValueName);
    if (store.status() != QSettings::NoError || value.typeId() != QMetaType::QByteArray) {
        return false;
    }
    const QByteArray stored = value.toByteArray();
    if (stored.size() > kStoredSettingsSize) {
        return false;
    }
    DecodeSettings(stored, settings.record);  // a shorter value changes nothing
    return true;
}

bool LoadUserSettings(UserSettings& settings) {
    // A store that is missing is written once with the values given and then read again; the
    // read never writes, so a store that stays unreadable cannot loop.
    if (!QFileInfo::exists(SettingsStoreFile()) && !SaveUserSettings(settings)) {
        return false;
    }
    return ReadUserSettings(settings);
}

bool SaveUserSettings(const UserSettings& settings) {
    QSettings store(kOrganization, kApplication);
    store.setValue(kValueName, EncodeSettings(settings.record));
    store.setValue(kAddedFormatsName, EncodeAddedFormats(settings.addedFormats));
    store.setValue(kTurnedCopiesName, settings.findTurnedCopies);
    store.setValue(kReferenceFoldersName, settings.referenceFolders);
    store.setValue(kExclusionsName, settings.exclusions);
    store.setValue(kSkipSameFolderName, settings.skipSameFolder);
    store.sync();
    return store.status() == QSettings::NoError;
}

std::optional<QByteArray> LoadWindowGeometry(StoredWindow window) {
    const QVariant stored = QSettings(kOrganization, kApplication).value(GeometryName(window));
    if (stored.typeId() != QMetaType::QByteArray) {
        return std::nullopt;
    }
    return stored.toByteArray();
}

void SaveWindowGeometry(StoredWindow window, const QByteArray& geometry) {
    QSettings(kOrganization, kApplication).setValue(GeometryName(window), geometry);
}

QStringList LoadRecentRepositoryList() {
    return QSettings(kOrganization, kApplication).value(kRecentRepositoriesName).toStringList();
}

void SaveRecentRepositoryList(const QStringList& recent) {
    QSettings(kOrganization, kApplication).setValue(kRecentRepositoriesName, recent);
}

}  // namespace vistrel
