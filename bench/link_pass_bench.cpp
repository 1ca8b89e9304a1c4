// Cost of the whole link pass after a crawl: a site of generated pages in a
// folder tree, saved the way the crawl leaves them (links absolute), each
// rewritten once per iteration, on one thread and on every core. The pages
// are written back before each iteration, outside the timing.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "engine/download_list.h"
#include "html/url_updater.h"

namespace {

constexpr const char* kHost = "http://bench.test";

// The page's path below the host, in folders five pages wide, as
// bench/make_site.py lays them out.
std::string PagePath(int index) {
    std::string folders;
    int i = index;
    while (i >= 5) {
        i = (i - 5) / 5;
        folders = "/d" + std::to_string(i % 7) + folders;
    }
    return "sec" + std::to_string(i) + folders + "/page" + std::to_string(index) + ".html";
}

std::string PageText(int index, int pages) {
    std::string page = "<html><head><title>Page " + std::to_string(index) +
                       "</title>\n<link rel=\"stylesheet\" href=\"" + kHost +
                       "/style.css\"></head><body>\n";
    for (int n = 0; n < 4; ++n) {
        page += "<p>Paragraph " + std::to_string(n) + ". ";
        for (int word = 0; word < 8; ++word) {
            page += "lorem ipsum dolor sit amet ";
        }
        page += "</p>\n";
    }
    for (int child = 5 + index * 5; child < std::min(pages, 10 + index * 5); ++child) {
        page += "<a href=\"" + std::string(kHost) + "/" + PagePath(child) + "\">" +
                PagePath(child) + "</a><br>\n";
    }
    const std::string parent = index < 5 ? "index.html" : PagePath((index - 5) / 5);
    page += "<a href=\"" + std::string(kHost) + "/" + parent + "\">up</a>\n";
    page += "<a href=\"" + std::string(kHost) + "/missing/page" + std::to_string(index) +
            ".html\">gone</a>\n";
    for (int n = 0; n < 2; ++n) {
        const int picture = (2 * index + n) % 500;
        page += "<img src=\"" + std::string(kHost) + "/img/" + std::to_string(picture % 40) +
                "/pic" + std::to_string(picture) + ".png\" alt=\"picture\">\n";
    }
    return page + "</body></html>\n";
}

class CGeneratedSite {
public:
    explicit CGeneratedSite(int pages) {
        char folder[] = "/dev/shm/tarnwick-link-pass-XXXXXX";
        m_folder = ::mkdtemp(folder);
        for (int i = 0; i < pages; ++i) {
            m_pages.push_back({"bench.test/" + PagePath(i), PageText(i, pages)});
        }
        m_pages.push_back({"bench.test/style.css", "body { background: url(" + std::string(kHost) +
                                                       "/img/0/pic0.png) }\n"});
        for (int n = 0; n < 500; ++n) {
            m_pages.push_back(
                {"bench.test/img/" + std::to_string(n % 40) + "/pic" + std::to_string(n) + ".png",
                 "\x89PNG"});
        }
    }
    ~CGeneratedSite() { std::filesystem::remove_all(m_folder); }
    CGeneratedSite(const CGeneratedSite&) = delete;
    CGeneratedSite& operator=(const CGeneratedSite&) = delete;

    // Every file as the crawl saved it, and a list that has them all saved
    // and none rewritten.
    void Restore(CDownloadList& list) const {
        list.Clear();
        for (const auto& [storedPath, text] : m_pages) {
            const std::filesystem::path file = m_folder + "/" + storedPath;
            std::filesystem::create_directories(file.parent_path());
            std::ofstream(file, std::ios::binary | std::ios::trunc) << text;
            CUrl url;
            url.Parse(std::string(kHost) + storedPath.substr(storedPath.find('/')));
            list.Add(CLinkItem(url, 1, true));
            list.MarkDone(url, storedPath, -1, static_cast<std::int32_t>(text.size()),
                          PageWriting::OwnMarkupAscii);
        }
    }
    const std::string& Folder() const { return m_folder; }

private:
    std::string m_folder;
    std::vector<std::pair<std::string, std::string>> m_pages;
};

// Arguments: pages, threads (0: one per core).
void BM_LinkPass(benchmark::State& state) {
    const CGeneratedSite site(static_cast<int>(state.range(0)));
    const auto width = state.range(1) == 0 ? std::max(std::thread::hardware_concurrency(), 1U)
                                           : static_cast<unsigned>(state.range(1));
    CDownloadList list;
    for (auto _ : state) {
        state.PauseTiming();
        site.Restore(list);
        CUrlUpdater updater(list, CFilePath(site.Folder()), nullptr, width);
        state.ResumeTiming();
        updater.UpdateAll();
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_LinkPass)
    ->Args({20000, 1})
    ->Args({20000, 0})
    ->Iterations(3)
    ->Unit(benchmark::kMillisecond)
    ->MeasureProcessCPUTime()
    ->UseRealTime();

}  // namespace
