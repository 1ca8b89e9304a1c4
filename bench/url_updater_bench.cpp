// Cost of the pass that makes saved pages link to each other locally, on
// pages whose tags hold a great many attributes: one link with N of them,
// bare and quoted, and pages full of tags with as many attributes as the
// parser is given. The time per attribute must stay flat as N grows.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "engine/download_list.h"
#include "html/url_updater.h"

namespace {

// One link to a listed page, then count attributes of the given form.
std::string CrowdedLink(int count, const char* quote) {
    std::string page = "<html><body><a href=\"http://h.x/x.html\"";
    for (int i = 0; i < count; ++i) {
        page += " a" + std::to_string(i) + "=" + quote + "1" + quote;
    }
    return page + ">x</a></body></html>\n";
}

// Tags of 700 attributes each, the most the parser takes, up to size bytes.
std::string CrowdedTags(std::size_t size) {
    std::string tag = "<p";
    for (int i = 0; i < 700; ++i) {
        tag += " a" + std::to_string(i) + "=\"1\"";
    }
    tag += "><a href=\"http://h.x/x.html\">x</a></p>\n";
    std::string page = "<html><body>\n";
    while (page.size() < size) {
        page += tag;
    }
    return page + "</body></html>\n";
}

// A download folder with the page and the page it links to, both listed.
class CSavedSite {
public:
    CSavedSite() {
        char folder[] = "/tmp/tarnwick-bench-XXXXXX";
        m_folder = ::mkdtemp(folder);
        std::filesystem::create_directories(m_folder + "/h.x");
        std::ofstream(m_folder + "/h.x/x.html") << "<p>x</p>";
        List("http://h.x/x.html", "h.x/x.html");
        List("http://h.x/index.html", "h.x/index.html");
    }
    ~CSavedSite() { std::filesystem::remove_all(m_folder); }
    CSavedSite(const CSavedSite&) = delete;
    CSavedSite& operator=(const CSavedSite&) = delete;

    std::string PagePath() const { return m_folder + "/h.x/index.html"; }
    void WritePage(const std::string& page) const {
        std::ofstream(PagePath(), std::ios::binary | std::ios::trunc) << page;
    }
    CUrlUpdater MakeUpdater() { return CUrlUpdater(m_list, CFilePath(m_folder), nullptr); }

private:
    void List(const std::string& urlText, const std::string& storedPath) {
        CUrl url;
        url.Parse(urlText);
        m_list.Add(CLinkItem(url, 1, true));
        m_list.MarkDone(url, storedPath, -1, 100);
    }

    std::string m_folder;
    CDownloadList m_list;
};

void RewriteCrowdedLink(benchmark::State& state, PageWriting writing, const char* quote) {
    const int count = static_cast<int>(state.range(0));
    const std::string page = CrowdedLink(count, quote);
    CSavedSite site;
    CUrlUpdater updater = site.MakeUpdater();
    for (auto _ : state) {
        state.PauseTiming();
        site.WritePage(page);
        state.ResumeTiming();
        if (updater.SpliceFile(site.PagePath(), writing) != true) {
            state.SkipWithError("the page was not spliced");
            break;
        }
    }
    state.SetItemsProcessed(state.iterations() * count);
}

void BM_RewriteCrowdedLinkInOwnMarkup(benchmark::State& state) {
    RewriteCrowdedLink(state, PageWriting::OwnMarkupAscii, "");
}
void BM_RewriteCrowdedLinkWithQuotedValues(benchmark::State& state) {
    RewriteCrowdedLink(state, PageWriting::OwnMarkupAscii, "\"");
}
// Attributes on the tag; the page is a little over 700 KB at the largest.
BENCHMARK(BM_RewriteCrowdedLinkInOwnMarkup)->Arg(20000)->Arg(80000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RewriteCrowdedLinkWithQuotedValues)
    ->Arg(20000)
    ->Arg(80000)
    ->Unit(benchmark::kMillisecond);

void BM_RewriteCrowdedTags(benchmark::State& state) {
    const std::string page = CrowdedTags(static_cast<std::size_t>(state.range(0)) * 1024);
    CSavedSite site;
    CUrlUpdater updater = site.MakeUpdater();
    for (auto _ : state) {
        state.PauseTiming();
        site.WritePage(page);
        state.ResumeTiming();
        if (!updater.UpdateFile(site.PagePath())) {
            state.SkipWithError("the page was not rewritten");
            break;
        }
    }
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(page.size()));
}
// Page sizes in KB.
BENCHMARK(BM_RewriteCrowdedTags)->Arg(1000)->Arg(4000)->Unit(benchmark::kMillisecond);

}  // namespace
