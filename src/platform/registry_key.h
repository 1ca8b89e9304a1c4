// An open key of the current user's settings store. Every read loads the
// store's file and every write saves it at once, as the registry keeps a value
// the moment it is set; the store is small, and the program writes it once at exit.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

inline constexpr const char* kRegistryKeyName = "Ostrevane";
inline constexpr const char* kApplicationName = "Tarnwick";

class CRegistryKey {
public:
    // A key that is not open: reads and writes fail.
    CRegistryKey() = default;
    // The root of the current user's keys.
    static CRegistryKey CurrentUser();

    // Closes this key, then opens parent's sub-key, which must exist.
    bool Open(const CRegistryKey& parent, const std::string& subKey);
    // Opens the sub-key, which is created with its first value. The result is
    // not open when this key is not, or the name cannot be a key.
    CRegistryKey CreateSubKey(const std::string& name) const;
    void Close();
    bool IsOpen() const { return m_path.has_value(); }

    bool WriteDword(const std::string& name, std::uint32_t value);
    // REG_SZ of the text up to its first NUL, with a terminator.
    bool WriteString(const std::string& name, const std::string& text);
    bool WriteBinary(const std::string& name, const void* bytes, std::size_t count);

    // A REG_DWORD of exactly 4 bytes.
    bool ReadDword(const std::string& name, std::uint32_t& value) const;
    // A REG_SZ of at most kMaxStringSize bytes, terminator included.
    bool ReadString(const std::string& name, std::string& text) const;
    // A REG_BINARY of exactly count bytes.
    bool ReadBinary(const std::string& name, void* bytes, std::size_t count) const;

    static constexpr std::size_t kMaxStringSize = 512;

private:
    explicit CRegistryKey(std::string path) : m_path(std::move(path)) {}

    std::string SubKeyPath(const std::string& name) const;
    bool Write(const std::string& name, std::uint32_t type, const void* bytes, std::size_t count);
    template <typename Accept>
    bool Read(const std::string& name, std::uint32_t type, Accept accept) const;

    // The key's path below the current user's root; empty for the root itself.
    std::optional<std::string> m_path;
};

// The application's section key "Software\Ostrevane\Tarnwick\<section>",
// created when missing.
CRegistryKey GetSectionKey(const std::string& section);
