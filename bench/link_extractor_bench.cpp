// Cost of link extraction over one downloaded page: parse the saved file,
// resolve and judge every link, write the page back. A crawl does this for
// every page under one process-wide lock, so it bounds how fast the workers
// together can take in HTML.
#include <benchmark/benchmark.h>
#include <sys/mman.h>
#include <unistd.h>

#include <string>

#include "base/file_stream.h"
#include "engine/crawl_rules.h"
#include "html/link_extractor.h"

namespace {

constexpr const char* kPageUrl = "https://www.example.org/news/2024/05/index.html";

std::string Head() {
    std::string head =
        "<!DOCTYPE html>\n<html lang=\"en\"><head><meta charset=\"utf-8\">"
        "<title>Example News \xE2\x80\x93 May 2024</title>\n";
    for (int i = 0; i < 8; ++i) {
        head += "<link rel=\"stylesheet\" href=\"/static/css/part" + std::to_string(i) +
                ".css?v=3\">\n";
    }
    head +=
        "<script src=\"//cdn.example.net/js/vendor.min.js\"></script>\n"
        "<script>window.dataLayer = window.dataLayer || []; function track(e) {}</script>\n";
    return head + "</head>\n";
}

std::string Navigation() {
    std::string nav = "<body background=\"/img/paper.png\"><nav><ul>\n";
    for (int i = 0; i < 40; ++i) {
        nav += "<li><a href=\"../../../section" + std::to_string(i) +
               "/\" class=\"nav-item\">"
               "Section " +
               std::to_string(i) + "</a></li>\n";
    }
    return nav + "</ul></nav>\n";
}

// One news item: text with inline links of every kind a page carries.
std::string Article(int n) {
    const std::string id = std::to_string(n);
    return "<article id=\"a" + id + "\"><h2><a href=\"story-" + id + ".html\">Story " + id +
           ": caf\xC3\xA9s reopen along the river</a></h2>\n"
           "<p>The council said on Tuesday that the <a href=\"/topics/city.html#council\">city "
           "council</a> had approved the plan, which <a "
           "href=\"https://other.example.com/report?id=" +
           id +
           "&amp;src=news\">a report</a> had called for. Residents can "
           "<a href=\"mailto:desk@example.org\">write to the desk</a> or read the "
           "<a href=\"#comments\">comments</a>.</p>\n"
           "<p><img src=\"images/photo-" +
           id + ".jpg\" alt=\"Photo " + id +
           "\" width=\"640\" height=\"360\"> Lorem ipsum dolor sit amet, consectetur adipiscing "
           "elit, sed do eiusmod tempor incididunt ut labore et dolore magna aliqua.</p>\n"
           "<table class=\"facts\"><tr><td background=\"/img/cell.gif\">Founded</td><td>1897"
           "</td></tr></table>\n"
           "<p><a href=\"javascript:share(" +
           id +
           ")\">Share</a> \xC2\xB7 "
           "<a href=\"ftp://ftp.example.org/pub/archive/story-" +
           id +
           ".zip\">archive</a></p>"
           "</article>\n";
}

std::string RealisticPage(std::size_t size) {
    std::string page = Head() + Navigation();
    for (int n = 0; page.size() < size; ++n) {
        page += Article(n);
    }
    return page + "<footer><a href=\"/about/\">About</a></footer></body></html>\n";
}

void BM_ExtractLinks(benchmark::State& state) {
    const std::string page = RealisticPage(static_cast<std::size_t>(state.range(0)) * 1024);
    const int fd = ::memfd_create("page", MFD_CLOEXEC);
    CFileStream stream;
    stream.Attach(fd, CFileStream::modeReadWrite);
    ::close(fd);

    CCrawlRules rules;
    rules.SetScope("www.example.org");
    rules.SetLevels(5, 1);
    CLinkExtractor extractor(rules);
    CUrl url;
    url.Parse(kPageUrl);
    const CLinkItem item(url, 1, true);

    for (auto _ : state) {
        state.PauseTiming();
        stream.Seek(0, CStream::kBegin);
        stream.Write(page.data(), page.size());
        stream.SetLength(static_cast<std::int64_t>(page.size()));
        stream.Seek(0, CStream::kBegin);
        state.ResumeTiming();
        if (!extractor.ExtractLinks(stream, kPageUrl, item)) {
            state.SkipWithError("the page was not written back");
            break;
        }
    }
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(page.size()));
    state.counters["links"] = static_cast<double>(extractor.GetFoundLinks().size());
}
// Page sizes in KB; the larger one shows that the cost grows linearly.
BENCHMARK(BM_ExtractLinks)->Arg(100)->Arg(1000)->Unit(benchmark::kMillisecond);

}  // namespace
