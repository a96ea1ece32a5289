#include "FileSizeText.h"

namespace vistrel {

QString FileSizeText(qint64 length) {
    static const char* const kUnits[] = {"KB", "MB", "GB", "TB"};
    double value = static_cast<double>(length);
    qint64 whole = length;
    const char* unit = "Bytes";
    for (const char* larger : kUnits) {
        if (whole / 1024 <= 0) {
            break;
        }
        value /= 1024;
        whole /= 1024;
        unit = larger;
    }
    return QString::asprintf("%.2f %s", value, unit);
}

QString PictureSizeLabel(const QSize& size, qint64 length) {
    if (length > 0) {
        return QString::asprintf("Size: %dx%d (%s)", size.width(), size.height(),
                                 qPrintable(FileSizeText(length)));
    }
    return QString::asprintf("Size: %dx%d", size.width(), size.height());
}

}  // namespace vistrel
