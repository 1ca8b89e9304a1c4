#include "engine/download_list.h"

#include <algorithm>
#include <limits>
#include <utility>
#include <vector>

#include "base/stream.h"

bool CDownloadList::Add(const CLinkItem& item) {
    return Add(item.GetUrl().GetSourceText(), item.GetLevel(), item.IsInternal(),
               item.GetRequisiteDepth());
}

bool CDownloadList::Add(std::string_view urlText, std::int32_t level, bool internal,
                        std::uint8_t requisiteDepth) {
    if (urlText.empty()) {
        return false;
    }
    const auto found = m_index.find(urlText);
    if (found != m_index.end()) {
        return AddReference(found->second);
    }
    CDownloadEntry& added = Append(CDownloadEntry(std::string(urlText), level, internal));
    added.m_requisiteDepth = requisiteDepth;
    if (m_changes != nullptr) {
        m_changes->OnAdded(added);
    }
    return true;
}

bool CDownloadList::AddReference(std::size_t index) {
    if (index >= m_entries.size()) {
        return false;
    }
    CDownloadEntry& entry = m_entries[index];
    if (entry.m_refCount < std::numeric_limits<std::int32_t>::max()) {
        ++entry.m_refCount;
    }
    if (m_changes != nullptr) {
        m_changes->OnReferenced(index);
    }
    return true;
}

bool CDownloadList::Next(CLinkItem& item) {
    if (m_cursor >= m_entries.size()) {
        return false;
    }
    item = m_entries[m_cursor++].GetItem();
    if (m_changes != nullptr) {
        m_changes->OnHandedOut();
    }
    return true;
}

void CDownloadList::Rewind() {
    m_cursor = 0;
    if (m_changes != nullptr) {
        m_changes->OnRewound();
    }
}

void CDownloadList::Clear() {
    m_index.clear();
    m_entries.clear();
    m_cursor = 0;
    m_viewCursor = 0;
    m_written = 0;
    m_bytes = 0;
    if (m_changes != nullptr) {
        m_changes->OnCleared();
    }
}

const CDownloadEntry* CDownloadList::Find(const CUrl& url) const {
    return FindEntry(url.GetSourceText());
}

std::int32_t CDownloadList::GetKnownModTime(const CUrl& url) const {
    const CDownloadEntry* entry = Find(url);
    return entry != nullptr ? entry->m_modificationTime : -1;
}

bool CDownloadList::MarkDone(const CUrl& url, std::string storedPath, std::int32_t modificationTime,
                             std::int32_t bytesReceived, PageWriting pageWriting) {
    CDownloadEntry* entry = FindEntry(url.GetSourceText());
    if (entry == nullptr) {
        return false;
    }
    Uncount(*entry);
    entry->m_storedPath = std::move(storedPath);
    entry->m_modificationTime = modificationTime;
    entry->m_bytesReceived = bytesReceived;
    entry->m_resultCode = ERR_SUCCESS;
    entry->m_rewritten = false;
    entry->m_pageWriting = pageWriting;
    Count(*entry);
    return true;
}

bool CDownloadList::MarkError(const CUrl& url, ResultCode code) {
    CDownloadEntry* entry = FindEntry(url.GetSourceText());
    if (entry == nullptr) {
        return false;
    }
    entry->m_resultCode = code;
    return true;
}

bool CDownloadList::ForgetFile(const CUrl& url, const std::string& storedPath) {
    CDownloadEntry* entry = FindEntry(url.GetSourceText());
    if (entry == nullptr || storedPath.empty() || entry->m_storedPath != storedPath) {
        return false;
    }
    Uncount(*entry);
    entry->m_storedPath.clear();
    entry->m_modificationTime = -1;
    entry->m_bytesReceived = 0;
    return true;
}

bool CDownloadList::SetRewritten(const CUrl& url, bool rewritten) {
    CDownloadEntry* entry = FindEntry(url.GetSourceText());
    if (entry == nullptr) {
        return false;
    }
    entry->m_rewritten = rewritten;
    if (m_changes != nullptr) {
        m_changes->OnRewritten(entry->m_urlText, rewritten);
    }
    return true;
}

std::string CDownloadList::GetStoredPath(const CUrl& url) const {
    const CDownloadEntry* entry = Find(url);
    return entry != nullptr ? entry->m_storedPath : std::string();
}

CDownloadList::Stats CDownloadList::GetStats() const {
    Stats stats;
    stats.queued = m_entries.size();
    stats.requested = m_cursor;
    stats.written = m_written;
    stats.bytes = m_bytes;
    return stats;
}

const CDownloadEntry* CDownloadList::NextViewEntry() {
    if (m_viewCursor >= m_entries.size()) {
        return nullptr;
    }
    return &m_entries[m_viewCursor++];
}

std::size_t CDownloadList::CountToRewrite() const {
    std::size_t count = 0;
    for (const CDownloadEntry& entry : m_entries) {
        count += entry.HasStoredPath() && !entry.m_rewritten ? 1 : 0;
    }
    return count;
}

const CDownloadEntry* CDownloadList::NextToRewrite() {
    while (const CDownloadEntry* entry = NextViewEntry()) {
        if (entry->HasStoredPath() && !entry->m_rewritten) {
            return entry;
        }
    }
    return nullptr;
}

void CDownloadList::Store(CStream& stream) const {
    stream << static_cast<std::uint32_t>(m_entries.size());
    for (const CDownloadEntry& entry : m_entries) {
        stream << entry.m_urlText << entry.m_level << entry.m_internal << entry.m_storedPath
               << entry.m_modificationTime << entry.m_resultCode << entry.m_bytesReceived
               << entry.m_refCount << entry.m_rewritten;
    }
    stream << static_cast<std::uint32_t>(m_cursor);
}

void CDownloadList::Load(CStream& stream) {
    CDownloadList loaded;
    std::uint32_t count = 0;
    stream >> count;
    // Growing the index as it fills would hash every key again each time;
    // a damaged count cannot ask for more than the bytes left could hold.
    constexpr std::int64_t kSmallestRecord = 25;
    loaded.m_index.reserve(static_cast<std::size_t>(std::clamp<std::int64_t>(
        (stream.GetLength() - stream.GetPosition()) / kSmallestRecord, 0, count)));
    // Record numbers of the records folded into an earlier entry, ascending.
    std::vector<std::uint32_t> merged;
    for (std::uint32_t i = 0; i < count; ++i) {
        if (!loaded.LoadEntry(stream)) {
            merged.push_back(i);
        }
    }
    std::uint32_t cursor = 0;
    stream >> cursor;
    const auto mergedBeforeCursor = static_cast<std::size_t>(
        std::lower_bound(merged.begin(), merged.end(), cursor) - merged.begin());
    loaded.m_cursor = std::min<std::size_t>(cursor - mergedBeforeCursor, loaded.m_entries.size());
    Swap(loaded);
}

// Every URL must parse. Its text as stored is the source text that an
// earlier version kept verbatim, so two records may spell one URL apart (the
// case of the host, blanks around it): the later one is folded into the
// entry of the first, which it returns false for.
bool CDownloadList::LoadEntry(CStream& stream) {
    CUrl url;
    std::int32_t level = 0;
    bool internal = false;
    ReadUrl(stream, url);
    stream >> level >> internal;
    if (!url.HasUrl()) {
        ThrowStreamException(ERR_STREAM_DATA);
    }
    CDownloadEntry record(url.GetSourceText(), level, internal);
    stream >> record.m_storedPath >> record.m_modificationTime >> record.m_resultCode >>
        record.m_bytesReceived >> record.m_refCount >> record.m_rewritten;
    // No transfer counts below zero; such a count is damage, and summed up it
    // would show as an absurd total.
    if (record.m_bytesReceived < 0) {
        ThrowStreamException(ERR_STREAM_DATA);
    }
    CDownloadEntry* listed = FindEntry(record.m_urlText);
    if (listed == nullptr) {
        Append(std::move(record));
        return true;
    }
    FoldRecord(*listed, std::move(record));
    return false;
}

// The entry keeps its place in the list; a saved file wins over none, so
// that the mirror's files stay known.
void CDownloadList::FoldRecord(CDownloadEntry& listed, CDownloadEntry record) {
    // A damaged file may hold any count.
    listed.m_refCount = static_cast<std::int32_t>(std::clamp<std::int64_t>(
        std::int64_t{listed.m_refCount} + record.m_refCount,
        std::numeric_limits<std::int32_t>::min(), std::numeric_limits<std::int32_t>::max()));
    if (!listed.HasStoredPath() && record.HasStoredPath()) {
        Uncount(listed);
        listed.m_storedPath = std::move(record.m_storedPath);
        listed.m_modificationTime = record.m_modificationTime;
        listed.m_resultCode = record.m_resultCode;
        listed.m_bytesReceived = record.m_bytesReceived;
        listed.m_rewritten = record.m_rewritten;
        Count(listed);
    }
}

void CDownloadList::Uncount(const CDownloadEntry& entry) {
    m_written -= entry.HasStoredPath() ? 1 : 0;
    m_bytes -= entry.m_bytesReceived;
}

void CDownloadList::Count(const CDownloadEntry& entry) {
    m_written += entry.HasStoredPath() ? 1 : 0;
    m_bytes += entry.m_bytesReceived;
}

CDownloadEntry* CDownloadList::FindEntry(std::string_view key) {
    const auto found = m_index.find(key);
    return found != m_index.end() ? &m_entries[found->second] : nullptr;
}

const CDownloadEntry* CDownloadList::FindEntry(std::string_view key) const {
    const auto found = m_index.find(key);
    return found != m_index.end() ? &m_entries[found->second] : nullptr;
}

CDownloadEntry& CDownloadList::Append(CDownloadEntry entry) {
    CDownloadEntry& added = m_entries.emplace_back(std::move(entry));
    try {
        m_index.emplace(added.m_urlText, m_entries.size() - 1);
    } catch (...) {
        m_entries.pop_back();
        throw;
    }
    Count(added);
    return added;
}

void CDownloadList::Swap(CDownloadList& other) noexcept {
    m_entries.swap(other.m_entries);
    m_index.swap(other.m_index);
    std::swap(m_cursor, other.m_cursor);
    std::swap(m_viewCursor, other.m_viewCursor);
    std::swap(m_written, other.m_written);
    std::swap(m_bytes, other.m_bytes);
}
