// The settings that apply to all projects: time-outs, attempts, the proxy and
// the identity sent to servers. They live in the "Settings" section of the
// settings store, are read once at start-up and written once at exit.
#pragma once

#include <cstdint>
#include <string>
#include <utility>

class CRegistryKey;

class CProgramOptions {
public:
    static constexpr int kUserAgentCount = 6;
    // The longest transfer limit, in seconds: one day.
    static constexpr int kMaxTransferLimit = 86400;
    // The longest wait between two requests to one host: an hour.
    static constexpr std::uint32_t kMaxWaitMs = 3600000;
    // The token by which robots.txt files name this crawler, whatever
    // identity it sends.
    static constexpr const char* kRobotsProductToken = "Tarnwick";

    CProgramOptions() { ResetToDefaults(); }

    void ResetToDefaults();
    // Any missing, mistyped or out-of-range value of the fixed eight resets
    // every setting to its default. "Verify Certificates", "Head Requests",
    // "Page Requisites", "Transfer Limit", "Robots", "Wait", "Random Wait",
    // "Limit Rate" and "User Agent Text" are read after them, each on its
    // own, so that a store written without them keeps the other values.
    void Load();
    // Write failures are ignored: there is nobody to tell at exit.
    void Save() const;

    const std::string& GetProxyHost() const { return m_proxyHost; }
    std::uint32_t GetProxyPort() const { return m_proxyPort; }
    // A proxy is in use only with a host and a non-zero port.
    bool IsProxyInUse() const { return !m_proxyHost.empty() && m_proxyPort != 0; }
    const std::string& GetProxyUser() const { return m_proxyUser; }
    const std::string& GetProxyPassword() const { return m_proxyPassword; }
    int GetConnectionTimeout() const { return m_connectionTimeout; }
    int GetRequestTimeout() const { return m_requestTimeout; }
    int GetRetries() const { return m_retries; }
    int GetUserAgent() const { return m_userAgent; }
    bool GetVerifyCertificates() const { return m_verifyCertificates; }
    // False sends a HEAD only when its answer can spare the GET's body.
    bool GetHeadRequests() const { return m_headRequests; }
    // Whether the files a page needs beyond the element table's links are
    // fetched too: srcset candidates, media, and what style sheets load.
    bool GetPageRequisites() const { return m_pageRequisites; }
    // Seconds that a whole response may take, connecting included; 0 for no
    // limit. However it is set, a response head gets at most four request
    // time-outs.
    int GetTransferLimit() const { return m_transferLimit; }
    // Whether robots.txt, meta robots and X-Robots-Tag are obeyed.
    bool GetRobots() const { return m_robots; }
    // Milliseconds between two requests to one host; 0 for none.
    std::uint32_t GetWaitMs() const { return m_waitMs; }
    // Each wait drawn from half to one and a half times the wait.
    bool GetRandomWait() const { return m_randomWait; }
    // Bytes per second that the whole crawl receives at most; 0 for no limit.
    std::uint32_t GetLimitRate() const { return m_limitRate; }
    // Sent instead of the chosen preset when not empty.
    const std::string& GetUserAgentText() const { return m_userAgentText; }
    // For one run only, never stored: where the crawl's cookies are written
    // when it ends; empty for nowhere.
    const std::string& GetSaveCookiesFile() const { return m_saveCookiesFile; }

    void SetProxy(const std::string& host, std::uint32_t port, const std::string& user = {},
                  const std::string& password = {});
    void SetConnectionTimeout(int seconds) { m_connectionTimeout = seconds; }
    void SetRequestTimeout(int seconds) { m_requestTimeout = seconds; }
    void SetRetries(int retries) { m_retries = retries; }
    void SetUserAgent(int index) { m_userAgent = index; }
    void SetVerifyCertificates(bool verify) { m_verifyCertificates = verify; }
    void SetHeadRequests(bool always) { m_headRequests = always; }
    void SetPageRequisites(bool fetch) { m_pageRequisites = fetch; }
    void SetTransferLimit(int seconds) { m_transferLimit = seconds; }
    void SetRobots(bool obey) { m_robots = obey; }
    // A wait beyond kMaxWaitMs is cut to it.
    void SetWaitMs(std::uint32_t ms) { m_waitMs = ms < kMaxWaitMs ? ms : kMaxWaitMs; }
    void SetRandomWait(bool random) { m_randomWait = random; }
    void SetLimitRate(std::uint32_t bytesPerSecond) { m_limitRate = bytesPerSecond; }
    void SetUserAgentText(std::string text) { m_userAgentText = std::move(text); }
    void SetSaveCookiesFile(std::string path) { m_saveCookiesFile = std::move(path); }

    // The identity sent to servers: the own text when there is one, else
    // the preset's; empty for an index outside the table.
    const char* UserAgentString() const;
    // The identity a preset sends; empty outside the table.
    static const char* PresetUserAgentString(int index);
    // The name shown for an index; empty outside the table.
    static const char* UserAgentName(int index);

private:
    bool LoadFixedValues(const CRegistryKey& key);
    void LoadCourtesyValues(const CRegistryKey& key);

    std::string m_proxyHost;
    std::uint32_t m_proxyPort = 0;
    std::string m_proxyUser;
    std::string m_proxyPassword;
    int m_connectionTimeout = 0;
    int m_requestTimeout = 0;
    int m_retries = 0;
    int m_userAgent = 0;
    bool m_verifyCertificates = true;
    bool m_headRequests = true;
    bool m_pageRequisites = true;
    int m_transferLimit = 0;
    bool m_robots = true;
    std::uint32_t m_waitMs = 0;
    bool m_randomWait = false;
    std::uint32_t m_limitRate = 0;
    std::string m_userAgentText;
    std::string m_saveCookiesFile;
};

// The program's one settings object.
CProgramOptions& GetProgramOptions();
