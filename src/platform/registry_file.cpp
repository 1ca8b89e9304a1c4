#include "platform/registry_file.h"

#include <pwd.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <optional>

#include "base/ascii.h"
#include "base/errors.h"
#include "base/replacement_file.h"
#include "platform/registry_key.h"

namespace {

constexpr std::string_view kHeaderLine = "Windows Registry Editor Version 5.00";
bool IsControl(char c) {
    const auto byte = static_cast<unsigned char>(c);
    return byte < 0x20 || byte == 0x7f;
}

std::string_view TrimSpaces(std::string_view text) {
    return TrimAscii(text, " \t");
}

// 1 to 8 hexadecimal digits and nothing else.
std::optional<std::uint32_t> ParseHexNumber(std::string_view text) {
    if (text.empty() || text.size() > 8) {
        return std::nullopt;
    }
    std::uint32_t value = 0;
    for (char c : text) {
        const int digit = HexDigitValue(c);
        if (digit < 0) {
            return std::nullopt;
        }
        value = value << 4 | static_cast<std::uint32_t>(digit);
    }
    return value;
}

// "1e,00,ff": bytes of two hexadecimal digits separated by commas; may be empty.
std::optional<std::vector<std::uint8_t>> ParseHexBytes(std::string_view text) {
    std::vector<std::uint8_t> bytes;
    while (!text.empty()) {
        const std::size_t comma = text.find(',');
        const std::string_view item = TrimSpaces(text.substr(0, comma));
        const auto value = item.size() == 2 ? ParseHexNumber(item) : std::nullopt;
        if (!value) {
            return std::nullopt;
        }
        bytes.push_back(static_cast<std::uint8_t>(*value));
        if (comma == std::string_view::npos) {
            break;
        }
        text.remove_prefix(comma + 1);
        if (text.empty()) {
            return std::nullopt;
        }
    }
    return bytes;
}

// A double-quoted text with the escapes \\ and \"; consumes it from text.
std::optional<std::string> ParseQuoted(std::string_view& text) {
    if (text.empty() || text.front() != '"') {
        return std::nullopt;
    }
    std::string result;
    for (std::size_t i = 1; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '"') {
            text.remove_prefix(i + 1);
            return result;
        }
        if (c == '\\') {
            if (++i == text.size() || (text[i] != '\\' && text[i] != '"')) {
                return std::nullopt;
            }
        }
        result += text[i];
    }
    return std::nullopt;
}

std::optional<CRegistryValue> ParseData(std::string_view text) {
    if (!text.empty() && text.front() == '"') {
        auto quoted = ParseQuoted(text);
        if (!quoted || !text.empty()) {
            return std::nullopt;
        }
        CRegistryValue value{REG_SZ, {quoted->begin(), quoted->end()}};
        value.data.push_back(0);
        return value;
    }
    if (StartsWithIgnoreCase(text, "dword:")) {
        const auto number = ParseHexNumber(text.substr(6));
        if (!number) {
            return std::nullopt;
        }
        CRegistryValue value{REG_DWORD, std::vector<std::uint8_t>(4)};
        for (int i = 0; i < 4; ++i) {
            value.data[i] = static_cast<std::uint8_t>(*number >> (8 * i));
        }
        return value;
    }
    std::uint32_t type = REG_BINARY;
    if (StartsWithIgnoreCase(text, "hex(")) {
        const std::size_t close = text.find("):");
        const auto number = close == std::string_view::npos
                                ? std::nullopt
                                : ParseHexNumber(text.substr(4, close - 4));
        if (!number) {
            return std::nullopt;
        }
        type = *number;
        text.remove_prefix(close + 2);
    } else if (StartsWithIgnoreCase(text, "hex:")) {
        text.remove_prefix(4);
    } else {
        return std::nullopt;
    }
    auto bytes = ParseHexBytes(text);
    if (!bytes) {
        return std::nullopt;
    }
    return CRegistryValue{type, std::move(*bytes)};
}

// The physical lines with CR LF ends accepted and hex lists that continue
// with a trailing backslash joined to the next line.
std::vector<std::string> LogicalLines(std::string_view text) {
    std::vector<std::string> lines;
    bool continues = false;
    while (!text.empty()) {
        const std::size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
        if (!line.empty() && line.back() == '\r') {
            line.remove_suffix(1);
        }
        if (continues) {
            line = TrimSpaces(line);
            lines.back().append(line);
        } else {
            lines.emplace_back(line);
        }
        continues = !line.empty() && line.back() == '\\';
        if (continues) {
            lines.back().pop_back();
        }
    }
    return lines;
}

std::string QuotedText(std::string_view text) {
    std::string quoted = "\"";
    for (char c : text) {
        if (c == '\\' || c == '"') {
            quoted += '\\';
        }
        quoted += c;
    }
    return quoted + '"';
}

std::string HexBytes(const std::vector<std::uint8_t>& data) {
    std::string text;
    for (std::size_t i = 0; i < data.size(); ++i) {
        if (i > 0) {
            text += ',';
        }
        text += kLowerHexDigits[data[i] >> 4];
        text += kLowerHexDigits[data[i] & 0xf];
    }
    return text;
}

// A string the quoted form can carry: one terminator at the end, no control characters.
bool IsPlainString(const CRegistryValue& value) {
    return value.type == REG_SZ && !value.data.empty() && value.data.back() == 0 &&
           std::none_of(value.data.begin(), value.data.end() - 1,
                        [](std::uint8_t byte) { return IsControl(static_cast<char>(byte)); });
}

std::string FormatData(const CRegistryValue& value) {
    char number[16];
    if (value.type == REG_DWORD && value.data.size() == 4) {
        const std::uint32_t dword = value.data[0] | value.data[1] << 8 | value.data[2] << 16 |
                                    static_cast<std::uint32_t>(value.data[3]) << 24;
        std::snprintf(number, sizeof number, "%08x", dword);
        return std::string("dword:") + number;
    }
    if (IsPlainString(value)) {
        return QuotedText(std::string_view(reinterpret_cast<const char*>(value.data.data()),
                                           value.data.size() - 1));
    }
    if (value.type == REG_BINARY) {
        return "hex:" + HexBytes(value.data);
    }
    std::snprintf(number, sizeof number, "%x", value.type);
    return std::string("hex(") + number + "):" + HexBytes(value.data);
}

std::filesystem::path HomeFolder() {
    if (const char* home = std::getenv("HOME"); home && *home) {
        return home;
    }
    const passwd* entry = ::getpwuid(::getuid());
    return entry && entry->pw_dir ? entry->pw_dir : ".";
}

}  // namespace

bool IsValidKeyPath(std::string_view path) {
    if (path.empty() || path.front() == '\\' || path.back() == '\\' ||
        path.find("\\\\") != std::string_view::npos) {
        return false;
    }
    return std::none_of(path.begin(), path.end(), IsControl);
}

bool IsValidValueName(std::string_view name) {
    return std::none_of(name.begin(), name.end(), IsControl);
}

bool CRegistryFile::LessIgnoreCase::operator()(const std::string& a, const std::string& b) const {
    return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
        return ToLowerAscii(x) < ToLowerAscii(y);
    });
}

std::filesystem::path CRegistryFile::DefaultPath() {
    const std::string fileName = std::string(kApplicationName) + ".reg";
    if (const char* folder = std::getenv("TARNWICK_CONFIG_DIR"); folder && *folder) {
        return std::filesystem::path(folder) / fileName;
    }
    std::filesystem::path base;
    if (const char* config = std::getenv("XDG_CONFIG_HOME"); config && *config == '/') {
        base = config;
    } else {
        base = HomeFolder() / ".config";
    }
    return base / kRegistryKeyName / fileName;
}

CRegistryFile CRegistryFile::Load(const std::filesystem::path& path) {
    CRegistryFile file;
    std::ifstream in(path, std::ios::binary | std::ios::ate);
    const std::streamoff size = in ? static_cast<std::streamoff>(in.tellg()) : -1;
    if (size < 0 || size > static_cast<std::streamoff>(kMaxFileSize)) {
        return file;
    }
    std::string text(static_cast<std::size_t>(size), '\0');
    in.seekg(0);
    if (in.read(text.data(), size)) {
        file.Parse(text);
    }
    return file;
}

bool CRegistryFile::Save(const std::filesystem::path& path) const {
    std::error_code error;
    std::filesystem::create_directories(path.parent_path(), error);
    if (error) {
        return false;
    }
    try {
        // Readable by its owner only, which the stored proxy password needs.
        CReplacementFile file(path.string(), 0600);
        const std::string text = Format();
        file.GetStream().Write(text.data(), text.size());
        file.Commit(true);
        return true;
    } catch (const CStreamException&) {
        return false;
    }
}

bool CRegistryFile::Parse(std::string_view text) {
    m_keys.clear();
    decltype(m_keys) keys;
    const std::string* currentKey = nullptr;
    bool sawHeader = false;
    for (const std::string& line : LogicalLines(text)) {
        if (line.empty() || line.front() == ';') {
            continue;
        }
        if (!sawHeader) {
            if (line != kHeaderLine) {
                return false;
            }
            sawHeader = true;
        } else if (line.front() == '[') {
            const std::string path = line.back() == ']' ? line.substr(1, line.size() - 2) : "";
            if (!IsValidKeyPath(path)) {
                return false;
            }
            currentKey = &keys.try_emplace(path).first->first;
        } else {
            std::string_view rest = line;
            const auto name = ParseQuoted(rest);
            if (!currentKey || !name || rest.empty() || rest.front() != '=') {
                return false;
            }
            auto value = ParseData(rest.substr(1));
            if (!value) {
                return false;
            }
            keys[*currentKey].insert_or_assign(*name, std::move(*value));
        }
    }
    if (!sawHeader) {
        return false;
    }
    m_keys = std::move(keys);
    return true;
}

std::string CRegistryFile::Format() const {
    std::string text = std::string(kHeaderLine) + "\n\n";
    for (const auto& [path, values] : m_keys) {
        text += "[" + path + "]\n";
        for (const auto& [name, value] : values) {
            text += QuotedText(name) + "=" + FormatData(value) + "\n";
        }
        text += "\n";
    }
    return text;
}

bool CRegistryFile::HasKey(const std::string& keyPath) const {
    const LessIgnoreCase less;
    return std::any_of(m_keys.begin(), m_keys.end(), [&](const auto& entry) {
        const std::string& path = entry.first;
        if (path.size() == keyPath.size()) {
            return !less(path, keyPath) && !less(keyPath, path);
        }
        return path.size() > keyPath.size() && path[keyPath.size()] == '\\' &&
               StartsWithIgnoreCase(path, keyPath);
    });
}

const CRegistryValue* CRegistryFile::FindValue(const std::string& keyPath,
                                               const std::string& name) const {
    const auto key = m_keys.find(keyPath);
    if (key == m_keys.end()) {
        return nullptr;
    }
    const auto value = key->second.find(name);
    return value == key->second.end() ? nullptr : &value->second;
}

void CRegistryFile::SetValue(const std::string& keyPath, const std::string& name,
                             CRegistryValue value) {
    m_keys[keyPath].insert_or_assign(name, std::move(value));
}
