// The names under which a downloaded resource is saved below the download
// folder, and the ways back from those names.
//
// Every resource has three names: its local path (absolute), its stored path
// (what the download list records: relative to the download folder with
// forward slashes for HTTP and HTTPS, the absolute local path for FTP) and its
// local URL (scheme, "://" and the stored path for HTTP and HTTPS; the URL's
// own text for FTP).
//
// The file names follow fixed rules (a "_port" suffix on the host folder,
// "ftp_" before FTP hosts, "08" and the query's CRC-32 in hexadecimal after the
// title, "index" and "default" for directory URLs, ".htm" after HTML pages
// with another extension, ".css" and ".js" after style sheets and scripts
// with another one), and saved mirrors depend on them. A name is decided
// when the file is saved and kept in the download list, so files saved
// under an earlier rule keep their names. A web page or a
// redirect chooses the URL, so the parts that reach the file system are made
// harmless first: "." and ".." segments, separators, NUL bytes and control
// characters within a host or segment become '_', and a name too long for
// the file system is shortened with its CRC-32 appended. Ordinary URLs are not
// affected, and every local path produced lies inside the download folder.
//
// Different URLs can still map to one file (a "%2F" in a path is a folder
// separator once decoded, a query's mark can spell a real name); the caller
// that finds the name taken asks for a distinct one.
//
// The mapping computes names only; it never touches the disk apart from
// CreateParentFolder. GetFolder reaches the files below the download folder
// without following a link on the way.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "storage/confined_folder.h"
#include "storage/file_path.h"

class CUrl;

class CLocalFileMapping {
public:
    // The longest file or folder name Linux file systems accept.
    static constexpr std::size_t kMaxNameLength = 255;

    explicit CLocalFileMapping(CFilePath downloadFolder);

    // An HTTP or HTTPS response's names. contentTypeCode is the response's
    // content-type code (1 text/css, 3 text/html, 6 JavaScript), 0 when it
    // carries no content type.
    // A distinction n > 0 asks for the n-th distinct name: the title gets
    // "08" and a CRC-32 of the URL's text, taken n times over.
    void MapUrlToLocal(const CUrl& url, int contentTypeCode, std::string& localUrl,
                       std::string& localPath, std::string& storedPath,
                       unsigned distinction = 0) const;
    void MapFtpUrlToLocal(const CUrl& url, std::string& localUrl, std::string& localPath,
                          std::string& storedPath, unsigned distinction = 0) const;

    // The plain rule (no port suffix, query hash, default document or
    // extension), which turns a local URL back into its file, or a directory
    // URL into its folder. Leaves localPath alone for schemes other than
    // HTTP, HTTPS and FTP.
    void GetLocalPathOfUrl(const CUrl& url, std::string& localPath) const;

    // Only the URL's scheme is used. The result is empty when the stored path
    // leads outside the download folder (a damaged or foreign project file);
    // localPath is left alone for schemes other than HTTP, HTTPS and FTP.
    void StoredToLocalPath(const CUrl& url, const std::string& storedPath,
                           std::string& localPath) const;
    // The absolute local path of an HTTP stored path with forward slashes;
    // empty when it leads outside the download folder.
    std::string StoredToSlashPath(const std::string& storedPath) const;
    std::string LocalToStoredPath(const std::string& localPath) const;
    // Empty for an HTTP local path outside the download folder; the URL's text
    // for FTP; localUrl left alone for other schemes.
    void LocalPathToLocalUrl(const CUrl& url, const std::string& localPath,
                             std::string& localUrl) const;

    // Creates the folder that will hold localPath, refusing to create anything
    // outside the download folder or through a link.
    bool CreateParentFolder(const std::string& localPath) const;

    // True when path names something strictly below the download folder.
    bool IsInside(const std::string& path) const { return m_confined.IsInside(path); }
    const CConfinedFolder& GetFolder() const { return m_confined; }

private:
    CFilePath m_folder;
    std::string m_folderPath;  // m_folder's GetFolderPath, ending in '/'
    CConfinedFolder m_confined;
};

// Makes one file or folder name safe to hand to the file system: separators,
// NUL bytes and control characters (C0, C1, line separators, invisible and
// bidirectional format characters) become '_', a "." or ".." name becomes
// "_" or "__", and a
// name longer than kMaxNameLength is cut and gets "_" and its CRC-32 in eight
// hexadecimal digits before its extension. Any other name is kept as it is.
std::string NeutraliseName(std::string name);
// Applies NeutraliseName to every '/'-separated segment of path.
std::string NeutralisePath(const std::string& path);
// ".htm" or ".html" in any case: the extensions of a saved page.
bool IsHtmlExtension(std::string_view extension);
