// The project's rules that decide which links are followed and which
// responses are saved: level limits, the domain or directory scope and the
// file filters.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>
#include <unordered_map>

#include "engine/filter_list.h"

class CStream;
class CUrl;
struct CResponseInfo;

// Why the last check failed.
enum RejectReason : std::int32_t {
    RejectNone = 0,
    RejectSize = 1,
    RejectExtension = 2,
    RejectScope = 4,
    RejectLevel = 8,
};

class CCrawlRules {
public:
    // Limits -1 and -1, no domain or directory, the six default filter
    // groups (disabled): every file is downloaded.
    CCrawlRules();
    CCrawlRules(const CCrawlRules& other);
    CCrawlRules& operator=(const CCrawlRules& other);

    // internalLevels -1 follows internal links at every level.
    void SetLevels(std::int32_t internalLevels, std::int32_t externalLevels);
    std::int32_t GetInternalLevels() const { return m_internalLevels; }
    std::int32_t GetExternalLevels() const { return m_externalLevels; }
    bool HasLevelLimit() const { return m_internalLevels >= 0; }

    // The directory is the starting URL's decoded path in directory mode,
    // empty in domain mode.
    void SetScope(std::string domain, std::string directory = {});
    const std::string& GetDomain() const { return m_domain; }
    const std::string& GetDirectory() const { return m_directory; }
    bool IsDirectoryMode() const { return !m_directory.empty(); }

    void SetFilters(const CFilterList& filters);
    void CopyFiltersTo(CFilterList& filters) const { filters = m_filters; }
    // False is the "Download all files" state.
    bool AnyFilterEnabled() const { return m_filters.AnyEnabled(); }
    // An enabled filter tests sizes, so a response's length can refuse it.
    bool AnySizeLimitEnabled() const;

    // Each check first clears the last reject reason and records a new one
    // when it fails. The crawl's threads call them concurrently, so the
    // reason is kept atomically; it is stored data that no decision reads.
    bool CheckLevel(std::int32_t level, bool internal);
    bool CheckScope(const CUrl& url);
    bool CheckFilter(const CResponseInfo& response);
    // An anchor link at the level that link extraction gives it. On the
    // domain's host: the scope and level tests. On another host the external
    // levels count the pages away from the site: 0 admits none, 1 the pages
    // that the site links to, 2 also the pages those link to on their hosts.
    bool CheckAnchor(const CUrl& url, std::int32_t level, bool internal);
    std::int32_t GetLastReject() const { return m_lastReject.load(std::memory_order_relaxed); }

    // internal levels, external levels, domain, directory, the filter list,
    // the last reject reason. Load rebuilds the extension index and changes
    // nothing when the record cannot be read.
    void Store(CStream& stream) const;
    void Load(CStream& stream);

private:
    void RebuildIndex();
    bool Reject(RejectReason reason);

    std::int32_t m_internalLevels = -1;
    std::int32_t m_externalLevels = -1;
    std::string m_domain;
    std::string m_directory;
    CFilterList m_filters;
    // Extension (with its dot, case kept) to the position of the enabled
    // filter that judges it; a later filter wins over an earlier one.
    std::unordered_map<std::string, std::size_t> m_extensionIndex;
    std::atomic<std::int32_t> m_lastReject{RejectNone};
};
