#include "TreeToolTips.h"

#include "cleanup/PictureFacts.h"
#include "common/FactorText.h"
#include "common/FileSizeText.h"
#include "decoding/PictureProblem.h"

#include <QCoreApplication>
#include <QLocale>

namespace vistrel {

namespace {

QString Tr(const char* text) {
    return QCoreApplication::translate("TreeToolTips", text);
}

QString DimensionsLine(const PictureFacts& facts) {
    return facts.size.isValid()
               ? Tr("%1 x %2 pixels").arg(facts.size.width()).arg(facts.size.height())
               : Tr("Dimensions unknown");
}

}  // namespace

QString PictureToolTip(const QString& path, bool unreadable) {
    const PictureFacts facts = ReadPictureFacts(path);
    if (!facts.exists) {
        return Tr("The file is missing.");
    }
    QString text = DimensionsLine(facts) + QLatin1Char('\n') + FileSizeText(facts.fileBytes) +
                   QLatin1Char('\n') +
                   Tr("Modified %1").arg(QLocale().toString(facts.modified, QLocale::ShortFormat));
    // A header that cannot be read is a picture that cannot be decoded either.
    if (unreadable || !facts.size.isValid()) {
        text += QLatin1Char('\n') +
                Tr("Cannot be read: %1.").arg(PictureProblemText(DiagnoseUnreadablePicture(path)));
    }
    return text;
}

QString ReferenceFolderText(const QString& folder) {
    return Tr("In the reference folder \"%1\": no bulk command moves it.").arg(folder);
}

QString OrientationText(Orientation orientation) {
    switch (orientation) {
        case Orientation::None:
            break;
        case Orientation::Rot90:
            return Tr("Turned 90 degrees right");
        case Orientation::Rot180:
            return Tr("Turned 180 degrees");
        case Orientation::Rot270:
            return Tr("Turned 90 degrees left");
        case Orientation::Flip:
            return Tr("Mirrored left to right");
        case Orientation::FlipRot90:
            return Tr("Mirrored and turned 90 degrees right");
        case Orientation::FlipRot180:
            return Tr("Mirrored top to bottom");
        case Orientation::FlipRot270:
            return Tr("Mirrored and turned 90 degrees left");
    }
    return QString();
}

QString SimilarToolTip(const QString& path, std::int32_t factor, Orientation orientation) {
    // On the threshold's scale, as everywhere the user sees a factor.
    QString difference = Tr("Difference factor: %1").arg(FactorText(static_cast<float>(factor)));
    // The link turns this picture onto its parent's: this one is the parent's turned back.
    if (const QString turned = OrientationText(Inverse(orientation)); !turned.isEmpty()) {
        difference += QLatin1Char('\n') + turned;
    }
    const PictureFacts facts = ReadPictureFacts(path);
    if (!facts.exists) {
        return difference + QLatin1Char('\n') + Tr("The file is missing.");
    }
    return difference + QLatin1Char('\n') + DimensionsLine(facts) + QLatin1Char('\n') +
           FileSizeText(facts.fileBytes);
}

}  // namespace vistrel
