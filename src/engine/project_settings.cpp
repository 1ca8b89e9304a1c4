#include "engine/project_settings.h"

#include <utility>

#include "base/errors.h"
#include "base/stream.h"

void CProjectSettings::SetCredentials(std::string user, std::string password) {
    m_user = std::move(user);
    m_password = std::move(password);
}

void CProjectSettings::SetFolders(std::string downloadFolder, std::string storedFolder) {
    m_downloadFolder = std::move(downloadFolder);
    m_storedFolder = std::move(storedFolder);
}

void CProjectSettings::Store(CStream& stream) const {
    WriteUrl(stream, m_startUrl);
    stream << m_user << m_password << m_storedFolder << m_reserved << m_threadCount;
    m_rules.Store(stream);
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
    loaded.m_downloadFolder = m_downloadFolder;
    *this = std::move(loaded);
}
