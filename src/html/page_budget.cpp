#include "html/page_budget.h"

#include <sys/resource.h>
#include <unistd.h>

#include <cstdio>
#include <new>
#include <optional>

namespace {

// The process's mapped address space, 0 when it cannot be read.
std::size_t AddressSpaceInUse() {
    std::FILE* statm = std::fopen("/proc/self/statm", "r");
    if (statm == nullptr) {
        return 0;
    }
    unsigned long pages = 0;
    const int read = std::fscanf(statm, "%lu", &pages);
    std::fclose(statm);
    return read == 1 ? pages * static_cast<std::size_t>(::sysconf(_SC_PAGESIZE)) : 0;
}

// The process's address-space limit, none when it runs without one.
std::optional<std::size_t> ReadAddressSpaceLimit() {
    rlimit limit{};
    if (::getrlimit(RLIMIT_AS, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY) {
        return std::nullopt;
    }
    return static_cast<std::size_t>(limit.rlim_cur);
}

}  // namespace

CPageBudget::CPageBudget(std::size_t bytes)
    : m_limit(bytes), m_addressSpaceLimit(ReadAddressSpaceLimit()) {}

CPageBudget::CShare::CShare(CPageBudget& budget, std::size_t pageBytes)
    : m_budget(budget), m_bytes(pageBytes) {
    m_budget.ThrowIfTreeCannotFit(m_bytes);
    m_budget.Acquire(m_bytes);
}

CPageBudget::CShare::~CShare() {
    m_budget.Release(m_bytes);
}

// libxml2 that meets a failed allocation half-way through a parse can loop
// for ever instead of returning, so under an address-space limit a page is
// refused before its parse when its tree could not fit in what is left.
void CPageBudget::ThrowIfTreeCannotFit(std::size_t pageBytes) const {
    if (!m_addressSpaceLimit) {
        return;
    }
    const std::size_t limit = *m_addressSpaceLimit;
    const std::size_t used = AddressSpaceInUse();
    if (used >= limit || pageBytes > (limit - used) / kTreeBytesPerPageByte) {
        throw std::bad_alloc();
    }
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
