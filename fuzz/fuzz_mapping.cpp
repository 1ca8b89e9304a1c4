// Maps arbitrary URL text to local names, plain and distinct, and checks that
// no name leaves the download folder, reaches past a NUL, holds a control
// character or a right-to-left override, or is too long to create.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "base/url.h"
#include "storage/local_file_mapping.h"

namespace {

constexpr std::string_view kFolder = "/dl/";

void Check(bool condition) {
    if (!condition) {
        std::abort();
    }
}

void CheckInside(const std::string& path) {
    Check(path.starts_with(kFolder) && path.size() > kFolder.size());
    Check(path.find('\0') == std::string::npos);
    Check(!HasDotSegment(path));
    for (const char c : path) {
        Check(static_cast<unsigned char>(c) >= 0x20 && c != 0x7F);
    }
    Check(path.find("\xE2\x80\xAE") == std::string::npos);
    std::size_t start = 0;
    for (std::size_t end = path.find('/'); end != std::string::npos;
         start = end + 1, end = path.find('/', start)) {
        Check(end - start <= CLocalFileMapping::kMaxNameLength);
    }
    Check(path.size() - start <= CLocalFileMapping::kMaxNameLength);
}

// A URL whose plain name is taken gets these further names.
constexpr unsigned kDistinctions = 3;

void CheckHttp(const CLocalFileMapping& mapping, const CUrl& url, int contentType) {
    std::string localUrl, localPath, storedPath;
    for (unsigned distinction = 1; distinction < kDistinctions; ++distinction) {
        mapping.MapUrlToLocal(url, contentType, localUrl, localPath, storedPath, distinction);
        CheckInside(localPath);
    }
    mapping.MapUrlToLocal(url, contentType, localUrl, localPath, storedPath);
    CheckInside(localPath);
    if (url.GetScheme() != SchemeHttp && url.GetScheme() != SchemeHttps) {
        return;
    }
    std::string back;
    mapping.StoredToLocalPath(url, storedPath, back);
    Check(back == localPath);
    mapping.LocalPathToLocalUrl(url, localPath, back);
    Check(back == localUrl);
}

void CheckFtp(const CLocalFileMapping& mapping, const CUrl& url) {
    std::string localUrl, localPath, storedPath;
    for (unsigned distinction = 1; distinction < kDistinctions; ++distinction) {
        mapping.MapFtpUrlToLocal(url, localUrl, localPath, storedPath, distinction);
        CheckInside(localPath);
    }
    mapping.MapFtpUrlToLocal(url, localUrl, localPath, storedPath);
    CheckInside(localPath);
    std::string back;
    mapping.StoredToLocalPath(url, storedPath, back);
    Check(back == localPath);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) {
        return 0;
    }
    // The first byte picks the content-type code, the rest is the URL text.
    const int contentType = data[0] % 6;
    const std::string text(reinterpret_cast<const char*>(data) + 1, size - 1);
    static const CLocalFileMapping mapping{CFilePath(kFolder)};

    CUrl url;
    if (!url.Parse(text)) {
        return 0;
    }
    if (url.GetScheme() == SchemeFtp) {
        CheckFtp(mapping, url);
    } else {
        CheckHttp(mapping, url, contentType);
    }
    std::string plainPath;
    mapping.GetLocalPathOfUrl(url, plainPath);
    if (!plainPath.empty()) {
        CheckInside(plainPath);
    }
    return 0;
}
