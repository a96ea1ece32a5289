// The "Program Settings" dialog: what it shows from the record, what OK stores and saves, what
// Cancel leaves alone, and the threshold box's own rules.

#include "common/DialogUnits.h"
#include "dialogs/SettingsDlg.h"
#include "settings/PictureFormats.h"
#include "settings/ProgramSettings.h"
#include "settings/SettingsStore.h"
#include "settings/UserSettings.h"
#include "support/ModalDriver.h"
#include "support/WidgetTestMain.h"

#include <QAbstractSpinBox>
#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QGroupBox>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QSettings>
#include <QStyle>
#include <QStyleOptionSpinBox>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <cstring>
#include <functional>
#include <limits>
#include <utility>

namespace vistrel {

namespace {

QString StorePath() {
    return QSettings("Morvant", "QRX").fileName();
}

QVariant Stored() {
    return QSettings("Morvant", "QRX").value("ProgramSettings");
}

// The threshold as the stored value holds it, at bytes 24 to 27.
float StoredThreshold() {
    const QByteArray bytes = Stored().toByteArray();
    float threshold = -1.0f;
    if (bytes.size() == kStoredSettingsSize) {
        std::memcpy(&threshold, bytes.constData() + 24, sizeof threshold);
    }
    return threshold;
}

template <typename T>
T* Child(const CSettingsDlg& dialog, const char* name) {
    return dialog.findChild<T*>(QString::fromLatin1(name));
}

QAbstractSpinBox* ThresholdBox(const CSettingsDlg& dialog) {
    return Child<QAbstractSpinBox>(dialog, "thresholdBox");
}

// The texts of Program Settings the program fixes, by where each stands: "title", a tab
// ("tab 0"), a "group" box, a button's object name, or "label" for one of its labels.
const std::pair<const char*, const char*> kTexts[] = {
    {"title", "Program Settings"},
    {"tab 0", "General"},
    {"tab 1", "File Formats"},
    {"group", "Threshold"},
    {"okButton", "OK"},
    {"cancelButton", "Cancel"},
    {"stretchBox", "Stretch images to the same size before compare"},
    {"shapeOnlyBox", "Shape only comparison (Algorithm does not consider color information)"},
    {"turnedBox", "Also find turned and mirrored copies"},
    {"label", "Threshold value (percents):"},
    {"label", "Two pictures whose difference factor is below the threshold are similar pictures."},
    {"label",
     "The difference factor is 0 for the same picture and about 200 for the most different "
     "pictures, on the same scale wherever Vistrel shows it."},
    {"label", "Please choose the file formats you want to be used:"},
};

// The texts the dialog shows at `place`, as kTexts names it.
QStringList TextsAt(const CSettingsDlg& dialog, const QString& place) {
    if (place == QLatin1String("title")) {
        return {dialog.windowTitle()};
    }
    if (place.startsWith(QLatin1String("tab "))) {
        const auto* sheet = Child<QTabWidget>(dialog, "sheet");
        return {sheet != nullptr ? sheet->tabText(place.mid(4).toInt()) : QString()};
    }
    if (place == QLatin1String("group")) {
        QStringList titles;
        for (const QGroupBox* group : dialog.findChildren<QGroupBox*>()) {
            titles << group->title();
        }
        return titles;
    }
    if (place == QLatin1String("label")) {
        QStringList labels;
        for (const QLabel* label : dialog.findChildren<QLabel*>()) {
            labels << label->text();
        }
        return labels;
    }
    const auto* button = dialog.findChild<QAbstractButton*>(place);
    return {button != nullptr ? button->text() : QString()};
}

// Where the box draws one of its arrows, as the style lays it out.
QPoint ArrowCentre(QAbstractSpinBox* box, QStyle::SubControl arrow) {
    QStyleOptionSpinBox option;
    option.initFrom(box);
    option.subControls = QStyle::SC_All;
    option.buttonSymbols = box->buttonSymbols();
    option.frame = box->hasFrame();
    option.stepEnabled = QAbstractSpinBox::StepUpEnabled | QAbstractSpinBox::StepDownEnabled;
    return box->style()->subControlRect(QStyle::CC_SpinBox, &option, arrow, box).center();
}

}  // namespace

class SettingsDlgTest : public QObject {
    Q_OBJECT

private:
    // Shows the dialog and waits until it has the focus, so that keys and clicks move the focus
    // between its controls as a user's would.
    static bool Open(CSettingsDlg& dialog) {
        dialog.show();
        return QTest::qWaitForWindowActive(&dialog);
    }

    // Replaces the box's text by typing, as a user would.
    static void Type(QAbstractSpinBox* box, const QString& text) {
        box->setFocus();
        box->selectAll();
        QTest::keyClick(box, Qt::Key_Backspace);
        QTest::keyClicks(box, text);
    }

    static void ClickOk(CSettingsDlg& dialog) {
        QTest::mouseClick(Child<QPushButton>(dialog, "okButton"), Qt::LeftButton);
    }

private slots:
    void initTestCase() {
        // Never the real user's settings.
        const QString configHome = qEnvironmentVariable("XDG_CONFIG_HOME");
        QVERIFY(!configHome.isEmpty());
        QVERIFY(StorePath().startsWith(configHome + QLatin1Char('/')));
    }

    // Every test starts from a first start: no store, the dialog given the defaults.
    void init() {
        const QString folder = QFileInfo(StorePath()).path();
        QFile::remove(StorePath());
        QFile::remove(folder);  // a blocker left by a failed test
    }

    void cleanup() { init(); }

    void defaultsAreShownOnTheGeneralPage() {
        CSettingsDlg dialog(UserSettings{});
        auto* sheet = Child<QTabWidget>(dialog, "sheet");
        QVERIFY(sheet != nullptr);
        QCOMPARE(sheet->count(), 3);
        QCOMPARE(sheet->currentIndex(), 0);

        QCOMPARE(ThresholdBox(dialog)->text(), QStringLiteral("4"));
        QVERIFY(!Child<QCheckBox>(dialog, "shapeOnlyBox")->isChecked());
        auto* stretch = Child<QCheckBox>(dialog, "stretchBox");
        QVERIFY(stretch->isChecked());

        auto* list = Child<QListWidget>(dialog, "formatList");
        QCOMPARE(list->count(), FORMAT_COUNT + kAddedFormatCount);
        for (int i = 0; i < FORMAT_COUNT; ++i) {
            QCOMPARE(list->item(i)->text(), QString::fromLatin1(kPictureFormats[i]));
            QCOMPARE(list->item(i)->checkState(), Qt::Checked);
            QVERIFY(list->item(i)->flags() & Qt::ItemIsUserCheckable);
        }
        for (int i = 0; i < kAddedFormatCount; ++i) {
            QListWidgetItem* item = list->item(FORMAT_COUNT + i);
            QCOMPARE(item->text(), QString::fromLatin1(kAddedPictureFormats[i].extensions));
            QCOMPARE(item->checkState(), Qt::Checked);
            QVERIFY(item->flags() & Qt::ItemIsUserCheckable);
        }

        QVERIFY(Open(dialog));
        QVERIFY(Child<QCheckBox>(dialog, "shapeOnlyBox")->isVisible());
        QVERIFY(!stretch->isVisible());
        QVERIFY(Child<QPushButton>(dialog, "okButton")->isDefault());
        dialog.reject();
    }

    void textsAndGeometry() {
        CSettingsDlg dialog(UserSettings{});
        for (const auto& [place, text] : kTexts) {
            QVERIFY2(
                TextsAt(dialog, QString::fromLatin1(place)).contains(QString::fromLatin1(text)),
                text);
        }

        QVERIFY(Open(dialog));
        // The nominal size, or more where the font needs it: the options are never cut short.
        const QSize nominal = DialogUnitsToPixels(dialog, 0, 0, 297, 187).size();
        QVERIFY(dialog.width() >= nominal.width());
        QVERIFY(dialog.height() >= nominal.height());
        auto* shapeOnly = Child<QCheckBox>(dialog, "shapeOnlyBox");
        QVERIFY(shapeOnly->width() >= shapeOnly->sizeHint().width());
        for (const QLabel* label : dialog.findChildren<QLabel*>()) {
            if (label->isVisibleTo(&dialog) && !label->wordWrap()) {
                QVERIFY2(label->width() >= label->sizeHint().width(), qPrintable(label->text()));
            }
        }
        dialog.reject();
    }

    void truncatedThresholdIsShownAndStoredByOk() {
        UserSettings settings;
        settings.record.threshold = 4.5f;
        CSettingsDlg dialog(settings);
        QCOMPARE(ThresholdBox(dialog)->text(), QStringLiteral("4"));
        QVERIFY(Open(dialog));
        ClickOk(dialog);
        QCOMPARE(dialog.result(), int(QDialog::Accepted));
        QVERIFY(!dialog.isVisible());
        QCOMPARE(dialog.Settings().record.threshold, 4.0f);
        QCOMPARE(StoredThreshold(), 4.0f);
    }

    void cancelKeepsTheUntruncatedThreshold() {
        UserSettings settings;
        settings.record.threshold = 4.5f;
        CSettingsDlg dialog(settings);
        QVERIFY(Open(dialog));
        QTest::mouseClick(Child<QPushButton>(dialog, "cancelButton"), Qt::LeftButton);
        QCOMPARE(dialog.result(), int(QDialog::Rejected));
        QVERIFY(!dialog.isVisible());
        QCOMPARE(dialog.Settings().record.threshold, 4.5f);
        QVERIFY(!QFile::exists(StorePath()));
    }

    void clearedBoxGivesZero_data() {
        QTest::addColumn<bool>("byEnter");
        QTest::newRow("OK clicked") << false;
        QTest::newRow("Enter in the box") << true;
    }

    void clearedBoxGivesZero() {
        QFETCH(bool, byEnter);
        CSettingsDlg dialog(UserSettings{});
        QVERIFY(Open(dialog));
        auto* box = ThresholdBox(dialog);
        Type(box, QString());
        QVERIFY(box->hasFocus());
        QCOMPARE(box->text(), QString());
        if (byEnter) {
            QTest::keyClick(box, Qt::Key_Return);
        } else {
            ClickOk(dialog);
        }
        QCOMPARE(dialog.result(), int(QDialog::Accepted));
        QCOMPARE(dialog.Settings().record.threshold, 0.0f);
        QCOMPARE(StoredThreshold(), 0.0f);
    }

    void shownThreshold_data() {
        QTest::addColumn<float>("threshold");
        QTest::addColumn<QString>("shown");
        QTest::newRow("4.9") << 4.9f << QStringLiteral("4");
        QTest::newRow("99.5") << 99.5f << QStringLiteral("99");
        QTest::newRow("0.7") << 0.7f << QStringLiteral("0");
        // Only an edited store holds these; two digits show the nearest they can.
        QTest::newRow("150") << 150.0f << QStringLiteral("99");
        QTest::newRow("huge") << 1e30f << QStringLiteral("99");
        QTest::newRow("negative") << -3.5f << QStringLiteral("0");
        QTest::newRow("NaN") << std::numeric_limits<float>::quiet_NaN() << QStringLiteral("0");
    }

    void shownThreshold() {
        QFETCH(float, threshold);
        QFETCH(QString, shown);
        UserSettings settings;
        settings.record.threshold = threshold;
        CSettingsDlg dialog(settings);
        QCOMPARE(ThresholdBox(dialog)->text(), shown);
    }

    void zeroIsShownAsZeroAndStepsUpToOne() {
        UserSettings settings;
        settings.record.threshold = 0.0f;
        CSettingsDlg dialog(settings);
        auto* box = ThresholdBox(dialog);
        QCOMPARE(box->text(), QStringLiteral("0"));
        QVERIFY(Open(dialog));
        box->setFocus();
        QTest::keyClick(box, Qt::Key_Down);
        QCOMPARE(box->text(), QStringLiteral("0"));
        QTest::keyClick(box, Qt::Key_Up);
        QCOMPARE(box->text(), QStringLiteral("1"));
        dialog.reject();
    }

    void onlyTwoDigitsCanBeTyped() {
        CSettingsDlg dialog(UserSettings{});
        QVERIFY(Open(dialog));
        auto* box = ThresholdBox(dialog);
        Type(box, QStringLiteral("a-+.b 5"));
        QCOMPARE(box->text(), QStringLiteral("5"));
        Type(box, QStringLiteral("123"));
        QCOMPARE(box->text(), QStringLiteral("12"));
        Type(box, QStringLiteral("0x7"));
        QCOMPARE(box->text(), QStringLiteral("07"));
        ClickOk(dialog);
        QCOMPARE(dialog.Settings().record.threshold, 7.0f);  // read as a decimal number
    }

    void arrowKeysAndArrowsStopAtOneAndNinetyNine() {
        CSettingsDlg dialog(UserSettings{});
        QVERIFY(Open(dialog));
        auto* box = ThresholdBox(dialog);
        Type(box, QStringLiteral("98"));
        QTest::keyClick(box, Qt::Key_Up);
        QCOMPARE(box->text(), QStringLiteral("99"));
        QTest::keyClick(box, Qt::Key_Up);
        QCOMPARE(box->text(), QStringLiteral("99"));
        QTest::keyClick(box, Qt::Key_PageUp);
        QCOMPARE(box->text(), QStringLiteral("99"));
        QTest::keyClick(box, Qt::Key_Down);
        QCOMPARE(box->text(), QStringLiteral("98"));

        Type(box, QStringLiteral("2"));
        QTest::keyClick(box, Qt::Key_Down);
        QCOMPARE(box->text(), QStringLiteral("1"));
        QTest::keyClick(box, Qt::Key_Down);
        QCOMPARE(box->text(), QStringLiteral("1"));
        QTest::keyClick(box, Qt::Key_PageDown);
        QCOMPARE(box->text(), QStringLiteral("1"));

        Type(box, QString());
        QTest::keyClick(box, Qt::Key_Up);
        QCOMPARE(box->text(), QStringLiteral("1"));

        // The same with the mouse on the arrows.
        const QPoint up = ArrowCentre(box, QStyle::SC_SpinBoxUp);
        const QPoint down = ArrowCentre(box, QStyle::SC_SpinBoxDown);
        Type(box, QStringLiteral("97"));
        for (int i = 0; i < 3; ++i) {
            QTest::mouseClick(box, Qt::LeftButton, {}, up);
        }
        QCOMPARE(box->text(), QStringLiteral("99"));
        Type(box, QStringLiteral("3"));
        for (int i = 0; i < 3; ++i) {
            QTest::mouseClick(box, Qt::LeftButton, {}, down);
        }
        QCOMPARE(box->text(), QStringLiteral("1"));
        ClickOk(dialog);
        QCOMPARE(dialog.Settings().record.threshold, 1.0f);
    }

    void uncheckedGifIsStoredAndSaved() {
        CSettingsDlg dialog(UserSettings{});
        QVERIFY(Open(dialog));
        Child<QTabWidget>(dialog, "sheet")->setCurrentIndex(1);
        auto* list = Child<QListWidget>(dialog, "formatList");
        list->setFocus();
        list->setCurrentRow(1);
        QTest::keyClick(list, Qt::Key_Space);
        QCOMPARE(list->item(1)->checkState(), Qt::Unchecked);
        list->setCurrentRow(FORMAT_COUNT + 2);  // .avif
        QTest::keyClick(list, Qt::Key_Space);
        ClickOk(dialog);
        QCOMPARE(dialog.result(), int(QDialog::Accepted));

        ProgramSettings expected;
        expected.enabledFormats = {true, false, true, true, true};
        QCOMPARE(dialog.Settings().record, expected);
        const QVariant stored = Stored();
        QCOMPARE(stored.typeId(), int(QMetaType::QByteArray));
        const QByteArray bytes = stored.toByteArray();
        QCOMPARE(bytes.size(), kStoredSettingsSize);
        QCOMPARE(bytes.toHex(), EncodeSettings(expected).toHex());
        QCOMPARE(bytes.mid(16, 5), QByteArray::fromHex("0100010101"));
        QCOMPARE(dialog.Settings().addedFormats, (AddedFormatFlags{true, true, false}));
        QCOMPARE(QSettings("Morvant", "QRX").value("MoreFormats").toString(),
                 QStringLiteral("webp,heic"));

        QStringList extensions;
        GetEnabledExtensions(dialog.Settings().record.enabledFormats, extensions);
        QVERIFY(!extensions.contains(QStringLiteral(".gif")));
        QVERIFY(extensions.contains(QStringLiteral(".png")));
    }

    void storedFormatFlagsAndShapeOnlyAreShown() {
        UserSettings settings;
        settings.record.enabledFormats = {false, true, false, true, false};
        settings.record.shapeOnly = true;
        CSettingsDlg dialog(settings);
        auto* list = Child<QListWidget>(dialog, "formatList");
        for (int i = 0; i < FORMAT_COUNT; ++i) {
            QCOMPARE(list->item(i)->checkState(), i % 2 == 1 ? Qt::Checked : Qt::Unchecked);
        }
        QVERIFY(Child<QCheckBox>(dialog, "shapeOnlyBox")->isChecked());
        QVERIFY(Open(dialog));
        QTest::mouseClick(Child<QCheckBox>(dialog, "shapeOnlyBox"), Qt::LeftButton);
        ClickOk(dialog);
        QVERIFY(!dialog.Settings().record.shapeOnly);
        QCOMPARE(Stored().toByteArray().at(29), '\0');
        QCOMPARE(dialog.Settings().record.enabledFormats,
                 (std::array<bool, FORMAT_COUNT>{false, true, false, true, false}));
    }

    void turnedCopiesBoxIsOffByDefaultAndStoredBesideTheRecord() {
        CSettingsDlg dialog(UserSettings{});
        auto* turned = Child<QCheckBox>(dialog, "turnedBox");
        QVERIFY(!turned->isChecked());
        QVERIFY(Open(dialog));
        QVERIFY(turned->isVisible());
        QVERIFY(turned->width() >= turned->sizeHint().width());
        // On the box itself: the widget spans the page, its text does not.
        QTest::mouseClick(turned, Qt::LeftButton, {}, QPoint(8, turned->height() / 2));
        ClickOk(dialog);
        QVERIFY(dialog.Settings().findTurnedCopies);
        QCOMPARE(Stored().toByteArray(), EncodeSettings(ProgramSettings{}));
        QCOMPARE(QSettings("Morvant", "QRX").value("TurnedCopies").toString(),
                 QStringLiteral("true"));
        CSettingsDlg again(dialog.Settings());
        QVERIFY(Child<QCheckBox>(again, "turnedBox")->isChecked());
    }

    void hiddenStretchOptionIsKeptThroughOk_data() {
        QTest::addColumn<bool>("stretch");
        QTest::newRow("on") << true;
        QTest::newRow("off") << false;
    }

    void hiddenStretchOptionIsKeptThroughOk() {
        QFETCH(bool, stretch);
        UserSettings settings;
        settings.record.stretchImages = stretch;
        CSettingsDlg dialog(settings);
        QVERIFY(Open(dialog));
        ClickOk(dialog);
        QCOMPARE(dialog.Settings().record.stretchImages, stretch);
        QCOMPARE(Stored().toByteArray().at(28), stretch ? '\1' : '\0');
    }

    void cancelAfterEditsChangesNothing_data() {
        QTest::addColumn<int>("how");
        QTest::newRow("Cancel") << 0;
        QTest::newRow("Escape") << 1;
        QTest::newRow("close box") << 2;
    }

    void cancelAfterEditsChangesNothing() {
        QFETCH(int, how);
        ProgramSettings before;
        before.threshold = 7.25f;
        before.shapeOnly = true;
        before.stretchImages = false;
        before.enabledFormats = {true, true, false, true, false};
        before.reserved2 = -5;
        UserSettings settings;
        settings.record = before;
        QVERIFY(SaveUserSettings(settings));
        const QByteArray storedBefore = Stored().toByteArray();
        QCOMPARE(storedBefore.size(), kStoredSettingsSize);

        CSettingsDlg dialog(settings);
        QVERIFY(Open(dialog));
        Type(ThresholdBox(dialog), QStringLiteral("55"));
        QCOMPARE(ThresholdBox(dialog)->text(), QStringLiteral("55"));
        Child<QCheckBox>(dialog, "shapeOnlyBox")->setChecked(false);
        Child<QCheckBox>(dialog, "stretchBox")->setChecked(true);
        auto* list = Child<QListWidget>(dialog, "formatList");
        for (int i = 0; i < FORMAT_COUNT; ++i) {
            QListWidgetItem* item = list->item(i);
            item->setCheckState(item->checkState() == Qt::Checked ? Qt::Unchecked : Qt::Checked);
        }
        switch (how) {
            case 0:
                QTest::mouseClick(Child<QPushButton>(dialog, "cancelButton"), Qt::LeftButton);
                break;
            case 1:
                QTest::keyClick(ThresholdBox(dialog), Qt::Key_Escape);
                break;
            default:
                dialog.close();
                break;
        }
        QCOMPARE(dialog.result(), int(QDialog::Rejected));
        QVERIFY(!dialog.isVisible());
        QCOMPARE(dialog.Settings().record, before);
        QCOMPARE(Stored().toByteArray().toHex(), storedBefore.toHex());
    }

    void failedSaveSaysSoAndKeepsTheNewValues() {
        // The store's folder is taken by a plain file, so the store cannot be made.
        const QString folder = QFileInfo(StorePath()).path();
        QDir().rmdir(folder);
        QFile blocker(folder);
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        blocker.close();

        CSettingsDlg dialog(UserSettings{});
        test::SeenMessageBox box;
        test::AcceptNextMessageBox(&dialog, box);
        QTimer::singleShot(0, &dialog, [&] {
            Type(ThresholdBox(dialog), QStringLiteral("12"));
            Child<QCheckBox>(dialog, "shapeOnlyBox")->setChecked(true);
            Child<QListWidget>(dialog, "formatList")->item(4)->setCheckState(Qt::Unchecked);
            Child<QPushButton>(dialog, "okButton")->click();
        });
        QCOMPARE(dialog.exec(), int(QDialog::Accepted));
        QCOMPARE(box.title, QStringLiteral("Error"));
        QCOMPARE(box.text, QStringLiteral("Unable to save settings"));
        QCOMPARE(box.buttons, 1);
        QVERIFY(box.hasOk);

        ProgramSettings expected;
        expected.threshold = 12.0f;
        expected.shapeOnly = true;
        expected.enabledFormats = {true, true, true, true, false};
        QCOMPARE(dialog.Settings().record, expected);
        QVERIFY(QFile::remove(folder));
        QVERIFY(!Stored().isValid());
    }

    void foldersAndExclusionsAreEditedSavedAndReadBack() {
        QTemporaryDir present;
        QVERIFY(QDir(present.path()).mkdir(QStringLiteral("kept")));
        const QString kept = present.filePath(QStringLiteral("kept"));
        const QString missing = present.filePath(QStringLiteral("unplugged"));
        UserSettings settings;
        settings.referenceFolders = {present.path(), missing};
        settings.exclusions = {QStringLiteral("@eaDir")};
        CSettingsDlg dialog(settings);
        QVERIFY(Open(dialog));
        auto* references = Child<QListWidget>(dialog, "referenceList");
        QCOMPARE(references->count(), 2);
        // A folder that cannot be found stays, marked; one that is there is not.
        QVERIFY(references->item(0)->toolTip().isEmpty());
        QVERIFY(!references->item(1)->toolTip().isEmpty());
        QVERIFY(references->item(1)->foreground() != references->item(0)->foreground());

        references->setCurrentRow(0);
        QTest::mouseClick(Child<QPushButton>(dialog, "referenceRemove"), Qt::LeftButton);
        test::WhenShown<QFileDialog>([&](QFileDialog& chooser) {
            chooser.selectFile(kept);
            // As a user types it: the whole path in the name box.
            if (auto* name = chooser.findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))) {
                name->setText(kept);
            }
            static_cast<QDialog&>(chooser).accept();
        });
        QTest::mouseClick(Child<QPushButton>(dialog, "referenceAddFolder"), Qt::LeftButton);
        for (const char* pattern : {"*.tmp.jpg", "@eaDir"}) {
            test::WhenShown<QInputDialog>([pattern](QInputDialog& ask) {
                ask.setTextValue(QString::fromLatin1(pattern));
                ask.accept();
            });
            QTest::mouseClick(Child<QPushButton>(dialog, "exclusionAddPattern"), Qt::LeftButton);
        }
        Child<QCheckBox>(dialog, "sameFolderBox")->setChecked(true);
        ClickOk(dialog);

        UserSettings loaded;
        QVERIFY(LoadUserSettings(loaded));
        QCOMPARE(loaded.referenceFolders, (QStringList{missing, kept}));
        // The pattern already listed is not added again.
        QCOMPARE(loaded.exclusions, (QStringList{"@eaDir", "*.tmp.jpg"}));
        QVERIFY(loaded.skipSameFolder);
        QCOMPARE(dialog.Settings(), loaded);
    }

    void savedValuesAreWhatTheNextLoadReads() {
        CSettingsDlg dialog(UserSettings{});
        QVERIFY(Open(dialog));
        Type(ThresholdBox(dialog), QStringLiteral("33"));
        ClickOk(dialog);
        UserSettings loaded;
        QVERIFY(LoadUserSettings(loaded));
        QCOMPARE(loaded.record.threshold, 33.0f);
    }
};

}  // namespace vistrel

VISTREL_WIDGET_TEST_MAIN(vistrel::SettingsDlgTest)

#include "SettingsDlgTest.moc"
