#pragma once

// The entry point every widget test program shares: VISTREL_WIDGET_TEST_MAIN(TestClass) at the
// end of its file, before the .moc include.

#include <QObject>

#include <functional>
#include <memory>

namespace vistrel::test {

/// Runs the tests of the object `makeTests` gives, headless, in a private home (PrivateHome):
/// the application at 96 dots per inch, with Qt's own choosers, which a test can answer
/// whatever desktop the machine has. Returns the exit status of the program; 2 when the private
/// home cannot be made.
int RunWidgetTests(int argc, char* argv[],
                   const std::function<std::unique_ptr<QObject>()>& makeTests);

}  // namespace vistrel::test

#define VISTREL_WIDGET_TEST_MAIN(TestClass)                                                 \
    int main(int argc, char* argv[]) {                                                      \
        return vistrel::test::RunWidgetTests(argc, argv,                                    \
                                             [] { return std::make_unique<TestClass>(); }); \
    }
