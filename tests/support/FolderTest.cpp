#include "FolderTest.h"

#include <QTest>

namespace vistrel::test {

void FolderTest::init() {
    folder.emplace();
    QVERIFY(folder->isValid());
}

void FolderTest::cleanup() {
    folder.reset();
}

}  // namespace vistrel::test
