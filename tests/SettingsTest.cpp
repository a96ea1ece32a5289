// The settings record, its 32-byte stored form, the per-user store and the format table.

#include "settings/AddedFormatSettings.h"
#include "settings/PictureFormats.h"
#include "settings/ProgramSettings.h"
#include "settings/SettingsStore.h"
#include "settings/TurnedCopiesSetting.h"
#include "settings/UserSettings.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>

#include <gtest/gtest.h>

namespace vistrel {
namespace {

const QByteArray kDefaultBytes = QByteArray::fromHex(
    "64000000640000002C0100002C010000"
    "0101010101000000"
    "0000804001000000");

// Every test starts from a first start: no store, the defaults in `settings`.
class SettingsStoreTest : public testing::Test {
protected:
    void SetUp() override { QFile::remove(StorePath()); }
    void TearDown() override {
        QFile::remove(StorePath());
        QDir().rmdir(QFileInfo(StorePath()).path());
    }
    static constexpr AddedFormatFlags kAllAdded{true, true, true};
    UserSettings settings;
    static QString StorePath() { return QSettings("Morvant", "QRX").fileName(); }
    static void Store(const QVariant& value) {
        QSettings store("Morvant", "QRX");
        store.setValue("ProgramSettings", value);
        store.sync();
    }
    static QVariant Stored() { return QSettings("Morvant", "QRX").value("ProgramSettings"); }
};

TEST(SettingsBytes, DefaultsHaveTheDocumentedImage) {
    EXPECT_EQ(EncodeSettings(ProgramSettings{}).toHex(), kDefaultBytes.toHex());
}

TEST(SettingsBytes, EveryFieldRoundTripsAndOddValuesAreTakenAsTheyAre) {
    QByteArray bytes = kDefaultBytes;
    bytes[0] = '\xFF';  // reserved1 = -1 after the low byte
    bytes[1] = '\xFF';
    bytes[2] = '\xFF';
    bytes[3] = '\xFF';
    bytes[12] = '\x07';  // reserved4 = 7
    bytes[13] = bytes[14] = bytes[15] = '\0';
    bytes[17] = '\0';                                       // GIF off
    bytes[19] = '\x05';                                     // PNG on, an odd true
    bytes[21] = '\x55';                                     // filler, not interpreted
    bytes.replace(24, 4, QByteArray::fromHex("00002041"));  // 10.0
    bytes[28] = '\0';
    bytes[29] = '\x02';
    ProgramSettings settings;
    ASSERT_TRUE(DecodeSettings(bytes, settings));
    EXPECT_EQ(settings.reserved1, -1);
    EXPECT_EQ(settings.reserved2, 100);
    EXPECT_EQ(settings.reserved4, 7);
    EXPECT_EQ(settings.enabledFormats, (std::array<bool, 5>{true, false, true, true, true}));
    EXPECT_EQ(settings.threshold, 10.0f);
    EXPECT_FALSE(settings.stretchImages);
    EXPECT_TRUE(settings.shapeOnly);
    // Written back, flags become 0 and 1 and the fillers zero; the reserved values survive.
    const QByteArray written = EncodeSettings(settings);
    EXPECT_EQ(written.mid(0, 16), bytes.mid(0, 16));
    EXPECT_EQ(written[19], '\x01');
    EXPECT_EQ(written[21], '\0');
    EXPECT_EQ(written[29], '\x01');
}

TEST(SettingsBytes, OnlyExactly32BytesAreDecoded) {
    ProgramSettings settings;
    settings.threshold = 7.0f;
    EXPECT_FALSE(DecodeSettings(kDefaultBytes.left(31), settings));
    EXPECT_FALSE(DecodeSettings(kDefaultBytes + '\0', settings));
    EXPECT_EQ(settings.threshold, 7.0f);
}

TEST_F(SettingsStoreTest, FirstStartWritesTheDefaults) {
    EXPECT_FALSE(QFileInfo::exists(StorePath()));
    EXPECT_TRUE(LoadUserSettings(settings));
    EXPECT_TRUE(QFileInfo::exists(StorePath()));
    const QVariant stored = Stored();
    EXPECT_EQ(stored.typeId(), QMetaType::QByteArray);
    EXPECT_EQ(stored.toByteArray().toHex(), kDefaultBytes.toHex());
    EXPECT_EQ(settings.record, ProgramSettings{});
}

TEST_F(SettingsStoreTest, StoredThresholdIsLoaded) {
    QByteArray bytes = kDefaultBytes;
    bytes.replace(24, 4, QByteArray::fromHex("00002041"));
    Store(bytes);
    EXPECT_TRUE(LoadUserSettings(settings));
    EXPECT_EQ(settings.record.threshold, 10.0f);
}

TEST_F(SettingsStoreTest, ShortValueIsIgnoredLongValueFails) {
    QByteArray changed = kDefaultBytes;
    changed[29] = '\x01';
    Store(changed.left(31));
    EXPECT_TRUE(LoadUserSettings(settings));
    EXPECT_EQ(settings.record, ProgramSettings{});

    Store(changed + '\0');
    EXPECT_FALSE(LoadUserSettings(settings));
    EXPECT_EQ(settings.record, ProgramSettings{});
}

TEST_F(SettingsStoreTest, ValueOfAnotherTypeFailsUntilTheNextSave) {
    Store(QStringLiteral("threshold=10"));
    EXPECT_FALSE(LoadUserSettings(settings));
    EXPECT_EQ(settings.record, ProgramSettings{});
    EXPECT_EQ(Stored().typeId(), QMetaType::QString);  // nothing was written

    settings.record.threshold = 12.5f;
    EXPECT_TRUE(SaveUserSettings(settings));
    EXPECT_EQ(Stored().typeId(), QMetaType::QByteArray);
    settings.record = ProgramSettings{};
    EXPECT_TRUE(LoadUserSettings(settings));
    EXPECT_EQ(settings.record.threshold, 12.5f);
}

TEST_F(SettingsStoreTest, StoreWithoutTheValueFailsAndWritesNothing) {
    {
        QSettings store("Morvant", "QRX");
        store.setValue("SomethingElse", 1);
    }
    EXPECT_FALSE(LoadUserSettings(settings));
    EXPECT_FALSE(QSettings("Morvant", "QRX").contains("ProgramSettings"));
}

TEST_F(SettingsStoreTest, ReservedValuesSurviveLoadAndSave) {
    QByteArray bytes = kDefaultBytes;
    bytes.replace(0, 4, QByteArray::fromHex("78563412"));
    bytes.replace(8, 4, QByteArray::fromHex("00000080"));
    Store(bytes);
    ASSERT_TRUE(LoadUserSettings(settings));
    EXPECT_EQ(settings.record.reserved1, 0x12345678);
    EXPECT_EQ(settings.record.reserved3, INT32_MIN);
    ASSERT_TRUE(SaveUserSettings(settings));
    EXPECT_EQ(Stored().toByteArray().toHex(), bytes.toHex());
}

TEST_F(SettingsStoreTest, UnwritableStoreFailsWithoutChangingTheRecord) {
    // The store's folder is taken by a plain file, so the store can be neither read nor made.
    const QString folder = QFileInfo(StorePath()).path();
    QDir().rmdir(folder);
    QFile blocker(folder);
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    EXPECT_FALSE(SaveUserSettings(settings));
    EXPECT_FALSE(LoadUserSettings(settings));
    EXPECT_EQ(settings.record, ProgramSettings{});
    QFile::remove(folder);
}

TEST_F(SettingsStoreTest, AddedFormatsAreStoredBesideTheUnchanged32Bytes) {
    settings.addedFormats = {false, true, false};
    ASSERT_TRUE(SaveUserSettings(settings));
    EXPECT_EQ(Stored().toByteArray().toHex(), kDefaultBytes.toHex());
    EXPECT_EQ(QSettings("Morvant", "QRX").value("MoreFormats"), QVariant(QStringLiteral("heic")));
    settings.addedFormats = kAllAdded;
    ASSERT_TRUE(LoadUserSettings(settings));
    EXPECT_EQ(settings.addedFormats, (AddedFormatFlags{false, true, false}));
    EXPECT_EQ(settings.record, ProgramSettings{});

    settings.addedFormats = {};  // none: an empty text, which must not read back as "all"
    ASSERT_TRUE(SaveUserSettings(settings));
    settings.addedFormats = kAllAdded;
    ASSERT_TRUE(LoadUserSettings(settings));
    EXPECT_EQ(settings.addedFormats, AddedFormatFlags{});

    // A store written before the added formats existed leaves them enabled.
    {
        QSettings store("Morvant", "QRX");
        store.remove("MoreFormats");
    }
    settings.addedFormats = kAllAdded;
    ASSERT_TRUE(LoadUserSettings(settings));
    EXPECT_EQ(settings.addedFormats, kAllAdded);
    EXPECT_EQ(DecodeAddedFormats(QStringLiteral(" AVIF,bogus,webp")),
              (AddedFormatFlags{true, false, true}));
}

TEST_F(SettingsStoreTest, TurnedCopiesAreStoredBesideTheUnchanged32BytesAndOddValuesAreOff) {
    settings.findTurnedCopies = true;
    ASSERT_TRUE(SaveUserSettings(settings));
    EXPECT_EQ(Stored().toByteArray().toHex(), kDefaultBytes.toHex());
    settings.findTurnedCopies = false;
    ASSERT_TRUE(LoadUserSettings(settings));
    EXPECT_TRUE(settings.findTurnedCopies);
    EXPECT_EQ(settings.record, ProgramSettings{});
    // Missing, of another type or an unknown text: off.
    for (const QVariant& odd :
         {QVariant(), QVariant(1), QVariant(QStringLiteral("yes")), QVariant(QByteArray("true"))}) {
        {
            QSettings store("Morvant", "QRX");
            if (odd.isValid()) {
                store.setValue("TurnedCopies", odd);
            } else {
                store.remove("TurnedCopies");
            }
        }
        settings.findTurnedCopies = true;
        ASSERT_TRUE(LoadUserSettings(settings));
        EXPECT_FALSE(settings.findTurnedCopies) << odd.toString().toStdString();
    }
}

TEST_F(SettingsStoreTest, CurationListsAreStoredBesideTheUnchanged32Bytes) {
    settings.referenceFolders = {QStringLiteral("/archive"), QStringLiteral("/old photos")};
    settings.exclusions = {QStringLiteral("@eaDir"), QStringLiteral("*/export/*")};
    settings.skipSameFolder = true;
    ASSERT_TRUE(SaveUserSettings(settings));
    EXPECT_EQ(Stored().toByteArray().toHex(), kDefaultBytes.toHex());
    UserSettings loaded;
    ASSERT_TRUE(LoadUserSettings(loaded));
    EXPECT_EQ(loaded, settings);
    EXPECT_TRUE(loaded.Comparison().reference.Protects(QStringLiteral("/old photos/a/b.jpg")));
    EXPECT_FALSE(loaded.Comparison().reference.Protects(QStringLiteral("/archive2/b.jpg")));
    EXPECT_TRUE(loaded.Comparison().skipSameFolder);
}

TEST(PictureFormatTable, ExtensionsOfOneFormat) {
    QStringList list;
    GetFormatExtensions(0, list);
    GetFormatExtensions(6, list);
    EXPECT_TRUE(list.isEmpty());
    GetFormatExtensions(3, list);
    EXPECT_EQ(list, (QStringList{".jpg", ".jpeg", ".jpe", ".jfif"}));
    GetFormatExtensions(2, list);  // appends; the list is not cleared
    EXPECT_EQ(list, (QStringList{".jpg", ".jpeg", ".jpe", ".jfif", ".gif"}));
}

TEST(PictureFormatTable, ExtensionsOfTheEnabledFormats) {
    QStringList all;
    GetEnabledExtensions({true, true, true, true, true}, all);
    EXPECT_EQ(all, (QStringList{".bmp", ".dib", ".gif", ".jpg", ".jpeg", ".jpe", ".jfif", ".png",
                                ".tif", ".tiff"}));
    QStringList some;
    GetEnabledExtensions({false, true, false, false, true}, some);
    EXPECT_EQ(some, (QStringList{".gif", ".tif", ".tiff"}));
    // The added formats come after the five, each only when enabled.
    QStringList withAdded;
    GetAllEnabledExtensions({false, true, false, false, true}, {false, true, true}, withAdded);
    EXPECT_EQ(withAdded, (QStringList{".gif", ".tif", ".tiff", ".heic", ".heif", ".avif"}));
}

}  // namespace
}  // namespace vistrel
