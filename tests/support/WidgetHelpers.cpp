#include "WidgetHelpers.h"

#include "mainwindow/QRXDlg.h"

#include <QFile>
#include <QFileInfo>
#include <QTreeWidget>
#include <QUrl>

namespace vistrel::test {

QString WritePhoto(const QTemporaryDir& folder, const QString& name, int width, int height,
                   std::uint32_t seed, PictureFormat format) {
    const QString path = folder.filePath(name);
    if (!WritePicture(MakePhotoLike(width, height, seed), format, path)) {
        qFatal("cannot write a test picture");
    }
    return path;
}

void Link(CQRXDlg& window, int a, int b, float factor) {
    window.Repository().AddSimilarPair(
        CPictureRepository::PairInfo{nullptr, nullptr, a, b, factor});
}

QString TrashFolder() {
    return qEnvironmentVariable("XDG_DATA_HOME") + QStringLiteral("/Trash");
}

bool InTrash(const QString& path) {
    const QString name = QFileInfo(path).fileName();
    QFile info(TrashFolder() + QStringLiteral("/info/") + name + QStringLiteral(".trashinfo"));
    if (!QFileInfo::exists(TrashFolder() + QStringLiteral("/files/") + name) ||
        !info.open(QIODevice::ReadOnly)) {
        return false;
    }
    const QString encoded =
        QString::fromUtf8(QUrl::toPercentEncoding(path, QByteArrayLiteral("/")));
    // Qt 6.4 writes the path as it is, later versions percent-encode it as the desktop's trash
    // format asks; either names the original place.
    const QString record = QString::fromUtf8(info.readAll());
    return record.contains(QStringLiteral("Path=") + encoded + QLatin1Char('\n')) ||
           record.contains(QStringLiteral("Path=") + path + QLatin1Char('\n'));
}

QStringList TopLevelTexts(const QTreeWidget& tree) {
    QStringList texts;
    for (int i = 0; i < tree.topLevelItemCount(); ++i) {
        texts << tree.topLevelItem(i)->text(0);
    }
    return texts;
}

QStringList TreeText(QTreeWidget& tree) {
    QStringList lines;
    for (int i = 0; i < tree.topLevelItemCount(); ++i) {
        QTreeWidgetItem* item = tree.topLevelItem(i);
        tree.expandItem(item);
        lines << item->text(0);
        for (int c = 0; c < item->childCount(); ++c) {
            lines << QStringLiteral("  ") + item->child(c)->text(0);
        }
    }
    return lines;
}

}  // namespace vistrel::test
