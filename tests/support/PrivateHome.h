#pragma once

#include <QByteArray>
#include <QTemporaryDir>

namespace vistrel::test {

/// A temporary home for a widget test program, made before anything reads these places: the
/// settings and the desktop trash are its own, and the session bus is one where no file manager
/// answers, so that nothing of the real user's is touched or shown.
class PrivateHome {
public:
    PrivateHome() {
        qputenv("XDG_CONFIG_HOME", home.filePath(QStringLiteral("config")).toLocal8Bit());
        qputenv("XDG_DATA_HOME", home.filePath(QStringLiteral("data")).toLocal8Bit());
        qputenv("DBUS_SESSION_BUS_ADDRESS",
                ("unix:path=" + home.filePath(QStringLiteral("no-bus"))).toLocal8Bit());
    }
    bool IsValid() const { return home.isValid(); }

private:
    QTemporaryDir home;
};

}  // namespace vistrel::test
