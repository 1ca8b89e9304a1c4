// Bounds the pages that the workers parse at once by their total size. A
// page's tree takes 15 to 30 times the page, so eight workers that each hit
// a big page at the same moment would hold eight such trees; under the
// budget small pages are still parsed side by side.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <mutex>
#include <optional>

class CPageBudget {
public:
    // The pages of one crawl share this many bytes.
    static constexpr std::size_t kCrawlBytes = 2 * 1024 * 1024;

    // What a page's tree may take at most, per byte of the page.
    static constexpr std::size_t kTreeBytesPerPageByte = 32;

    // Holds a page's share of the budget while it lives. Throws
    // std::bad_alloc when the process runs under an address-space limit and
    // the page's tree could not fit in what is left of it.
    class CShare {
    public:
        CShare(CPageBudget& budget, std::size_t pageBytes);
        ~CShare();
        CShare(const CShare&) = delete;
        CShare& operator=(const CShare&) = delete;

    private:
        CPageBudget& m_budget;
        std::size_t m_bytes;
    };

    // Takes the process's address-space limit as it is now: a limit set
    // later is not seen, which spares a system call per page.
    explicit CPageBudget(std::size_t bytes);

private:
    // Throws std::bad_alloc when the page's tree could not fit in what the
    // address-space limit leaves.
    void ThrowIfTreeCannotFit(std::size_t pageBytes) const;
    // Waits until the page fits beside the pages being parsed; a page
    // bigger than the whole budget waits until no other page is parsed.
    void Acquire(std::size_t pageBytes);
    void Release(std::size_t pageBytes);

    std::mutex m_lock;
    std::condition_variable m_released;
    const std::size_t m_limit;
    const std::optional<std::size_t> m_addressSpaceLimit;
    std::size_t m_inUse = 0;
};

// The budget that the download workers share.
CPageBudget& GetCrawlPageBudget();
