#include "engine/project_settings.h"

#include <algorithm>
#include <utility>

#include "base/ascii.h"
#include "base/errors.h"
#include "base/stream.h"

namespace {

constexpr const char* kRequestRulesTag = "REQUEST_RULES";

// RFC 9110 token characters.
bool IsTokenChar(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
           std::string_view("!#$%&'*+-.^_`|~").find(c) != std::string_view::npos;
}

bool IsAtEnd(CStream& stream) {
    return stream.GetPosition() >= stream.GetLength();
}

}  // namespace

void CProjectSettings::SetCredentials(std::string user, std::string password) {
    m_user = std::move(user);
    m_password = std::move(password);
}

void CProjectSettings::SetFolders(std::string downloadFolder, std::string storedFolder) {
    m_downloadFolder = std::move(downloadFolder);
    m_storedFolder = std::move(storedFolder);
}

bool CProjectSettings::IsValidHeader(const Header& header) {
    const auto& [name, value] = header;
    return !name.empty() && std::all_of(name.begin(), name.end(), IsTokenChar) &&
           value.find_first_of(std::string_view("\r\n\0", 3)) == std::string::npos;
}

bool CProjectSettings::ParseHeaderLine(std::string_view line, Header& header) {
    const std::size_t colon = line.find(':');
    if (colon == std::string_view::npos) {
        return false;
    }
    Header parsed{std::string(line.substr(0, colon)),
                  std::string(TrimAscii(line.substr(colon + 1), " \t"))};
    if (!IsValidHeader(parsed) || parsed.second.empty()) {
        return false;
    }
    header = std::move(parsed);
    return true;
}

bool CProjectSettings::SetHeaders(std::vector<Header> headers) {
    if (!std::all_of(headers.begin(), headers.end(), IsValidHeader)) {
        return false;
    }
    m_headers = std::move(headers);
    return true;
}

bool CProjectSettings::HasRequestRules() const {
    return !m_urlPatterns.IsEmpty() || !m_cookiesFile.empty() || !m_headers.empty();
}

void CProjectSettings::Store(CStream& stream) const {
    WriteUrl(stream, m_startUrl);
    stream << m_user << m_password << m_storedFolder << m_reserved << m_threadCount;
    m_rules.Store(stream);
    if (!HasRequestRules()) {
        return;
    }
    stream << kRequestRulesTag;
    m_urlPatterns.Store(stream);
    stream << m_cookiesFile << static_cast<std::int32_t>(m_headers.size());
    for (const auto& [name, value] : m_headers) {
        stream << name << value;
    }
}

// A project written before these rules existed goes on with its manager's
// tag, or ends: either way the tag read ahead is given back.
void CProjectSettings::LoadRequestRules(CStream& stream) {
    if (IsAtEnd(stream)) {
        return;
    }
    const std::int64_t start = stream.GetPosition();
    std::string tag;
    stream >> tag;
    if (tag != kRequestRulesTag) {
        if (!stream.Seek(start, CStream::kBegin)) {
            ThrowStreamException(ERR_STREAM_DATA);
        }
        return;
    }
    m_urlPatterns.Load(stream);
    std::int32_t count = 0;
    stream >> m_cookiesFile >> count;
    if (count < 0) {
        ThrowStreamException(ERR_STREAM_DATA);
    }
    for (std::int32_t i = 0; i < count; ++i) {
        Header header;
        stream >> header.first >> header.second;
        if (!IsValidHeader(header)) {
            ThrowStreamException(ERR_STREAM_DATA);
        }
        m_headers.push_back(std::move(header));
    }
}

// The download folder is not in the record: it stays as it was set.
void CProjectSettings::Load(CStream& stream) {
    CProjectSettings loaded;
    ReadUrl(stream, loaded.m_startUrl);
    stream >> loaded.m_user >> loaded.m_password >> loaded.m_storedFolder >> loaded.m_reserved >>
        loaded.m_threadCount;
    const auto reserved = static_cast<std::uint32_t>(loaded.m_reserved);
    const auto threads = static_cast<std::uint32_t>(loaded.m_threadCount);
    if (!loaded.m_startUrl.HasUrl() || reserved > kMaxReservedValue || threads == 0 ||
        threads > kMaxThreadCount) {
        ThrowStreamException(ERR_STREAM_DATA);
    }
    loaded.m_rules.Load(stream);
    loaded.LoadRequestRules(stream);
    loaded.m_downloadFolder = m_downloadFolder;
    *this = std::move(loaded);
}
