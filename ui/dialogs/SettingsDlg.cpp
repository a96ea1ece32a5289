#include "SettingsDlg.h"

#include "FolderListEditor.h"
#include "common/DialogUnits.h"
#include "settings/PictureFormats.h"
#include "settings/ProgramSettings.h"
#include "settings/SettingsStore.h"

#include <QAbstractSpinBox>
#include <QCheckBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QResizeEvent>
#include <QTabWidget>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>

namespace vistrel {

namespace {

// The arrows' range; typing may also leave the box empty or at 0.
constexpr int kLowestStep = 1;
constexpr int kHighestStep = 99;
constexpr int kMaxDigits = 2;

// The sheet keeps these pixel margins so that the row of OK and Cancel stays free below it.
constexpr int kSheetMargin = 5;
constexpr int kButtonRowHeight = 30;

// An edit box of at most two digits with arrows. QSpinBox would not do: it always holds a value
// within its range and rewrites its text to it, while this box may be left empty (OK reads that
// as 0) although its arrows stop at 1.
class ThresholdBox final : public QAbstractSpinBox {
public:
    explicit ThresholdBox(QWidget* parent) : QAbstractSpinBox(parent) {
        lineEdit()->setMaxLength(kMaxDigits);
        // The arrows are drawn enabled or not from the text, so they follow every edit.
        connect(lineEdit(), &QLineEdit::textChanged, this, [this] { update(); });
    }

    void SetNumber(int number) { lineEdit()->setText(QString::number(number)); }

    // Shows a whole number as it is when two digits can hold it, although the arrows stop at 1.
    // Any other (only an edited store gives one) shows as the nearest that they can hold, and
    // NaN as 0, which keeps its meaning: nothing is similar below a threshold of 0 or less.
    void SetPosition(float position) {
        if (!(position > 0.0f)) {
            SetNumber(0);
        } else if (position >= static_cast<float>(kHighestStep)) {
            SetNumber(kHighestStep);
        } else {
            SetNumber(static_cast<int>(position));
        }
    }

    QValidator::State validate(QString& input, int& /*pos*/) const override {
        if (input.size() > kMaxDigits) {
            return QValidator::Invalid;
        }
        // ASCII digits only: QChar::isDigit would let in digits of other scripts that
        // QString::toInt does not read.
        const bool digitsOnly = std::all_of(input.cbegin(), input.cend(), [](QChar c) {
            return c >= QLatin1Char('0') && c <= QLatin1Char('9');
        });
        return digitsOnly ? QValidator::Acceptable : QValidator::Invalid;
    }

    void stepBy(int steps) override {
        SetNumber(std::clamp(Number() + steps, kLowestStep, kHighestStep));
        selectAll();
    }

protected:
    StepEnabled stepEnabled() const override {
        if (isReadOnly()) {
            return StepNone;
        }
        const int number = Number();
        StepEnabled enabled = StepNone;
        if (number < kHighestStep) {
            enabled |= StepUpEnabled;
        }
        if (number > kLowestStep) {
            enabled |= StepDownEnabled;
        }
        return enabled;
    }

private:
    // An empty box counts as 0, so the first step up from it gives 1.
    int Number() const { return text().toInt(); }
};

}  // namespace

CSettingsDlg::CSettingsDlg(const UserSettings& userSettings, QWidget* parent)
    : QDialog(parent),
      settings(userSettings),
      sheet(new QTabWidget(this)),
      generalPage(new QWidget(sheet)),
      formatsPage(new QWidget(sheet)),
      foldersPage(new QWidget(sheet)),
      okButton(new QPushButton(tr("OK"), this)),
      cancelButton(new QPushButton(tr("Cancel"), this)) {
    setWindowTitle(tr("Program Settings"));
    setModal(true);
    sheet->setObjectName(QStringLiteral("sheet"));
    okButton->setObjectName(QStringLiteral("okButton"));
    cancelButton->setObjectName(QStringLiteral("cancelButton"));
    okButton->setDefault(true);
    connect(okButton, &QPushButton::clicked, this, &CSettingsDlg::accept);
    connect(cancelButton, &QPushButton::clicked, this, &CSettingsDlg::reject);

    sheet->addTab(generalPage, tr("General"));
    sheet->addTab(formatsPage, tr("File Formats"));
    sheet->addTab(foldersPage, tr("Folders"));
    CreateGeneralPage();
    CreateFormatsPage();
    CreateFoldersPage();
    sheet->setCurrentWidget(generalPage);

    // Dialog units reckon with the font's average character, which many fonts' prose exceeds;
    // rather than cut the option texts short, the dialog then grows to what its pages need.
    const QSize nominal = DialogUnitsToPixels(*this, 0, 0, 297, 187).size();
    const QSize needed =
        sheet->minimumSizeHint() + QSize(2 * kSheetMargin, kSheetMargin + kButtonRowHeight);
    setFixedSize(nominal.expandedTo(needed));
    // The buttons keep their place relative to the bottom right corner.
    const QPoint growth(width() - nominal.width(), height() - nominal.height());
    okButton->setGeometry(DialogUnitsToPixels(*this, 183, 166, 50, 14).translated(growth));
    cancelButton->setGeometry(DialogUnitsToPixels(*this, 240, 166, 50, 14).translated(growth));
    LayOutSheet();
}

CSettingsDlg::~CSettingsDlg() = default;

void CSettingsDlg::CreateGeneralPage() {
    const ProgramSettings& record = settings.record;
    auto* thresholdLabel = new QLabel(tr("Threshold value (percents):"), generalPage);
    auto* box = new ThresholdBox(generalPage);
    box->setObjectName(QStringLiteral("thresholdBox"));
    // The box and its arrows together take the place of the edit box.
    box->setFixedWidth(DialogUnitsToPixels(*this, 0, 0, 40, 14).width());
    box->SetPosition(std::trunc(record.threshold));
    thresholdLabel->setBuddy(box);
    thresholdBox = box;
    auto* thresholdRow = new QHBoxLayout;
    thresholdRow->addWidget(thresholdLabel);
    thresholdRow->addWidget(box);
    thresholdRow->addStretch();

    auto* ruleLabel = new QLabel(tr("Two pictures whose difference factor is below the threshold "
                                    "are similar pictures."),
                                 generalPage);
    ruleLabel->setWordWrap(true);
    // The factor's scale is the threshold's (percent of 256), as the tree, the compare window
    // and vistrel-cli show it.
    auto* scaleLabel = new QLabel(tr("The difference factor is 0 for the same picture and about "
                                     "200 for the most different pictures, on the same scale "
                                     "wherever Vistrel shows it."),
                                  generalPage);
    scaleLabel->setWordWrap(true);

    auto* group = new QGroupBox(tr("Threshold"), generalPage);
    auto* groupLayout = new QVBoxLayout(group);
    groupLayout->addLayout(thresholdRow);
    groupLayout->addWidget(ruleLabel);
    groupLayout->addWidget(scaleLabel);

    // Never shown: the engine does not stretch, but the option still travels through OK.
    stretchBox = new QCheckBox(tr("Stretch images to the same size before compare"), generalPage);
    stretchBox->setObjectName(QStringLiteral("stretchBox"));
    stretchBox->setChecked(record.stretchImages);
    stretchBox->hide();

    shapeOnlyBox = new QCheckBox(
        tr("Shape only comparison (Algorithm does not consider color information)"), generalPage);
    shapeOnlyBox->setObjectName(QStringLiteral("shapeOnlyBox"));
    shapeOnlyBox->setChecked(record.shapeOnly);

    // Kept beside the settings record, not in it.
    turnedBox = new QCheckBox(tr("Also find turned and mirrored copies"), generalPage);
    turnedBox->setObjectName(QStringLiteral("turnedBox"));
    turnedBox->setChecked(settings.findTurnedCopies);
    turnedBox->setToolTip(
        tr("Compares each pair in all eight ways a picture can be turned or mirrored; "
           "a test takes a few times longer."));

    // Kept beside the settings record, as the turned copies are.
    sameFolderBox = new QCheckBox(tr("Skip pairs in the same folder"), generalPage);
    sameFolderBox->setObjectName(QStringLiteral("sameFolderBox"));
    sameFolderBox->setChecked(settings.skipSameFolder);
    sameFolderBox->setToolTip(
        tr("Two pictures in the same folder are not compared: only copies in different folders "
           "are found."));

    auto* layout = new QVBoxLayout(generalPage);
    layout->addWidget(group);
    layout->addWidget(stretchBox);
    layout->addWidget(shapeOnlyBox);
    layout->addWidget(turnedBox);
    layout->addWidget(sameFolderBox);
    layout->addStretch();
}

void CSettingsDlg::CreateFormatsPage() {
    auto* label =
        new QLabel(tr("Please choose the file formats you want to be used:"), formatsPage);
    formatList = new QListWidget(formatsPage);
    formatList->setObjectName(QStringLiteral("formatList"));
    formatList->setSelectionMode(QAbstractItemView::SingleSelection);
    formatList->setSortingEnabled(false);
    label->setBuddy(formatList);
    // One item per table entry, in table order: OK reads the flags back by row.
    for (int i = 0; i < FORMAT_COUNT; ++i) {
        auto* item = new QListWidgetItem(QString::fromLatin1(kPictureFormats[i]), formatList);
        item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable);
        item->setCheckState(settings.record.enabledFormats[i] ? Qt::Checked : Qt::Unchecked);
    }
    // The added formats follow the five, each with its own flag.
    const AddedFormatFlags& added = settings.addedFormats;
    for (int i = 0; i < kAddedFormatCount; ++i) {
        const auto at = static_cast<std::size_t>(i);
        auto* item = new QListWidgetItem(QString::fromLatin1(kAddedPictureFormats[at].extensions),
                                         formatList);
        item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable);
        item->setCheckState(added[at] ? Qt::Checked : Qt::Unchecked);
    }
    auto* layout = new QVBoxLayout(formatsPage);
    layout->addWidget(label);
    layout->addWidget(formatList);
}

void CSettingsDlg::CreateFoldersPage() {
    auto* referenceGroup = new QGroupBox(tr("Reference folders"), foldersPage);
    auto* referenceLabel =
        new QLabel(tr("The pictures under these folders are protected: no command that moves "
                      "many files moves them, and two of them are not compared."),
                   referenceGroup);
    referenceLabel->setWordWrap(true);
    referenceList = new FolderListEditor(FolderListEditor::Kind::Folders, settings.referenceFolders,
                                         QStringLiteral("reference"), referenceGroup);
    auto* referenceLayout = new QVBoxLayout(referenceGroup);
    referenceLayout->addWidget(referenceLabel);
    referenceLayout->addWidget(referenceList);

    auto* exclusionGroup = new QGroupBox(tr("Exclusions"), foldersPage);
    auto* exclusionLabel =
        new QLabel(tr("Add To Repository leaves out the folders and files these name, and does "
                      "not look inside such folders."),
                   exclusionGroup);
    exclusionLabel->setWordWrap(true);
    exclusionList = new FolderListEditor(FolderListEditor::Kind::Patterns, settings.exclusions,
                                         QStringLiteral("exclusion"), exclusionGroup);
    auto* exclusionLayout = new QVBoxLayout(exclusionGroup);
    exclusionLayout->addWidget(exclusionLabel);
    exclusionLayout->addWidget(exclusionList);

    auto* layout = new QVBoxLayout(foldersPage);
    layout->addWidget(referenceGroup);
    layout->addWidget(exclusionGroup);
}

void CSettingsDlg::LayOutSheet() {
    sheet->setGeometry(kSheetMargin, kSheetMargin, width() - 2 * kSheetMargin,
                       height() - kSheetMargin - kButtonRowHeight);
}

void CSettingsDlg::resizeEvent(QResizeEvent* event) {
    QDialog::resizeEvent(event);
    LayOutSheet();
}

void CSettingsDlg::accept() {
    ProgramSettings& record = settings.record;
    for (int i = 0; i < FORMAT_COUNT; ++i) {
        record.enabledFormats[i] = formatList->item(i)->checkState() == Qt::Checked;
    }
    for (int i = 0; i < kAddedFormatCount; ++i) {
        settings.addedFormats[static_cast<std::size_t>(i)] =
            formatList->item(FORMAT_COUNT + i)->checkState() == Qt::Checked;
    }
    // The text as it stands, not a value of the arrows' range: an empty box gives 0.
    record.threshold = static_cast<float>(thresholdBox->text().toInt());
    record.stretchImages = stretchBox->isChecked();
    record.shapeOnly = shapeOnlyBox->isChecked();
    settings.findTurnedCopies = turnedBox->isChecked();
    settings.skipSameFolder = sameFolderBox->isChecked();
    settings.referenceFolders = referenceList->Entries();
    settings.exclusions = exclusionList->Entries();
    // The values are in force from here on, whether or not the store takes them.
    if (!SaveUserSettings(settings)) {
        QMessageBox::critical(this, tr("Error"), tr("Unable to save settings"));
    }
    QDialog::accept();
}

}  // namespace vistrel
