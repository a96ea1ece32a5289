#include "AddedFormatSettings.h"

#include <QStringList>

namespace vistrel {

QString EncodeAddedFormats(const AddedFormatFlags& flags) {
    QStringList names;
    for (int i = 0; i < kAddedFormatCount; ++i) {
        if (flags[static_cast<std::size_t>(i)]) {
            names << QString::fromLatin1(kAddedPictureFormats[static_cast<std::size_t>(i)].name);
        }
    }
    return names.join(QLatin1Char(','));
}

AddedFormatFlags DecodeAddedFormats(const QString& stored) {
    AddedFormatFlags flags{};
    for (const QString& item : stored.split(QLatin1Char(','))) {
        const QString name = item.trimmed().toLower();
        for (int i = 0; i < kAddedFormatCount; ++i) {
            if (name == QLatin1String(kAddedPictureFormats[static_cast<std::size_t>(i)].name)) {
                flags[static_cast<std::size_t>(i)] = true;
            }
        }
    }
    return flags;
}

}  // namespace vistrel
