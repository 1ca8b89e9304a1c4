// The desktop program's QTest classes register themselves here, so that one
// runner executes every class of every test file.
#pragma once

#include <QObject>
#include <functional>
#include <memory>
#include <vector>

namespace testing_support {

using UiTestFactory = std::function<std::unique_ptr<QObject>()>;

inline std::vector<UiTestFactory>& UiTests() {
    static std::vector<UiTestFactory> tests;
    return tests;
}

template <class Test>
bool RegisterUiTest() {
    UiTests().push_back([] { return std::make_unique<Test>(); });
    return true;
}

}  // namespace testing_support

#define TARNWICK_UI_TEST(Test) \
    [[maybe_unused]] static const bool Test##Registered = testing_support::RegisterUiTest<Test>()
