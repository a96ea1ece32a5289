#include "WidgetTestMain.h"

#include "PrivateHome.h"

#include <QApplication>
#include <QTest>

namespace vistrel::test {

int RunWidgetTests(int argc, char* argv[],
                   const std::function<std::unique_ptr<QObject>()>& makeTests) {
    // Before the application exists: QSettings and the trash take their folders once.
    const PrivateHome home;
    if (!home.IsValid()) {
        return 2;
    }
    QApplication application(argc, argv);
    QApplication::setAttribute(Qt::AA_Use96Dpi, true);
    QApplication::setAttribute(Qt::AA_DontUseNativeDialogs);
    const std::unique_ptr<QObject> tests = makeTests();
    return QTest::qExec(tests.get(), argc, argv);
}

}  // namespace vistrel::test
