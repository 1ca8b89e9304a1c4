// The settings that apply to all projects: time-outs, attempts, the proxy and
// the identity sent to servers. They live in the "Settings" section of the
// settings store, are read once at start-up and written once at exit.
#pragma once

#include <cstdint>
#include <string>

class CRegistryKey;

class CProgramOptions {
public:
    static constexpr int kUserAgentCount = 6;
    // The longest transfer limit, in seconds: one day.
    static constexpr int kMaxTransferLimit = 86400;

    CProgramOptions() { ResetToDefaults(); }

    void ResetToDefaults();
    // Any missing, mistyped or out-of-range value of the fixed eight resets
    // every setting to its default. "Verify Certificates", "Head Requests",
    // "Page Requisites" and "Transfer Limit" are read after them, each on its
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

    // The identity sent to servers; empty for an index outside the table.
    const char* UserAgentString() const;
    // The name shown for an index; empty outside the table.
    static const char* UserAgentName(int index);

private:
    bool LoadFixedValues(const CRegistryKey& key);

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
};

// The program's one settings object.
CProgramOptions& GetProgramOptions();
