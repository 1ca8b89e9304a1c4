// The memory of a project and its crawl queue: every URL the crawl decided
// to fetch, in the order it was first found, with what became of it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <string>
#include <string_view>
#include <unordered_map>

#include "engine/download_entry.h"
#include "engine/link_item.h"

class CStream;

// Told of every change that the crawl or the rewriting pass makes to a list,
// in the order made, so that the changes can be kept as they happen and
// made again over an older copy of the list.
class CListChanges {
public:
    virtual ~CListChanges() = default;
    virtual void OnAdded(const CDownloadEntry& entry) = 0;
    // A listed URL was found again.
    virtual void OnReferenced(std::size_t index) = 0;
    virtual void OnHandedOut() = 0;
    virtual void OnRewound() = 0;
    virtual void OnCleared() = 0;
    virtual void OnRewritten(const std::string& urlText, bool rewritten) = 0;
};

// The list has no lock of its own: its owner serialises every call.
class CDownloadList {
public:
    // The four numbers of the project summary.
    struct Stats {
        std::size_t queued = 0;     // entries
        std::size_t requested = 0;  // entries before the cursor
        std::size_t written = 0;    // entries with a stored path
        std::int64_t bytes = 0;     // bytes received over all entries
    };

    CDownloadList() = default;
    // The index refers into the entries, so a list is never copied.
    CDownloadList(const CDownloadList&) = delete;
    CDownloadList& operator=(const CDownloadList&) = delete;

    // Keyed by the URL's source text, compared bytewise: http://H/a and
    // http://h/a are one entry, http://h/A another. A new URL is appended (and becomes the
    // next one handed out when the cursor was at end); a listed one only
    // counts another reference. False for an item without a URL.
    bool Add(const CLinkItem& item);
    // The same for a URL given by its source text, which must parse.
    bool Add(std::string_view urlText, std::int32_t level, bool internal,
             std::uint8_t requisiteDepth = 0);
    // Hands out the entry under the cursor and advances it; false at end.
    bool Next(CLinkItem& item);
    void Rewind();
    void Clear();
    // Counts another reference to the entry at index; false past the end.
    bool AddReference(std::size_t index);
    // Null for none; the observer outlives the list or is taken away first.
    void SetChanges(CListChanges* changes) { m_changes = changes; }

    std::size_t GetCount() const { return m_entries.size(); }
    // Null past the end. For a reader that walks the list a part at a time
    // and must not share the view cursor.
    const CDownloadEntry* GetEntry(std::size_t index) const {
        return index < m_entries.size() ? &m_entries[index] : nullptr;
    }
    const CDownloadEntry* Find(const CUrl& url) const;

    // -1 (none) for a URL that is not listed.
    std::int32_t GetKnownModTime(const CUrl& url) const;
    // Each returns false, changing nothing, when the URL is not listed.
    bool MarkDone(const CUrl& url, std::string storedPath, std::int32_t modificationTime,
                  std::int32_t bytesReceived, PageWriting pageWriting = PageWriting::Unknown);
    bool MarkError(const CUrl& url, ResultCode code);
    // The file at storedPath was removed: an entry that recorded it is no
    // longer saved, and its next download is not taken for unchanged.
    bool ForgetFile(const CUrl& url, const std::string& storedPath);
    bool SetRewritten(const CUrl& url, bool rewritten);
    // Empty when the URL is not listed or not saved.
    std::string GetStoredPath(const CUrl& url) const;

    Stats GetStats() const;

    // The views and the rewriting pass walk the list with a cursor of their
    // own, so that they never disturb the crawl's cursor.
    void RewindView() { m_viewCursor = 0; }
    // The entry under the view cursor, which then advances; null at end.
    const CDownloadEntry* NextViewEntry();
    // Visits every entry in list order without moving a cursor.
    template <typename Visit>
    void ForEachEntry(Visit visit) const {
        for (const CDownloadEntry& entry : m_entries) {
            visit(entry);
        }
    }
    // Entries saved but not rewritten yet.
    std::size_t CountToRewrite() const;
    // The next saved entry not rewritten yet, skipping the others; null at end.
    const CDownloadEntry* NextToRewrite();

    // int count; per entry: URL text, level, internal, stored path,
    // modification time, result code, bytes received, reference count,
    // rewritten; then the cursor's index (the count when at end). A failed
    // Load (ERR_STREAM_DATA) leaves the list as it was. Records that spell one
    // URL apart load as one entry.
    void Store(CStream& stream) const;
    void Load(CStream& stream);

private:
    CDownloadEntry* FindEntry(std::string_view key);
    const CDownloadEntry* FindEntry(std::string_view key) const;
    CDownloadEntry& Append(CDownloadEntry entry);
    bool LoadEntry(CStream& stream);
    void FoldRecord(CDownloadEntry& listed, CDownloadEntry record);
    // Keep the summary's sums, so that asking for them costs nothing however
    // long the list: before an entry's saved file or bytes change, and after.
    void Uncount(const CDownloadEntry& entry);
    void Count(const CDownloadEntry& entry);
    void Swap(CDownloadList& other) noexcept;

    // A deque never moves its elements when it grows, so the index can
    // refer to the entries' own text instead of holding a second copy.
    std::deque<CDownloadEntry> m_entries;
    std::unordered_map<std::string_view, std::size_t> m_index;
    std::size_t m_cursor = 0;  // == m_entries.size() when at end
    std::size_t m_viewCursor = 0;
    std::size_t m_written = 0;
    std::int64_t m_bytes = 0;
    CListChanges* m_changes = nullptr;
};
