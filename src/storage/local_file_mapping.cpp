#include "storage/local_file_mapping.h"

#include <zlib.h>

#include <cstdint>
#include <cstdio>
#include <string_view>
#include <utility>

#include "base/ascii.h"
#include "base/url.h"

namespace {

constexpr int kContentTypeNone = 0;
constexpr int kContentTypeCss = 1;
constexpr int kContentTypeHtml = 3;
constexpr int kContentTypeJavaScript = 6;
// A shortened name keeps an extension up to this long, so that it still opens
// with the right program.
constexpr std::size_t kMaxKeptExtension = 16;

std::uint32_t Crc32(std::string_view text) {
    return static_cast<std::uint32_t>(
        crc32_z(0, reinterpret_cast<const Bytef*>(text.data()), text.size()));
}

std::string Hex(const char* format, std::uint32_t value) {
    char text[16];
    std::snprintf(text, sizeof text, format, value);
    return text;
}

bool IsHttp(const CUrl& url) {
    return url.GetScheme() == SchemeHttp || url.GetScheme() == SchemeHttps;
}

std::string ShortenName(const std::string& name) {
    const std::size_t dot = name.rfind('.');
    const bool keepExtension = dot != std::string::npos && name.size() - dot <= kMaxKeptExtension;
    const std::string extension = keepExtension ? name.substr(dot) : std::string();
    const std::string hash = Hex("_%08x", Crc32(name));
    std::size_t keep = CLocalFileMapping::kMaxNameLength - hash.size() - extension.size();
    // Cutting inside a UTF-8 sequence would leave a name no viewer can show.
    while (keep > 0 && (static_cast<unsigned char>(name[keep]) & 0xC0) == 0x80) {
        --keep;
    }
    return name.substr(0, keep) + hash + extension;
}

// Characters that a terminal, a file manager or a shell shows as something
// other than a character of the name: C0 and C1 controls (a CR or LF breaks
// a listing line), line and paragraph separators, and the invisible format
// characters, bidirectional overrides among them, that make a name look like
// another (U+202E shows "gpj.exe" as "exe.jpg").
bool IsControl(char32_t c) {
    return c < 0x20 || (c >= 0x7F && c <= 0x9F) || c == 0xAD || c == 0x61C ||
           (c >= 0x200B && c <= 0x200F) || (c >= 0x2028 && c <= 0x202E) ||
           (c >= 0x2060 && c <= 0x206F) || c == 0xFEFF || (c >= 0xFFF9 && c <= 0xFFFB) ||
           (c >= 0xE0000 && c <= 0xE007F);
}

// The character that a UTF-8 sequence at text[i] encodes and the sequence's
// length. A byte beyond ASCII that begins no whole sequence (a name in
// Latin-1) is no control: it counts as U+FFFD, as a viewer shows it.
std::pair<char32_t, std::size_t> CharacterAt(std::string_view text, std::size_t i) {
    static constexpr char32_t kReplacement = 0xFFFD;
    const auto lead = static_cast<unsigned char>(text[i]);
    if (lead < 0x80) {
        return {lead, 1};
    }
    const std::size_t length = lead >= 0xF0 && lead <= 0xF4   ? 4
                               : lead >= 0xE0 && lead <= 0xEF ? 3
                               : lead >= 0xC2 && lead <= 0xDF ? 2
                                                              : 1;
    if (length == 1 || i + length > text.size()) {
        return {kReplacement, 1};
    }
    char32_t c = lead & (0x7F >> length);
    for (std::size_t k = 1; k < length; ++k) {
        const auto next = static_cast<unsigned char>(text[i + k]);
        if ((next & 0xC0) != 0x80) {
            return {kReplacement, 1};
        }
        c = (c << 6) | (next & 0x3F);
    }
    return {c, length};
}

// Each control character, whatever its length in UTF-8, becomes one '_'.
std::string ReplaceControls(std::string name) {
    std::string result;
    for (std::size_t i = 0; i < name.size();) {
        const auto [c, length] = CharacterAt(name, i);
        if (IsControl(c)) {
            result += '_';
        } else {
            result.append(name, i, length);
        }
        i += length;
    }
    return result;
}

std::string HostWithPort(const CUrl& url) {
    std::string host = url.GetHost();
    if (url.GetPort() != 0) {
        host += '_' + std::to_string(url.GetPort());
    }
    return host;
}

// The mark of the n-th name that sets a URL apart from others that map to
// the same file, made the way a query's mark is: "08" and a CRC-32, here of
// the URL's text, taken once more for each further name.
std::string Distinction(const CUrl& url, unsigned n) {
    if (n == 0) {
        return {};
    }
    const std::string& text = url.GetSourceText();
    auto crc = static_cast<uLong>(0);
    for (unsigned i = 0; i < n; ++i) {
        crc = crc32_z(crc, reinterpret_cast<const Bytef*>(text.data()), text.size());
    }
    return Hex("08%x", static_cast<std::uint32_t>(crc));
}

// Puts mark before the extension of the last '/'-separated name of path.
void MarkLastName(std::string& path, const std::string& mark) {
    const std::size_t nameStart = path.rfind('/') + 1;
    const std::size_t dot = path.rfind('.');
    path.insert(dot != std::string::npos && dot > nameStart ? dot : path.size(), mark);
}

// A browser reading a file from the disk knows a style sheet or a script by
// its extension alone: one of another name (theme.php) gets the extension of
// its type after its own (theme.php.css), as a page gets ".htm".
void AddTypeExtension(int contentTypeCode, std::string& title, std::string& extension) {
    const bool css = contentTypeCode == kContentTypeCss;
    const bool script = contentTypeCode == kContentTypeJavaScript;
    if ((css && EqualsIgnoreCase(extension, ".css")) ||
        (script && (EqualsIgnoreCase(extension, ".js") || EqualsIgnoreCase(extension, ".mjs")))) {
        return;
    }
    if (css || script) {
        title += extension;
        extension = css ? ".css" : ".js";
    }
}

// The title and extension of the saved file: the query hash, the default
// document and the ".htm" that makes a page open in a browser.
std::pair<std::string, std::string> SavedFileName(const CUrl& url, int contentTypeCode,
                                                  unsigned distinction) {
    std::string title = url.GetFileTitle();
    std::string extension = url.GetFileExtension();
    const std::string query = url.GetQuery();
    if (!query.empty()) {
        title += Hex("08%x", Crc32(query));
    }
    title += Distinction(url, distinction);
    const bool isPage = contentTypeCode == kContentTypeHtml;
    if (title.empty() && !isPage && contentTypeCode != kContentTypeNone) {
        title = "default";
    } else if (title.empty()) {
        title = "index";
        if (!IsHtmlExtension(extension)) {
            extension = ".htm";
        }
    } else if (isPage && !IsHtmlExtension(extension)) {
        title += extension;
        extension = ".htm";
    }
    AddTypeExtension(contentTypeCode, title, extension);
    return {title, extension};
}

}  // namespace

std::string NeutraliseName(std::string name) {
    name = ReplaceControls(std::move(name));
    for (char& c : name) {
        if (c == '/' || c == '\\') {
            c = '_';
        }
    }
    if (name == "." || name == "..") {
        return std::string(name.size(), '_');
    }
    return name.size() > CLocalFileMapping::kMaxNameLength ? ShortenName(name) : name;
}

std::string NeutralisePath(const std::string& path) {
    std::string result;
    std::size_t start = 0;
    for (;;) {
        const std::size_t end = path.find('/', start);
        result += NeutraliseName(path.substr(start, end - start));
        if (end == std::string::npos) {
            return result;
        }
        result += '/';
        start = end + 1;
    }
}

CLocalFileMapping::CLocalFileMapping(CFilePath downloadFolder)
    : m_folder(std::move(downloadFolder)),
      m_folderPath(m_folder.GetFolderPath()),
      m_confined(m_folder) {}

void CLocalFileMapping::MapUrlToLocal(const CUrl& url, int contentTypeCode, std::string& localUrl,
                                      std::string& localPath, std::string& storedPath,
                                      unsigned distinction) const {
    std::string path = url.GetPath();
    if (path.empty()) {
        path = "/";
    }
    const std::string host = NeutraliseName(HostWithPort(url));
    const std::string directory = NeutralisePath(path.substr(0, path.rfind('/') + 1));
    const auto [title, extension] = SavedFileName(url, contentTypeCode, distinction);
    const std::string name = NeutraliseName(title + extension);

    localUrl = url.GetSchemeName() + "://" + host + directory + name;
    localPath = m_folderPath + host + directory + name;
    storedPath = LocalToStoredPath(localPath);
}

void CLocalFileMapping::MapFtpUrlToLocal(const CUrl& url, std::string& localUrl,
                                         std::string& localPath, std::string& storedPath,
                                         unsigned distinction) const {
    localUrl = url.GetSourceText();
    std::string hostEntry = "ftp_" + HostWithPort(url);
    std::string path = url.GetPath();
    if (distinction > 0) {
        // The file's own name gets the mark, as in an HTTP name: the last
        // name of the path, or the host entry when the path is empty.
        MarkLastName(path.empty() ? hostEntry : path, Distinction(url, distinction));
    }
    localPath = m_folderPath + NeutraliseName(hostEntry) + NeutralisePath(path);
    storedPath = localPath;
}

void CLocalFileMapping::GetLocalPathOfUrl(const CUrl& url, std::string& localPath) const {
    if (IsHttp(url)) {
        localPath = m_folderPath + NeutraliseName(url.GetHost()) + NeutralisePath(url.GetPath());
    } else if (url.GetScheme() == SchemeFtp) {
        std::string localUrl;
        std::string storedPath;
        MapFtpUrlToLocal(url, localUrl, localPath, storedPath);
    }
}

void CLocalFileMapping::StoredToLocalPath(const CUrl& url, const std::string& storedPath,
                                          std::string& localPath) const {
    if (IsHttp(url)) {
        localPath = CFilePath::Combine(m_folderPath, storedPath).GetFullPath();
    } else if (url.GetScheme() == SchemeFtp) {
        localPath = ToSlashes(storedPath);
    } else {
        return;
    }
    if (!IsInside(localPath)) {
        localPath.clear();
    }
}

std::string CLocalFileMapping::StoredToSlashPath(const std::string& storedPath) const {
    const std::string localPath = CFilePath::Combine(m_folderPath, storedPath).GetFullPath();
    return IsInside(localPath) ? localPath : std::string();
}

std::string CLocalFileMapping::LocalToStoredPath(const std::string& localPath) const {
    return CFilePath(localPath).MakeRelativeTo(CFilePath(m_folderPath)).GetFullPath();
}

void CLocalFileMapping::LocalPathToLocalUrl(const CUrl& url, const std::string& localPath,
                                            std::string& localUrl) const {
    if (IsHttp(url)) {
        localUrl.clear();
        if (localPath.starts_with(m_folderPath)) {
            localUrl =
                ToSlashes(url.GetSchemeName() + "://" + localPath.substr(m_folderPath.size()));
        }
    } else if (url.GetScheme() == SchemeFtp) {
        localUrl = url.GetSourceText();
    }
}

bool CLocalFileMapping::CreateParentFolder(const std::string& localPath) const {
    std::string name;
    return m_confined.OpenFolderOf(localPath, true, name).IsValid();
}

bool IsHtmlExtension(std::string_view extension) {
    return EqualsIgnoreCase(extension, ".htm") || EqualsIgnoreCase(extension, ".html");
}
