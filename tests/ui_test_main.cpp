// Runs every registered test class of the desktop program, or only the one
// named first ("tarnwick_ui_tests CFileViewTest [QTest arguments]"); the exit
// status counts the failed functions of all of them.
#include <QApplication>
#include <QtTest>
#include <cstring>
#include <vector>

#include "support/ui_test_registry.h"

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    std::vector<char*> arguments(argv, argv + argc);
    const char* only = nullptr;
    if (arguments.size() > 1 && arguments[1][0] != '-') {
        only = arguments[1];
        arguments.erase(arguments.begin() + 1);
    }
    int failures = 0;
    for (const testing_support::UiTestFactory& make : testing_support::UiTests()) {
        const std::unique_ptr<QObject> test = make();
        if (only == nullptr || std::strcmp(test->metaObject()->className(), only) == 0) {
            failures +=
                QTest::qExec(test.get(), static_cast<int>(arguments.size()), arguments.data());
        }
    }
    return failures;
}
