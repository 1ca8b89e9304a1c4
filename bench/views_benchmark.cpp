// How the desktop program's three views cope with a large project: opening a
// project of many URLs until the views are filled, then files reported at a
// crawl's rate, each with the longest stall of the event loop meanwhile (the
// largest gap between the ticks of a 10 ms timer, the tick included) and the
// peak memory of the process.
//   views_benchmark [URLS [FOLDERS [LIVE [RATE]]]]
//   views_benchmark --open PROJECT.tkp
// The first form writes a project of URLS saved or failed entries spread over
// FOLDERS folders (one folder puts every file side by side), opens it, then
// reports LIVE more files at RATE files a second. The second opens an
// existing project (bench/scale.sh's) and exits once its views are filled.
#include <sys/resource.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <QAction>
#include <QApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTimer>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>

#include "base/url.h"
#include "engine/download_list.h"
#include "engine/download_task.h"
#include "engine/quillmoor_doc.h"
#include "storage/local_file_mapping.h"
#include "ui/dir_view.h"
#include "ui/file_view.h"
#include "ui/main_frame.h"
#include "ui/recent_file_list.h"
#include "ui/thread_view.h"
#include "ui/user_prompts.h"

namespace {

constexpr int kWorkers = 16;
constexpr int kTickMs = 10;
const char* const kSite = "http://127.0.0.1:8080";

// Every third URL is an image, the others are HTML pages.
int ContentType(int page) {
    return page % 3 == 0 ? 0 : 3;
}

std::string PageUrl(int page, int folders) {
    return std::string(kSite) + "/f" + std::to_string(page % folders) + "/page" +
           std::to_string(page) + (page % 3 == 0 ? ".png" : ".htm");
}

// Every tenth URL was refused by the filters, the others were saved.
void WriteProject(const std::string& path, int urls, int folders) {
    CQuillmoorDoc doc(nullptr);
    CProjectSettings settings;
    CUrl start;
    start.Parse(std::string(kSite) + "/");
    settings.SetStartUrl(start);
    settings.SetThreadCount(kWorkers);
    if (!doc.NewProject(path, settings)) {
        std::fprintf(stderr, "cannot write %s\n", path.c_str());
        std::exit(1);
    }
    const CLocalFileMapping mapping(CFilePath(doc.GetSettings().GetDownloadFolder()));
    CDownloadList& list = doc.GetController().GetManager()->GetList();
    for (int page = 0; page < urls; ++page) {
        CUrl url;
        url.Parse(PageUrl(page, folders));
        list.Add(url.GetSourceText(), 1, true);
        if (page % 10 == 9) {
            list.MarkError(url, ERR_CLIENT_RULE);
            continue;
        }
        std::string localUrl;
        std::string localPath;
        std::string storedPath;
        mapping.MapUrlToLocal(url, ContentType(page), localUrl, localPath, storedPath);
        list.MarkDone(url, storedPath, -1, 1000);
    }
    doc.Save();
}

// Written by a child process, so that the writer's memory does not count in
// the peak of the views.
void WriteProjectApart(const std::string& path, int urls, int folders) {
    const pid_t child = fork();
    if (child == 0) {
        WriteProject(path, urls, folders);
        std::_Exit(0);
    }
    int status = 0;
    if (child < 0 || waitpid(child, &status, 0) != child || !WIFEXITED(status) ||
        WEXITSTATUS(status) != 0) {
        std::fprintf(stderr, "cannot write %s\n", path.c_str());
        std::exit(1);
    }
}

double Milliseconds(const QElapsedTimer& timer) {
    return static_cast<double>(timer.nsecsElapsed()) / 1e6;
}

long PeakRssMegabytes() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss / 1024;
}

double ThreadCpuMilliseconds() {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) * 1e3 + static_cast<double>(now.tv_nsec) / 1e6;
}

// The largest gap between two ticks of a timer that asks to run every 10 ms,
// in wall time and in the CPU time the thread spent meanwhile: on a machine
// that other work shares, the second tells what the program itself costs.
class StallMeter {
public:
    StallMeter() {
        m_ticks.setInterval(kTickMs);
        QObject::connect(&m_ticks, &QTimer::timeout, [this] { Tick(); });
        m_ticks.start();
        Restart();
    }
    void Restart() {
        m_longest = 0;
        m_longestCpu = 0;
        m_sinceTick.start();
        m_cpuAtTick = ThreadCpuMilliseconds();
    }
    QString Describe() {
        Tick();
        return QString("%1 ms (%2 ms of CPU)")
            .arg(m_longest, 0, 'f', 0)
            .arg(m_longestCpu, 0, 'f', 0);
    }

private:
    void Tick() {
        const double cpu = ThreadCpuMilliseconds();
        m_longest = std::max(m_longest, Milliseconds(m_sinceTick));
        m_longestCpu = std::max(m_longestCpu, cpu - m_cpuAtTick);
        m_sinceTick.restart();
        m_cpuAtTick = cpu;
    }

    QTimer m_ticks;
    QElapsedTimer m_sinceTick;
    double m_cpuAtTick = 0;
    double m_longest = 0;
    double m_longestCpu = 0;
};

void RunEventsWhile(const std::function<bool()>& busy) {
    while (busy()) {
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    QCoreApplication::processEvents();
}

bool OpenAndFill(CMainFrame& frame, const std::string& project, StallMeter& meter) {
    QElapsedTimer timer;
    timer.start();
    meter.Restart();
    if (!frame.OpenProject(project)) {
        std::fprintf(stderr, "cannot open %s\n", project.c_str());
        return false;
    }
    const double opened = Milliseconds(timer);
    meter.Restart();
    RunEventsWhile([&frame] { return frame.IsFillingViews(); });
    frame.GetFileView().FlushPendingRows();
    QCoreApplication::processEvents();
    std::printf(
        "open: %.0f ms in the open call, %.0f ms until the views are filled, longest stall "
        "after the open call %s; %d rows; peak RSS %ld MB\n",
        opened, Milliseconds(timer), qPrintable(meter.Describe()),
        frame.GetFileView().GetItemCount(), PeakRssMegabytes());
    return true;
}

// Reports files as the frame does for the crawl's messages, a tick's share
// of the rate every 10 ms, as the crawl's messages would come.
void FeedLiveFiles(CMainFrame& frame, int first, int count, int folders, int rate,
                   StallMeter& meter) {
    const CLocalFileMapping mapping(
        CFilePath(frame.GetDocument().GetSettings().GetDownloadFolder()));
    const int perTick = std::max(1, rate * kTickMs / 1000);
    int page = first;
    QTimer feed;
    feed.setInterval(kTickMs);
    QObject::connect(&feed, &QTimer::timeout, [&] {
        for (const int end = std::min(first + count, page + perTick); page < end; ++page) {
            CUrl url;
            url.Parse(PageUrl(page, folders));
            const int worker = page % kWorkers;
            frame.GetThreadView().SetWorkerUrl(worker, static_cast<std::uint32_t>(page + 1),
                                               QString::fromStdString(url.GetSourceText()));
            if (page % 10 == 9) {
                frame.GetFileView().ShowUrlFailed(url.GetSourceText(), ERR_HTTP_CLIENT_ERROR, 404);
            } else {
                std::string localUrl;
                std::string localPath;
                std::string storedPath;
                mapping.MapUrlToLocal(url, ContentType(page), localUrl, localPath, storedPath);
                frame.GetFileView().ShowUrlSaved(url.GetSourceText());
                frame.GetDirView().AddSavedFile(localUrl, localPath, true);
            }
            frame.GetThreadView().ClearWorker(worker);
        }
    });
    QElapsedTimer total;
    total.start();
    meter.Restart();
    feed.start();
    RunEventsWhile([&] { return page < first + count; });
    frame.GetFileView().FlushPendingRows();
    QCoreApplication::processEvents();
    const double elapsed = Milliseconds(total);
    std::printf(
        "live: %d files at %d files/s took %.0f ms (%.0f files/s), longest stall %s; peak RSS "
        "%ld MB\n",
        count, rate, elapsed, count * 1000.0 / elapsed, qPrintable(meter.Describe()),
        PeakRssMegabytes());
}

void TimeSort(CMainFrame& frame) {
    QElapsedTimer timer;
    timer.start();
    const double cpu = ThreadCpuMilliseconds();
    frame.GetFileView().SortByColumn(CFileView::kUrlColumn);
    std::printf("sort by URL: %.0f ms (%.0f ms of CPU)\n", Milliseconds(timer),
                ThreadCpuMilliseconds() - cpu);
    for (const char* state : {"on", "off"}) {
        timer.restart();
        frame.GetFileView().GetFailedOnlyAction()->trigger();
        QCoreApplication::processEvents();
        std::printf("Failed only %s: %.0f ms\n", state, Milliseconds(timer));
    }
}

}  // namespace

int main(int argc, char* argv[]) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    const bool openOnly = argc == 3 && std::strcmp(argv[1], "--open") == 0;
    const int urls = !openOnly && argc > 1 ? std::atoi(argv[1]) : 100000;
    const int folders = !openOnly && argc > 2 ? std::max(1, std::atoi(argv[2])) : 100;
    const int live = !openOnly && argc > 3 ? std::atoi(argv[3]) : 20000;
    const int rate = !openOnly && argc > 4 ? std::max(1, std::atoi(argv[4])) : 5000;
    QTemporaryDir work;
    // The program's settings stay out of the user's own.
    qputenv("TARNWICK_CONFIG_DIR", work.path().toUtf8());
    const std::string project =
        openOnly ? std::string(argv[2]) : work.filePath("big.tkp").toStdString();
    if (!openOnly) {
        WriteProjectApart(project, urls, folders);
    }
    QApplication app(argc, argv);
    CRecentFileList recent;
    CMainFrame frame(recent);
    frame.show();
    QCoreApplication::processEvents();
    StallMeter meter;
    if (!OpenAndFill(frame, project, meter)) {
        return 1;
    }
    if (!openOnly) {
        FeedLiveFiles(frame, urls, live, folders, rate, meter);
        TimeSort(frame);
    }
    return 0;
}
