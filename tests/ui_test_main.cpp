// Runs every registered test class of the desktop program; the exit status
// counts the failed functions of all of them.
#include <QApplication>
#include <QtTest>

#include "support/ui_test_registry.h"

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    int failures = 0;
    for (const testing_support::UiTestFactory& make : testing_support::UiTests()) {
        const std::unique_ptr<QObject> test = make();
        failures += QTest::qExec(test.get(), argc, argv);
    }
    return failures;
}
