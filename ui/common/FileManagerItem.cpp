#include "FileManagerItem.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDesktopServices>
#include <QFileInfo>
#include <QStringList>
#include <QUrl>

namespace vistrel {

namespace {

// Long enough for a file manager that the bus has to start first.
constexpr int kBusTimeoutMs = 5000;

bool ShowItemsOverBus(const QUrl& item) {
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        return false;
    }
    QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.FileManager1"),
        QStringLiteral("/org/freedesktop/FileManager1"),
        QStringLiteral("org.freedesktop.FileManager1"), QStringLiteral("ShowItems"));
    call << QStringList{item.toString()} << QString();
    const QDBusMessage reply = bus.call(call, QDBus::Block, kBusTimeoutMs);
    return reply.type() == QDBusMessage::ReplyMessage;
}

}  // namespace

void ShowInFileManager(const QString& path) {
    if (path.isEmpty()) {
        return;
    }
    const QFileInfo file(path);
    if (ShowItemsOverBus(QUrl::fromLocalFile(file.absoluteFilePath()))) {
        return;
    }
    QDesktopServices::openUrl(QUrl::fromLocalFile(file.absolutePath()));
}

}  // namespace vistrel
