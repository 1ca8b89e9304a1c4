#include "html/page_budget.h"

CPageBudget::CShare::CShare(CPageBudget& budget, std::size_t pageBytes)
    : m_budget(budget), m_bytes(pageBytes) {
    m_budget.Acquire(m_bytes);
}

CPageBudget::CShare::~CShare() {
    m_budget.Release(m_bytes);
}

void CPageBudget::Acquire(std::size_t pageBytes) {
    std::unique_lock lock(m_lock);
    m_released.wait(lock, [&] { return m_inUse == 0 || m_inUse + pageBytes <= m_limit; });
    m_inUse += pageBytes;
}

void CPageBudget::Release(std::size_t pageBytes) {
    {
        std::scoped_lock lock(m_lock);
        m_inUse -= pageBytes;
    }
    m_released.notify_all();
}

CPageBudget& GetCrawlPageBudget() {
    static CPageBudget budget(CPageBudget::kCrawlBytes);
    return budget;
}
