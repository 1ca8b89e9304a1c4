// One named group of file extensions with optional size limits, as the
// project's file filters keep it.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

class CFileFilter {
public:
    CFileFilter() = default;
    CFileFilter(std::string name, std::string_view extensionText, std::uint32_t minimumKb,
                std::uint32_t maximumKb, bool enabled);
    CFileFilter(const CFileFilter&) = default;
    CFileFilter& operator=(const CFileFilter&) = default;
    CFileFilter(CFileFilter&&) = default;
    CFileFilter& operator=(CFileFilter&&) = default;

    // Splits text at every ";" and keeps, for each non-empty piece, the text
    // from its last "." on, or "." and the whole piece when it has none.
    // Pieces are neither trimmed nor case-folded: "htm; html" yields ".htm"
    // and ". html", an entry that no extension ever matches.
    static std::vector<std::string> ParseExtensionText(std::string_view text);
    // Each extension prefixed by "*", joined by ";": "*.bmp;*.gif".
    static std::string FormatExtensionText(const std::vector<std::string>& extensions);

    const std::string& GetName() const { return m_name; }
    void SetName(std::string name) { m_name = std::move(name); }

    const std::vector<std::string>& GetExtensions() const { return m_extensions; }
    std::string GetExtensionText() const { return FormatExtensionText(m_extensions); }
    void SetExtensions(std::string_view extensionText);

    // Sizes are in KBytes; both 0 means the size is not tested.
    std::uint32_t GetMinimumSize() const { return m_minimumKb; }
    std::uint32_t GetMaximumSize() const { return m_maximumKb; }
    void SetSizes(std::uint32_t minimumKb, std::uint32_t maximumKb);
    bool HasSizeLimits() const { return m_minimumKb != 0 || m_maximumKb != 0; }
    // True when size (in bytes) lies within the limits. A maximum of 0 is
    // an upper limit of 0 bytes once a minimum is set, so minimum 10 with
    // maximum 0 refuses every size.
    bool AcceptsSize(std::uint64_t size) const;

    bool IsEnabled() const { return m_enabled; }
    void SetEnabled(bool enabled) { m_enabled = enabled; }

private:
    std::string m_name;
    std::vector<std::string> m_extensions;
    std::uint32_t m_minimumKb = 0;
    std::uint32_t m_maximumKb = 0;
    bool m_enabled = true;
};
