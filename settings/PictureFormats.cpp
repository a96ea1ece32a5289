#include "PictureFormats.h"

namespace vistrel {

void GetFormatExtensions(std::uint32_t number, QStringList& extensions) {
    if (number == 0 || number > static_cast<std::uint32_t>(FORMAT_COUNT)) {
        return;
    }
    const QString entry = QString::fromLatin1(kPictureFormats[number - 1]);
    qsizetype start = 0;
    while (true) {
        const qsizetype blank = entry.indexOf(QLatin1Char(' '), start);
        if (blank < 0) {
            extensions.append(entry.mid(start));
            return;
        }
        extensions.append(entry.mid(start, blank - start));
        start = blank + 1;
    }
}

void GetEnabledExtensions(const std::array<bool, FORMAT_COUNT>& enabled, QStringList& extensions) {
    for (int i = 0; i < FORMAT_COUNT; ++i) {
        if (enabled[i]) {
            GetFormatExtensions(static_cast<std::uint32_t>(i + 1), extensions);
        }
    }
}

}  // namespace vistrel
