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
    openButton = new QPushButton(tr("Open File"), this);
    findButton = new QPushButton(tr("Find File"), this);
    trashButton = new QPushButton(trashText, this);

    auto* facts = new QGridLayout;
    facts->addWidget(dimensionsLabel, 0, 0);
    facts->addWidget(fileSizeLabel, 0, 1);
    facts->addWidget(modifiedLabel, 1, 0);
    facts->addWidget(formatLabel, 1, 1);
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
                             const std::optional<PictureFacts>& other) {
    pathLabel->setText(WrappablePath(path));
    pathLabel->setToolTip(path);
    const bool present = facts && facts->exists;
    openButton->setEnabled(present);
    findButton->setEnabled(present);
    trashButton->setEnabled(present);
    for (QLabel* label : {dimensionsLabel, fileSizeLabel, modifiedLabel, formatLabel}) {
        SetValue(label, QString(), false);
    }
    if (!facts) {
        SetValue(dimensionsLabel, tr("Reading..."), false);
        return;
    }
    if (!facts->exists) {
        SetValue(dimensionsLabel, tr("The file is missing."), true);
        return;
    }
    // A fact is better only against a known fact of the other side.
    const bool compared = other && other->exists;
    SetValue(dimensionsLabel, DimensionsText(*facts),
             compared && facts->Pixels() > other->Pixels());
    SetValue(fileSizeLabel, FileSizeText(facts->fileBytes),
             compared && facts->fileBytes > other->fileBytes);
    SetValue(modifiedLabel, QLocale().toString(facts->modified, QLocale::ShortFormat),
             compared && facts->modified.isValid() && other->modified.isValid() &&
                 facts->modified < other->modified);
    SetValue(formatLabel, FormatText(*facts), false);
}

}  // namespace vistrel
