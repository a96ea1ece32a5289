#pragma once

// The base of a widget test whose test functions each write their own files.

#include <QObject>
#include <QTemporaryDir>

#include <optional>

namespace vistrel::test {

/// Gives every test function of the class a fresh temporary folder, `folder`, removed with all it
/// holds when the function ends. A test class derives from it instead of QObject.
class FolderTest : public QObject {
    Q_OBJECT

protected:
    std::optional<QTemporaryDir> folder;

private slots:
    void init();
    void cleanup();
};

}  // namespace vistrel::test
