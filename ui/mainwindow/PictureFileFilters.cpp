#include "PictureFileFilters.h"

#include "settings/PictureFormats.h"

#include <QObject>

namespace vistrel {

namespace {

// "*.bmp;*.dib (*.bmp *.dib)" for the extensions ".bmp" and ".dib".
QString FilterOf(const QStringList& extensions) {
    QStringList patterns;
    for (const QString& extension : extensions) {
        patterns << QLatin1Char('*') + extension;
    }
    return patterns.join(QLatin1Char(';')) + QStringLiteral(" (") +
           patterns.join(QLatin1Char(' ')) + QLatin1Char(')');
}

}  // namespace

QStringList SearchSimilarFilters(const std::array<bool, FORMAT_COUNT>& enabledFormats,
                                 const AddedFormatFlags& addedFormats) {
    QStringList filters{QStringLiteral("*.* (*)")};
    for (int i = 0; i < FORMAT_COUNT; ++i) {
        if (!enabledFormats[i]) {
            continue;
        }
        QStringList extensions;
        GetFormatExtensions(static_cast<std::uint32_t>(i + 1), extensions);
        filters << FilterOf(extensions);
    }
    for (int i = 0; i < kAddedFormatCount; ++i) {
        if (!addedFormats[static_cast<std::size_t>(i)]) {
            continue;
        }
        QStringList extensions;
        GetAddedFormatExtensions(i, extensions);
        filters << FilterOf(extensions);
    }
    return filters;
}

QString RepositoryFileFilter() {
    return QObject::tr("Repository files (.qrx) (*.qrx)");
}

}  // namespace vistrel
