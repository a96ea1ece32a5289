#include "ComparePanel.h"

#include "common/FileSizeText.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLocale>
#include <QPushButton>
#include <QVBoxLayout>

namespace vistrel {

namespace {

QLabel* MakeValue(QWidget* parent) {
    auto* label = new QLabel(parent);
    label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    return label;
}

void SetValue(QLabel* label, const QString& text, bool better) {
    label->setText(text);
    QFont font = label->font();
    font.setBold(better);
    label->setFont(font);
}

QString DimensionsText(const PictureFacts& facts) {
    if (!facts.size.isValid()) {
        return QObject::tr("unknown size");
    }
    return QObject::tr("%1 x %2 pixels").arg(facts.size.width()).arg(facts.size.height());
}

// To the second: a mark that tells two dates apart must not stand on two texts that read alike.
QString DateText(const QDateTime& when) {
    const QLocale locale;
    QString format = locale.dateTimeFormat(QLocale::ShortFormat);
    if (!format.contains(QLatin1String("ss"))) {
        format.replace(QLatin1String("mm"), QLatin1String("mm:ss"));
    }
    return locale.toString(when, format);
}

QString FormatText(const PictureFacts& facts) {
    return facts.format.isEmpty() ? QObject::tr("unknown format")
                                  : QString::fromLatin1(facts.format).toUpper();
}

// Breaks may fall after each "/", "_", "-", "." and within any long run of other characters, so
// that a long path wraps instead of widening the window or being cut off.
QString WrappablePath(const QString& path) {
    constexpr int kLongestRun = 16;
    const QChar breakHere(0x200b);
    QString text;
    int run = 0;
    for (const QChar c : path) {
        text.append(c);
        if (c == QLatin1Char('/') || c == QLatin1Char('_') || c == QLatin1Char('-') ||
            c == QLatin1Char('.') || ++run == kLongestRun) {
            text.append(breakHere);
            run = 0;
        } else if (c.isSpace()) {
            run = 0;
        }
    }
    return text;
}

}  // namespace

ComparePanel::ComparePanel(const QString& trashText, QWidget* parent) : QWidget(parent) {
    // The path wraps at the width the window gives it, never widening the window; it is not
    // selectable, as the break marks in it would be copied too (its tool tip is the plain path).
    pathLabel = new QLabel(this);
    pathLabel->setWordWrap(true);
    pathLabel->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    dimensionsLabel = MakeValue(this);
    fileSizeLabel = MakeValue(this);
    modifiedLabel = MakeValue(this);
    formatLabel = MakeValue(this);
    takenLabel = MakeValue(this);
    cameraLabel = MakeValue(this);
    lensLabel = MakeValue(this);
    openButton = new QPushButton(tr("Open File"), this);
    findButton = new QPushButton(tr("Find File"), this);
    trashButton = new QPushButton(trashText, this);

    auto* facts = new QGridLayout;
    facts->addWidget(dimensionsLabel, 0, 0);
    facts->addWidget(fileSizeLabel, 0, 1);
    facts->addWidget(modifiedLabel, 1, 0);
    facts->addWidget(formatLabel, 1, 1);
    facts->addWidget(takenLabel, 2, 0);
    facts->addWidget(cameraLabel, 2, 1);
    facts->addWidget(lensLabel, 3, 0, 1, 2);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(openButton);
    buttons->addWidget(findButton);
    buttons->addWidget(trashButton);
    buttons->addStretch(1);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(pathLabel);
    layout->addLayout(facts);
    // The buttons of both sides stay in one row when one path takes more lines.
    layout->addStretch(1);
    layout->addLayout(buttons);
}

void ComparePanel::ShowFacts(const QString& path, const std::optional<PictureFacts>& facts,
                             const BetterFacts& better, bool enlarged) {
    pathLabel->setText(WrappablePath(path));
    pathLabel->setToolTip(path);
    const bool present = facts && facts->exists;
    openButton->setEnabled(present);
    findButton->setEnabled(present);
    trashButton->setEnabled(present);
    for (QLabel* label : {dimensionsLabel, fileSizeLabel, modifiedLabel, formatLabel, takenLabel,
                          cameraLabel, lensLabel}) {
        SetValue(label, QString(), false);
    }
    dimensionsLabel->setToolTip(QString());
    if (!facts || !facts->exists) {
        SetValue(dimensionsLabel, facts ? tr("The file is missing.") : tr("Reading..."),
                 facts.has_value());
        ShowWhenSet();
        return;
    }
    SetValue(dimensionsLabel, DimensionsText(*facts), better.pixels);
    if (enlarged) {
        dimensionsLabel->setToolTip(
            tr("The other picture is an enlargement of this one: it holds no more detail."));
    }
    // A larger file is no better picture by itself (a BMP of a JPEG is larger): never marked.
    SetValue(fileSizeLabel, FileSizeText(facts->fileBytes), false);
    SetValue(
        modifiedLabel,
        facts->modified.isValid() ? tr("Modified %1").arg(DateText(facts->modified)) : QString(),
        better.modified);
    SetValue(formatLabel, FormatText(*facts), better.format);
    // The photo's own data, where it has any: the camera's mark goes to its date when it names
    // no camera.
    const CameraData& camera = facts->camera;
    const QString name = camera.CameraName();
    if (camera.taken.isValid()) {
        SetValue(takenLabel, tr("Taken %1").arg(DateText(camera.taken)),
                 better.taken || (better.camera && name.isEmpty()));
    }
    if (!name.isEmpty()) {
        SetValue(cameraLabel, tr("Camera: %1").arg(name), better.camera);
    }
    if (!camera.lens.isEmpty()) {
        SetValue(lensLabel, tr("Lens: %1").arg(camera.lens), false);
    }
    ShowWhenSet();
}

void ComparePanel::ShowWhenSet() {
    // Most pictures that are not photographs hold none of these: no empty rows for them.
    for (QLabel* label : {takenLabel, cameraLabel, lensLabel}) {
        label->setVisible(!label->text().isEmpty());
    }
}

}  // namespace vistrel
