// What the download list knows about one URL: where it was found, and what
// became of it.
#pragma once

#include <cstdint>
#include <string>

#include "base/errors.h"
#include "engine/link_item.h"

// How a saved page was written. A project file does not keep it, so it holds
// for the run that saved the page only.
enum class PageWriting : std::uint8_t {
    Unknown,  // as it came, or in an earlier run
    // In its own markup, only link values changed: in UTF-8, or with ASCII
    // in every value that changed.
    OwnMarkupUtf8,
    OwnMarkupAscii,
};

// An entry keeps its URL as the source text only: a crawl lists hundreds of
// thousands of URLs, and the parsed form is cheap to rebuild when a caller
// needs it. The list alone changes an entry.
class CDownloadEntry {
public:
    CDownloadEntry(std::string urlText, std::int32_t level, bool internal)
        : m_urlText(std::move(urlText)), m_level(level), m_internal(internal) {}

    // The list's key: the text the URL was parsed from.
    const std::string& GetUrlText() const { return m_urlText; }
    // Re-parsed from the source text, which parsed when it was added.
    CUrl GetUrl() const;
    CLinkItem GetItem() const;
    std::int32_t GetLevel() const { return m_level; }
    bool IsInternal() const { return m_internal; }

    // Seconds since 1970 announced by the server when the URL was last
    // saved (low 32 bits); -1 when it announced none.
    std::int32_t GetModificationTime() const { return m_modificationTime; }
    ResultCode GetResultCode() const { return m_resultCode; }
    std::int32_t GetBytesReceived() const { return m_bytesReceived; }
    // How many times the URL was found.
    std::int32_t GetRefCount() const { return m_refCount; }
    bool IsRewritten() const { return m_rewritten; }
    PageWriting GetPageWriting() const { return m_pageWriting; }
    // Empty until the URL has been saved.
    const std::string& GetStoredPath() const { return m_storedPath; }
    bool HasStoredPath() const { return !m_storedPath.empty(); }

private:
    friend class CDownloadList;

    std::string m_urlText;
    std::string m_storedPath;
    std::int32_t m_level;
    std::int32_t m_modificationTime = -1;
    ResultCode m_resultCode = ERR_SUCCESS;
    std::int32_t m_bytesReceived = 0;
    std::int32_t m_refCount = 1;
    bool m_internal;
    bool m_rewritten = false;
    PageWriting m_pageWriting = PageWriting::Unknown;
    // Not kept in a project file either: a resumed run starts each chain of
    // resources anew, which still bounds it.
    std::uint8_t m_requisiteDepth = 0;
};
