#include "QtMessages.h"

#include "Console.h"

#include <QtGlobal>

#include <cstring>

namespace vistrel::cli {

namespace {

Console* route = nullptr;

void HandleQtMessage(QtMsgType type, const QMessageLogContext& context, const QString& text) {
    if (route == nullptr || type == QtDebugMsg || type == QtInfoMsg) {
        return;
    }
    const char* category = context.category != nullptr ? context.category : "";
    if (type == QtWarningMsg && std::strcmp(category, "qt.gui.imageio") == 0) {
        return;
    }
    route->Warning(std::strcmp(category, "default") == 0 || category[0] == '\0'
                       ? text
                       : QString::fromLatin1(category) + QStringLiteral(": ") + text);
}

}  // namespace

QtMessageRoute::QtMessageRoute(Console& console) {
    route = &console;
    previous = qInstallMessageHandler(HandleQtMessage);
}

QtMessageRoute::~QtMessageRoute() {
    qInstallMessageHandler(previous);
    route = nullptr;
}

}  // namespace vistrel::cli
