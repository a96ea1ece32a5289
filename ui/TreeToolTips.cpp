#include "TreeToolTips.h"

#include "FileSizeText.h"
#include "PictureFacts.h"

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

QString PictureToolTip(const QString& path) {
    const PictureFacts facts = ReadPictureFacts(path);
    if (!facts.exists) {
        return Tr("The file is missing.");
    }
    return DimensionsLine(facts) + QLatin1Char('\n') + FileSizeText(facts.fileBytes) +
           QLatin1Char('\n') +
           Tr("Modified %1").arg(QLocale().toString(facts.modified, QLocale::ShortFormat));
}

QString SimilarToolTip(const QString& path, std::int32_t factor) {
    // The similarity threshold is in percent of 256, so the tooltip gives both.
    const QString difference = Tr("Difference factor: %1 (%2 %)")
                                   .arg(factor)
                                   .arg(QLocale().toString(factor * 100.0 / 256.0, 'f', 1));
    const PictureFacts facts = ReadPictureFacts(path);
    if (!facts.exists) {
        return difference + QLatin1Char('\n') + Tr("The file is missing.");
    }
    return difference + QLatin1Char('\n') + DimensionsLine(facts) + QLatin1Char('\n') +
           FileSizeText(facts.fileBytes);
}

}  // namespace vistrel
