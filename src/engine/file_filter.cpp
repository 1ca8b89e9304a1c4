#include "engine/file_filter.h"

namespace {

constexpr std::uint64_t kBytesPerKb = 1024;

std::string ExtensionOfPiece(std::string_view piece) {
    const std::size_t dot = piece.rfind('.');
    if (dot == std::string_view::npos) {
        return "." + std::string(piece);
    }
    return std::string(piece.substr(dot));
}

}  // namespace

CFileFilter::CFileFilter(std::string name, std::string_view extensionText, std::uint32_t minimumKb,
                         std::uint32_t maximumKb, bool enabled)
    : m_name(std::move(name)),
      m_extensions(ParseExtensionText(extensionText)),
      m_minimumKb(minimumKb),
      m_maximumKb(maximumKb),
      m_enabled(enabled) {}

std::vector<std::string> CFileFilter::ParseExtensionText(std::string_view text) {
    std::vector<std::string> extensions;
    while (!text.empty()) {
        const std::size_t end = text.find(';');
        const std::string_view piece = text.substr(0, end);
        if (!piece.empty()) {
            extensions.push_back(ExtensionOfPiece(piece));
        }
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    }
    return extensions;
}

std::string CFileFilter::FormatExtensionText(const std::vector<std::string>& extensions) {
    std::string text;
    for (const std::string& extension : extensions) {
        if (!text.empty()) {
            text += ';';
        }
        text += '*';
        text += extension;
    }
    return text;
}

void CFileFilter::SetExtensions(std::string_view extensionText) {
    m_extensions = ParseExtensionText(extensionText);
}

void CFileFilter::SetSizes(std::uint32_t minimumKb, std::uint32_t maximumKb) {
    m_minimumKb = minimumKb;
    m_maximumKb = maximumKb;
}

// The limits are widened to 64 bits so that large KByte values cannot wrap
// around and turn a limit into a different one.
bool CFileFilter::AcceptsSize(std::uint64_t size) const {
    return size >= m_minimumKb * kBytesPerKb && size <= m_maximumKb * kBytesPerKb;
}
