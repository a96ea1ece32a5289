// Test entry point: a Qt application object for the image readers, and a private settings
// folder so that no test ever reads or writes the real user's settings.

#include <QCoreApplication>
#include <QTemporaryDir>

#include <gtest/gtest.h>

int main(int argc, char* argv[]) {
    QTemporaryDir configHome;
    if (!configHome.isValid()) {
        return 2;
    }
    // Before anything reads the settings: QSettings takes the folder once per process.
    qputenv("XDG_CONFIG_HOME", configHome.path().toLocal8Bit());
    QCoreApplication application(argc, argv);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
