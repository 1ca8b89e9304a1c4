// A project's own settings: where the crawl starts, the site's credentials,
// how many threads fetch at once, where the files go and the crawl rules.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "base/url.h"
#include "engine/crawl_rules.h"
#include "engine/url_patterns.h"

class CStream;

class CProjectSettings {
public:
    static constexpr std::uint32_t kMaxThreadCount = 16;
    static constexpr std::uint32_t kMaxReservedValue = 100;

    CProjectSettings() = default;
    // One record per document: the crawl reads it in place, never a copy.
    CProjectSettings(const CProjectSettings&) = delete;
    CProjectSettings& operator=(const CProjectSettings&) = delete;
    CProjectSettings(CProjectSettings&&) = default;
    CProjectSettings& operator=(CProjectSettings&&) = default;

    const CUrl& GetStartUrl() const { return m_startUrl; }
    void SetStartUrl(const CUrl& url) { m_startUrl = url; }

    std::int32_t GetThreadCount() const { return m_threadCount; }
    void SetThreadCount(std::int32_t count) { m_threadCount = count; }

    const std::string& GetUser() const { return m_user; }
    const std::string& GetPassword() const { return m_password; }
    void SetCredentials(std::string user, std::string password);

    CCrawlRules& GetRules() { return m_rules; }
    const CCrawlRules& GetRules() const { return m_rules; }

    CUrlPatterns& GetUrlPatterns() { return m_urlPatterns; }
    const CUrlPatterns& GetUrlPatterns() const { return m_urlPatterns; }

    // A cookies.txt file whose cookies every crawl starts with; empty for none.
    const std::string& GetCookiesFile() const { return m_cookiesFile; }
    void SetCookiesFile(std::string path) { m_cookiesFile = std::move(path); }

    // Request headers for the starting server only, as name and value.
    using Header = std::pair<std::string, std::string>;
    const std::vector<Header>& GetHeaders() const { return m_headers; }
    // False, changing nothing, when a name is no header name or a value
    // holds a line break.
    bool SetHeaders(std::vector<Header> headers);
    // "Name: value" as the user writes it; false for anything else.
    static bool ParseHeaderLine(std::string_view line, Header& header);
    static bool IsValidHeader(const Header& header);

    // The download folder is absolute and found again each time the project
    // file is opened; the stored folder is the same folder relative to the
    // project file's folder, and only it is written to the project file.
    std::string GetDownloadFolder() const { return m_downloadFolder; }
    std::string GetStoredFolder() const { return m_storedFolder; }
    void SetFolders(std::string downloadFolder, std::string storedFolder);

    // starting URL, user, password, stored folder, reserved value, thread
    // count, then the rules; then, only when one of them is set, the tag
    // "REQUEST_RULES", the URL patterns, the cookies file and the headers
    // (count, then name and value of each), so that a project without them
    // is written as before. Load throws ERR_STREAM_DATA, changing nothing,
    // when the record cannot be read, the starting URL is empty, the reserved
    // value exceeds 100, the thread count is not 1 to 16, or a pattern or
    // header is damaged.
    void Store(CStream& stream) const;
    void Load(CStream& stream);

private:
    bool HasRequestRules() const;
    void LoadRequestRules(CStream& stream);

    CUrl m_startUrl;
    std::string m_user;
    std::string m_password;
    std::string m_downloadFolder;
    std::string m_storedFolder;
    // Written as 0 and only range-checked when read back.
    std::int32_t m_reserved = 0;
    std::int32_t m_threadCount = 0;
    CCrawlRules m_rules;
    CUrlPatterns m_urlPatterns;
    std::string m_cookiesFile;
    std::vector<Header> m_headers;
};
