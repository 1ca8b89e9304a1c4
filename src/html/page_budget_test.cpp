#include "html/page_budget.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <fstream>
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

// Lowers the address-space limit to what the process maps now plus spare
// bytes, and restores it after.
class AddressSpaceLimit {
public:
    explicit AddressSpaceLimit(std::size_t spare) {
        ::getrlimit(RLIMIT_AS, &m_old);
        std::size_t pages = 0;
        std::ifstream("/proc/self/statm") >> pages;
        rlimit lowered = m_old;
        lowered.rlim_cur = pages * static_cast<std::size_t>(::sysconf(_SC_PAGESIZE)) + spare;
        ::setrlimit(RLIMIT_AS, &lowered);
    }
    ~AddressSpaceLimit() { ::setrlimit(RLIMIT_AS, &m_old); }
    AddressSpaceLimit(const AddressSpaceLimit&) = delete;
    AddressSpaceLimit& operator=(const AddressSpaceLimit&) = delete;

private:
    rlimit m_old{};
};

TEST(PageBudgetTest, APageWhoseTreeCannotFitUnderTheLimitIsRefusedBeforeItsParse) {
    const AddressSpaceLimit limit(256 * 1024 * 1024);
    CPageBudget budget(CPageBudget::kCrawlBytes);
    EXPECT_THROW(CPageBudget::CShare(budget, 16 * 1024 * 1024), std::bad_alloc);
    EXPECT_NO_THROW(CPageBudget::CShare(budget, 1024 * 1024));
}

}  // namespace
