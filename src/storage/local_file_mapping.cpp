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
constexpr int kContentTypeHtml = 3;
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

std::string HostWithPort(const CUrl& url) {
    std::string host = url.GetHost();
    if (url.GetPort() != 0) {
        host += '_' + std::to_string(url.GetPort());
    }
    return host;
}

// The title and extension of the saved file: the query hash, the default
// document and the ".htm" that makes a page open in a browser.
std::pair<std::string, std::string> SavedFileName(const CUrl& url, int contentTypeCode) {
    std::string title = url.GetFileTitle();
    std::string extension = url.GetFileExtension();
    const std::string query = url.GetQuery();
    if (!query.empty()) {
        title += Hex("08%x", Crc32(query));
    }
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
    return {title, extension};
}

}  // namespace

std::string NeutraliseName(std::string name) {
    for (char& c : name) {
        if (c == '/' || c == '\\' || c == '\0') {
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
    : m_folder(std::move(downloadFolder)), m_folderPath(m_folder.GetFolderPath()) {}

void CLocalFileMapping::MapUrlToLocal(const CUrl& url, int contentTypeCode, std::string& localUrl,
                                      std::string& localPath, std::string& storedPath) const {
    std::string path = url.GetPath();
    if (path.empty()) {
        path = "/";
    }
    const std::string host = NeutraliseName(HostWithPort(url));
    const std::string directory = NeutralisePath(path.substr(0, path.rfind('/') + 1));
    const auto [title, extension] = SavedFileName(url, contentTypeCode);
    const std::string name = NeutraliseName(title + extension);

    localUrl = url.GetSchemeName() + "://" + host + directory + name;
    localPath = m_folderPath + host + directory + name;
    storedPath = LocalToStoredPath(localPath);
}

void CLocalFileMapping::MapFtpUrlToLocal(const CUrl& url, std::string& localUrl,
                                         std::string& localPath, std::string& storedPath) const {
    localUrl = url.GetSourceText();
    localPath =
        m_folderPath + NeutraliseName("ftp_" + HostWithPort(url)) + NeutralisePath(url.GetPath());
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
    return IsInside(localPath) &&
           CreateFolderPath(CFilePath(localPath).GetDir(), m_folder.GetFullPath());
}

bool CLocalFileMapping::IsInside(const std::string& path) const {
    return path.size() > m_folderPath.size() && path.starts_with(m_folderPath) &&
           path.find('\0') == std::string::npos &&
           !HasDotSegment(std::string_view(path).substr(m_folderPath.size()));
}

bool IsHtmlExtension(std::string_view extension) {
    return EqualsIgnoreCase(extension, ".htm") || EqualsIgnoreCase(extension, ".html");
}
