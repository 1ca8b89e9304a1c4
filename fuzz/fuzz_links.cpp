// Runs link extraction over arbitrary bytes saved in a file, as a crawl does
// with every downloaded page, then checks what it returned and loads the
// written-back page again. The input's first line is the URL the page was
// fetched from; the rest is the page.
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <iterator>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/file_stream.h"
#include "engine/crawl_rules.h"
#include "html/link_extractor.h"
#include "tag_names.h"

namespace {

constexpr std::string_view kPageUrl = "http://h/d/p.html";
constexpr std::int32_t kPageLevel = 2;

CLinkItem PageItem(bool internal) {
    CUrl url;
    url.Parse(kPageUrl);
    return CLinkItem(url, kPageLevel, internal);
}

void CheckLinks(const CLinkExtractor& extractor) {
    for (const CFoundLinks::Link link : extractor.GetFoundLinks()) {
        const bool levelMatches =
            link.level == kPageLevel + 1 || (link.level == 0 && !link.internal);
        CUrl url;
        if (!url.Parse(link.urlText) || !IsDownloadableLink(url) || !levelMatches) {
            __builtin_trap();
        }
    }
}

bool Loads(int fd) {
    CFileStream stream;
    stream.Attach(fd, CFileStream::modeRead);
    stream.Seek(0, CStream::kBegin);
    CHtmlDocument page;
    return page.Load(stream);
}

bool HoldsExactly(int fd, std::string_view expected) {
    std::string bytes(expected.size() + 1, '\0');
    const ssize_t read = ::pread(fd, bytes.data(), bytes.size(), 0);
    return read == static_cast<ssize_t>(expected.size()) &&
           std::string_view(bytes).substr(0, expected.size()) == expected;
}

std::string ReadAll(int fd) {
    std::string bytes(static_cast<std::size_t>(::lseek(fd, 0, SEEK_END)), '\0');
    bytes.resize(
        static_cast<std::size_t>(std::max<ssize_t>(::pread(fd, bytes.data(), bytes.size(), 0), 0)));
    return bytes;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string_view input(reinterpret_cast<const char*>(data), size);
    const std::size_t lineEnd = input.find('\n');
    const std::string_view baseUrl =
        lineEnd == std::string_view::npos ? kPageUrl : input.substr(0, lineEnd);
    const std::string_view page =
        lineEnd == std::string_view::npos ? input : input.substr(lineEnd + 1);

    const int fd = ::memfd_create("page", MFD_CLOEXEC);
    if (fd < 0 || ::write(fd, page.data(), page.size()) != static_cast<ssize_t>(page.size())) {
        return 0;
    }
    const bool loads = Loads(fd);
    {
        CFileStream stream;
        stream.Attach(fd, CFileStream::modeReadWrite);
        stream.Seek(0, CStream::kBegin);
        CCrawlRules rules;
        rules.SetScope("h");
        rules.SetLevels(3, 1);
        CLinkExtractor extractor(rules);
        const bool internal = size % 2 == 0;
        // The server's character set, which the page's bytes need not fit.
        constexpr const char* kCharsets[] = {"", "iso-8859-15", "shift_jis", "utf-8", "utf-16le"};
        const char* charset = kCharsets[size / 2 % std::size(kCharsets)];
        const bool extracted = extractor.ExtractLinks(stream, baseUrl, PageItem(internal), charset);
        stream.Flush();
        // A memory file cannot fail to take bytes, so whatever the page and
        // its URL hold, a page that can be read must be written back, and
        // one that cannot must be left as it was.
        if (!extracted && (loads || !HoldsExactly(fd, page))) {
            __builtin_trap();
        }
        // A page kept in its own markup has only values changed: it must read
        // as the same tags as before.
        if (extracted && extractor.KeptOwnMarkup()) {
            const auto before = TagNames(page);
            if (!before || TagNames(ReadAll(fd)) != before) {
                __builtin_trap();
            }
        }
        stream.Seek(0, CStream::kBegin);
        CHtmlDocument saved;
        saved.Load(stream);
        CheckLinks(extractor);
    }
    ::close(fd);
    return 0;
}
