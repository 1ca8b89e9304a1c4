#include "engine/crawl_rules.h"

#include <limits>
#include <string_view>

#include "base/ascii.h"
#include "base/stream.h"
#include "base/url.h"
#include "protocol/response_info.h"

namespace {

constexpr std::size_t kIndexBuckets = 257;

// The folder part of a path: up to and including its last separator, with
// "\" read as a separator too. Empty when there is no separator.
std::string FolderOf(std::string_view path) {
    const std::size_t last = path.find_last_of("/\\");
    if (last == std::string_view::npos) {
        return {};
    }
    std::string folder(path.substr(0, last + 1));
    for (char& c : folder) {
        c = c == '\\' ? '/' : c;
    }
    return folder;
}

}  // namespace

CCrawlRules::CCrawlRules() : m_filters(CFilterList::DefaultGroups()) {
    RebuildIndex();
}

CCrawlRules::CCrawlRules(const CCrawlRules& other)
    : m_internalLevels(other.m_internalLevels),
      m_externalLevels(other.m_externalLevels),
      m_domain(other.m_domain),
      m_directory(other.m_directory),
      m_filters(other.m_filters),
      m_extensionIndex(other.m_extensionIndex),
      m_lastReject(other.GetLastReject()) {}

CCrawlRules& CCrawlRules::operator=(const CCrawlRules& other) {
    m_internalLevels = other.m_internalLevels;
    m_externalLevels = other.m_externalLevels;
    m_domain = other.m_domain;
    m_directory = other.m_directory;
    m_filters = other.m_filters;
    m_extensionIndex = other.m_extensionIndex;
    m_lastReject.store(other.GetLastReject(), std::memory_order_relaxed);
    return *this;
}

void CCrawlRules::SetLevels(std::int32_t internalLevels, std::int32_t externalLevels) {
    m_internalLevels = internalLevels;
    m_externalLevels = externalLevels;
}

void CCrawlRules::SetScope(std::string domain, std::string directory) {
    m_domain = std::move(domain);
    m_directory = std::move(directory);
}

void CCrawlRules::SetFilters(const CFilterList& filters) {
    m_filters = filters;
    RebuildIndex();
}

bool CCrawlRules::CheckLevel(std::int32_t level, bool internal) {
    m_lastReject.store(RejectNone, std::memory_order_relaxed);
    const bool passes =
        internal ? m_internalLevels < 0 || level <= m_internalLevels : level <= m_externalLevels;
    return passes || Reject(RejectLevel);
}

bool CCrawlRules::CheckScope(const CUrl& url) {
    m_lastReject.store(RejectNone, std::memory_order_relaxed);
    if (!EqualsIgnoreCase(url.GetHost(), m_domain)) {
        return Reject(RejectScope);
    }
    if (m_directory.empty()) {
        return true;
    }
    // An empty path is the root.
    const std::string path = url.GetPath();
    const std::string linkFolder = path.empty() ? std::string(1, '/') : FolderOf(path);
    const std::string ruleFolder = FolderOf(m_directory);
    const bool inside =
        linkFolder.size() >= ruleFolder.size() &&
        EqualsIgnoreCase(std::string_view(linkFolder).substr(0, ruleFolder.size()), ruleFolder);
    return inside || Reject(RejectScope);
}

bool CCrawlRules::CheckAnchor(const CUrl& url, std::int32_t level, bool internal) {
    if (EqualsIgnoreCase(url.GetHost(), m_domain)) {
        return CheckScope(url) && CheckLevel(level, internal);
    }
    // The chain that leaves the site starts at level 0 on the first page
    // outside it, so that page is already one step away.
    if (m_externalLevels < 1 || level == std::numeric_limits<std::int32_t>::max()) {
        return Reject(RejectLevel);
    }
    return CheckLevel(level + 1, false);
}

bool CCrawlRules::AnySizeLimitEnabled() const {
    for (std::size_t i = 0; i < m_filters.GetCount(); ++i) {
        const CFileFilter& filter = m_filters.GetAt(i);
        if (filter.IsEnabled() && filter.HasSizeLimits()) {
            return true;
        }
    }
    return false;
}

bool CCrawlRules::CheckFilter(const CResponseInfo& response) {
    m_lastReject.store(RejectNone, std::memory_order_relaxed);
    const std::string extension = response.url.GetFileExtension();
    if (extension.empty() || m_extensionIndex.empty()) {
        return true;
    }
    const auto found = m_extensionIndex.find(extension);
    if (found == m_extensionIndex.end()) {
        return Reject(RejectExtension);
    }
    const CFileFilter& filter = m_filters.GetAt(found->second);
    if (filter.HasSizeLimits() && response.contentLengthKnown &&
        !filter.AcceptsSize(response.contentLength)) {
        return Reject(RejectSize);
    }
    return true;
}

void CCrawlRules::Store(CStream& stream) const {
    stream << m_internalLevels << m_externalLevels << m_domain << m_directory;
    m_filters.Store(stream);
    stream << GetLastReject();
}

void CCrawlRules::Load(CStream& stream) {
    CCrawlRules loaded;
    std::int32_t lastReject = RejectNone;
    stream >> loaded.m_internalLevels >> loaded.m_externalLevels >> loaded.m_domain >>
        loaded.m_directory;
    loaded.m_filters.Load(stream);
    stream >> lastReject;
    loaded.m_lastReject.store(lastReject, std::memory_order_relaxed);
    loaded.RebuildIndex();
    *this = loaded;
}

void CCrawlRules::RebuildIndex() {
    m_extensionIndex.clear();
    m_extensionIndex.rehash(kIndexBuckets);
    for (std::size_t i = 0; i < m_filters.GetCount(); ++i) {
        const CFileFilter& filter = m_filters.GetAt(i);
        if (!filter.IsEnabled()) {
            continue;
        }
        for (const std::string& extension : filter.GetExtensions()) {
            m_extensionIndex[extension] = i;
        }
    }
}

bool CCrawlRules::Reject(RejectReason reason) {
    m_lastReject.store(reason, std::memory_order_relaxed);
    return false;
}
