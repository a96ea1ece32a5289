#include "PictureFileFilters.h"

#include "PictureFormats.h"

#include <QObject>

namespace vistrel {

QStringList SearchSimilarFilters(const std::array<bool, FORMAT_COUNT>& enabledFormats) {
    QStringList filters{QStringLiteral("*.* (*)")};
    for (int i = 0; i < FORMAT_COUNT; ++i) {
        if (!enabledFormats[i]) {
            continue;
        }
        QStringList extensions;
        GetFormatExtensions(static_cast<std::uint32_t>(i + 1), extensions);
        QStringList patterns;
        for (const QString& extension : extensions) {
            patterns << QLatin1Char('*') + extension;
        }
        filters << patterns.join(QLatin1Char(';')) + QStringLiteral(" (") +
                       patterns.join(QLatin1Char(' ')) + QLatin1Char(')');
    }
    return filters;
}

QString RepositoryFileFilter() {
    return QObject::tr("Repository files (.qrx) (*.qrx)");
}

}  // namespace vistrel
