#include "html/page_budget.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <initializer_list>
#include <memory>
#include <thread>
#include <vector>

namespace {

// Whether a page of pageBytes gets its share while those of held are taken:
// a page that does not fit must wait for them, one that fits must not.
bool WaitsBeside(std::initializer_list<std::size_t> held, std::size_t pageBytes) {
    CPageBudget budget(100);
    std::atomic<bool> parsed{false};
    std::thread page;
    {
        std::vector<std::unique_ptr<CPageBudget::CShare>> shares;
        for (const std::size_t bytes : held) {
            shares.push_back(std::make_unique<CPageBudget::CShare>(budget, bytes));
        }
        page = std::thread([&] {
            const CPageBudget::CShare share(budget, pageBytes);
            parsed = true;
        });
        // Not a time limit: a page that must wait is still waiting after
        // any pause; one that fits gets through before the pause ends.
        for (int i = 0; i < 100 && !parsed; ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        if (parsed) {
            page.join();
            return false;
        }
    }
    page.join();
    return parsed;
}

TEST(PageBudgetTest, PagesShareTheBudgetAndABigOneWaitsForTheRest) {
    const struct {
        std::initializer_list<std::size_t> held;
        std::size_t page;
        bool waits;
    } cases[] = {
        {{}, 500, false},       // bigger than the budget, but alone
        {{40, 30}, 30, false},  // fits exactly
        {{40, 30}, 31, true},
        {{10}, 500, true},  // bigger than the budget waits until it is alone
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.page);
        EXPECT_EQ(WaitsBeside(c.held, c.page), c.waits);
    }
}

}  // namespace
