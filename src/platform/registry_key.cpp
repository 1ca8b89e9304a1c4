#include "platform/registry_key.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "platform/registry_file.h"

CRegistryKey CRegistryKey::CurrentUser() {
    return CRegistryKey(std::string());
}

std::string CRegistryKey::SubKeyPath(const std::string& name) const {
    return m_path->empty() ? name : *m_path + "\\" + name;
}

bool CRegistryKey::Open(const CRegistryKey& parent, const std::string& subKey) {
    Close();
    if (!parent.IsOpen() || !IsValidKeyPath(subKey)) {
        return false;
    }
    std::string path = parent.SubKeyPath(subKey);
    if (!CRegistryFile::Load(CRegistryFile::DefaultPath()).HasKey(path)) {
        return false;
    }
    m_path = std::move(path);
    return true;
}

CRegistryKey CRegistryKey::CreateSubKey(const std::string& name) const {
    if (!IsOpen() || !IsValidKeyPath(name)) {
        return CRegistryKey();
    }
    return CRegistryKey(SubKeyPath(name));
}

void CRegistryKey::Close() {
    m_path.reset();
}

bool CRegistryKey::Write(const std::string& name, std::uint32_t type, const void* bytes,
                         std::size_t count) {
    // The root holds keys only.
    if (!IsOpen() || m_path->empty() || !IsValidValueName(name)) {
        return false;
    }
    const auto* first = static_cast<const std::uint8_t*>(bytes);
    const std::filesystem::path filePath = CRegistryFile::DefaultPath();
    CRegistryFile file = CRegistryFile::Load(filePath);
    file.SetValue(*m_path, name, CRegistryValue{type, {first, first + count}});
    return file.Save(filePath);
}

bool CRegistryKey::WriteDword(const std::string& name, std::uint32_t value) {
    const std::uint8_t bytes[4] = {
        static_cast<std::uint8_t>(value), static_cast<std::uint8_t>(value >> 8),
        static_cast<std::uint8_t>(value >> 16), static_cast<std::uint8_t>(value >> 24)};
    return Write(name, REG_DWORD, bytes, sizeof bytes);
}

bool CRegistryKey::WriteString(const std::string& name, const std::string& text) {
    return Write(name, REG_SZ, text.c_str(), std::strlen(text.c_str()) + 1);
}

bool CRegistryKey::WriteBinary(const std::string& name, const void* bytes, std::size_t count) {
    return Write(name, REG_BINARY, bytes, count);
}

template <typename Accept>
bool CRegistryKey::Read(const std::string& name, std::uint32_t type, Accept accept) const {
    if (!IsOpen()) {
        return false;
    }
    const CRegistryFile file = CRegistryFile::Load(CRegistryFile::DefaultPath());
    const CRegistryValue* value = file.FindValue(*m_path, name);
    return value && value->type == type && accept(value->data);
}

bool CRegistryKey::ReadDword(const std::string& name, std::uint32_t& value) const {
    return Read(name, REG_DWORD, [&](const std::vector<std::uint8_t>& data) {
        if (data.size() != 4) {
            return false;
        }
        value = data[0] | data[1] << 8 | data[2] << 16 | static_cast<std::uint32_t>(data[3]) << 24;
        return true;
    });
}

bool CRegistryKey::ReadString(const std::string& name, std::string& text) const {
    return Read(name, REG_SZ, [&](const std::vector<std::uint8_t>& data) {
        if (data.size() > kMaxStringSize) {
            return false;
        }
        // A value stored without its terminator still reads up to its end.
        const auto end = std::find(data.begin(), data.end(), 0);
        text.assign(data.begin(), end);
        return true;
    });
}

bool CRegistryKey::ReadBinary(const std::string& name, void* bytes, std::size_t count) const {
    return Read(name, REG_BINARY, [&](const std::vector<std::uint8_t>& data) {
        if (data.size() != count) {
            return false;
        }
        std::copy(data.begin(), data.end(), static_cast<std::uint8_t*>(bytes));
        return true;
    });
}

CRegistryKey GetSectionKey(const std::string& section) {
    return CRegistryKey::CurrentUser().CreateSubKey(std::string("Software\\") + kRegistryKeyName +
                                                    "\\" + kApplicationName + "\\" + section);
}
