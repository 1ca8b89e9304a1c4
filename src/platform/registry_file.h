// The file that stands in for the current user's registry: one text file in
// the layout of a registry export,
//
//   Windows Registry Editor Version 5.00
//
//   [Software\Ostrevane\Tarnwick\Settings]
//   "Retry"=dword:00000003
//   "Proxy"="host"
//   "File View"=hex:1e,00,00,00,...
//
// Strings are UTF-8. A string that holds a control character, which a quoted
// value cannot carry, is written as hex(1): with its bytes and terminator.
// Key and value names are compared without regard to case, as the registry does.
#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <string>
#include <string_view>
#include <vector>

// The value types of the registry with their Win32 numbers.
enum RegistryType : std::uint32_t {
    REG_SZ = 1,
    REG_BINARY = 3,
    REG_DWORD = 4,
};

struct CRegistryValue {
    std::uint32_t type = REG_BINARY;
    std::vector<std::uint8_t> data;

    bool operator==(const CRegistryValue&) const = default;
};

class CRegistryFile {
public:
    // Key paths are relative to the current user's root, components joined by "\".
    static constexpr std::size_t kMaxFileSize = 1 << 20;

    // $TARNWICK_CONFIG_DIR/Tarnwick.reg when that is set, else
    // $XDG_CONFIG_HOME/Ostrevane/Tarnwick.reg, else ~/.config/Ostrevane/Tarnwick.reg.
    static std::filesystem::path DefaultPath();

    // A missing, unreadable, oversized or unparsable file gives an empty store,
    // so that every value reads as missing.
    static CRegistryFile Load(const std::filesystem::path& path);
    // Writes a temporary file beside path, syncs it and renames it over path,
    // so that the old file stays whole until the new one is complete.
    bool Save(const std::filesystem::path& path) const;

    // Replaces the contents; on any malformed line the store is left empty.
    bool Parse(std::string_view text);
    std::string Format() const;

    // True when the key or any key below it is in the store.
    bool HasKey(const std::string& keyPath) const;
    const CRegistryValue* FindValue(const std::string& keyPath, const std::string& name) const;
    void SetValue(const std::string& keyPath, const std::string& name, CRegistryValue value);

private:
    struct LessIgnoreCase {
        bool operator()(const std::string& a, const std::string& b) const;
    };
    using ValueMap = std::map<std::string, CRegistryValue, LessIgnoreCase>;

    std::map<std::string, ValueMap, LessIgnoreCase> m_keys;
};

// A key path of non-empty components without control characters, the only
// kind the file can hold.
bool IsValidKeyPath(std::string_view path);
// A value name without control characters.
bool IsValidValueName(std::string_view name);
