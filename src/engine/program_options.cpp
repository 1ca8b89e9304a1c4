#include "engine/program_options.h"

#include "platform/registry_key.h"

namespace {

constexpr const char* kSettingsSection = "Settings";

struct UserAgentRow {
    const char* name;
    const char* identity;
};

constexpr UserAgentRow kUserAgents[CProgramOptions::kUserAgentCount] = {
    {"Internet Explorer 5", "Mozilla/4.0 (compatible; MSIE 5.0; Windows 98)"},
    {"Internet Explorer 5.5", "Mozilla/4.0 (compatible; MSIE 5.5; Windows NT 5.0)"},
    {"Internet Explorer 6", "Mozilla/4.0 (compatible; MSIE 6.0; Windows NT 5.1)"},
    {"Mozilla 1.7", "Mozilla/5.0 (Windows; U; Windows NT 5.1; en-US; rv:1.7) Gecko/20040616"},
    {"Mozilla Firefox 1.0",
     "Mozilla/5.0 (Windows; U; Windows NT 5.1; en-US; rv:1.7.5) Gecko/20041107 Firefox/1.0"},
    {"Netscape 7.0",
     "Mozilla/5.0 (Windows; U; Windows NT 5.1; en-US; rv:1.0.1) Gecko/20020823 Netscape/7.0"},
};

const UserAgentRow* FindUserAgent(int index) {
    return index >= 0 && index < CProgramOptions::kUserAgentCount ? &kUserAgents[index] : nullptr;
}

}  // namespace

void CProgramOptions::ResetToDefaults() {
    SetProxy("", 0);
    m_retries = 3;
    m_connectionTimeout = 5;
    m_requestTimeout = 5;
    m_userAgent = 2;
    m_verifyCertificates = true;
    m_headRequests = true;
    m_pageRequisites = true;
    m_transferLimit = 0;
    m_robots = true;
    m_waitMs = 0;
    m_randomWait = false;
    m_limitRate = 0;
    m_userAgentText.clear();
}

void CProgramOptions::SetProxy(const std::string& host, std::uint32_t port, const std::string& user,
                               const std::string& password) {
    m_proxyHost = host;
    m_proxyPort = port;
    m_proxyUser = user;
    m_proxyPassword = password;
}

void CProgramOptions::Load() {
    const CRegistryKey key = GetSectionKey(kSettingsSection);
    if (!LoadFixedValues(key)) {
        ResetToDefaults();
        return;
    }
    std::uint32_t verify = 1;
    m_verifyCertificates = !key.ReadDword("Verify Certificates", verify) || verify != 0;
    std::uint32_t head = 1;
    m_headRequests = !key.ReadDword("Head Requests", head) || head != 0;
    std::uint32_t requisites = 1;
    m_pageRequisites = !key.ReadDword("Page Requisites", requisites) || requisites != 0;
    // Out of range it is no limit, as before the setting existed.
    std::uint32_t limit = 0;
    m_transferLimit = key.ReadDword("Transfer Limit", limit) && limit <= kMaxTransferLimit
                          ? static_cast<int>(limit)
                          : 0;
    LoadCourtesyValues(key);
}

// Each falls back to its own default alone, as the values above do.
void CProgramOptions::LoadCourtesyValues(const CRegistryKey& key) {
    std::uint32_t robots = 1;
    m_robots = !key.ReadDword("Robots", robots) || robots != 0;
    std::uint32_t wait = 0;
    m_waitMs = key.ReadDword("Wait", wait) && wait <= kMaxWaitMs ? wait : 0;
    std::uint32_t random = 0;
    m_randomWait = key.ReadDword("Random Wait", random) && random != 0;
    std::uint32_t rate = 0;
    m_limitRate = key.ReadDword("Limit Rate", rate) ? rate : 0;
    if (!key.ReadString("User Agent Text", m_userAgentText)) {
        m_userAgentText.clear();
    }
}

bool CProgramOptions::LoadFixedValues(const CRegistryKey& key) {
    std::uint32_t connection = 0, request = 0, retries = 0, port = 0, userAgent = 0;
    std::string host, user, password;
    const bool read = key.ReadDword("Connection", connection) &&
                      key.ReadDword("Request", request) && key.ReadDword("Retry", retries) &&
                      key.ReadString("Proxy", host) && key.ReadDword("Port", port) &&
                      key.ReadString("User name", user) && key.ReadString("Password", password) &&
                      key.ReadDword("User Agent", userAgent);
    if (!read || connection == 0 || connection > 99 || request == 0 || request > 99 ||
        retries >= 100) {
        return false;
    }
    m_connectionTimeout = static_cast<int>(connection);
    m_requestTimeout = static_cast<int>(request);
    m_retries = static_cast<int>(retries);
    // The index is kept as stored, even outside the table: it then names no identity.
    m_userAgent = static_cast<int>(userAgent);
    SetProxy(host, port, user, password);
    return true;
}

void CProgramOptions::Save() const {
    CRegistryKey key = GetSectionKey(kSettingsSection);
    key.WriteDword("Connection", static_cast<std::uint32_t>(m_connectionTimeout));
    key.WriteDword("Request", static_cast<std::uint32_t>(m_requestTimeout));
    key.WriteDword("Retry", static_cast<std::uint32_t>(m_retries));
    key.WriteString("Proxy", m_proxyHost);
    key.WriteDword("Port", m_proxyPort);
    key.WriteString("User name", m_proxyUser);
    key.WriteString("Password", m_proxyPassword);
    key.WriteDword("User Agent", static_cast<std::uint32_t>(m_userAgent));
    key.WriteDword("Verify Certificates", m_verifyCertificates ? 1 : 0);
    key.WriteDword("Head Requests", m_headRequests ? 1 : 0);
    key.WriteDword("Page Requisites", m_pageRequisites ? 1 : 0);
    key.WriteDword("Transfer Limit", static_cast<std::uint32_t>(m_transferLimit));
    key.WriteDword("Robots", m_robots ? 1 : 0);
    key.WriteDword("Wait", m_waitMs);
    key.WriteDword("Random Wait", m_randomWait ? 1 : 0);
    key.WriteDword("Limit Rate", m_limitRate);
    key.WriteString("User Agent Text", m_userAgentText);
}

const char* CProgramOptions::UserAgentString() const {
    return m_userAgentText.empty() ? PresetUserAgentString(m_userAgent) : m_userAgentText.c_str();
}

const char* CProgramOptions::PresetUserAgentString(int index) {
    const UserAgentRow* row = FindUserAgent(index);
    return row ? row->identity : "";
}

const char* CProgramOptions::UserAgentName(int index) {
    const UserAgentRow* row = FindUserAgent(index);
    return row ? row->name : "";
}

CProgramOptions& GetProgramOptions() {
    static CProgramOptions options;
    return options;
}
