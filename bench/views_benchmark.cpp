// How the desktop program's three views cope with a large project: the time
// to open a project of many URLs and fill the views from it, and the rate at
// which the views take saved and failed files while the event loop keeps
// running, with the longest single pass of the event loop meanwhile.
//   views_benchmark [URLS [FOLDERS [LIVE]]]
// URLS saved or failed entries spread over FOLDERS folders (one folder puts
// every file side by side), then LIVE more files reported as a crawl would.
#include <QApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <cstdio>
#include <cstdlib>
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
#include "ui/site_tree_ctrl.h"
#include "ui/thread_view.h"
#include "ui/user_prompts.h"

namespace {

constexpr int kWorkers = 16;
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

double Milliseconds(const QElapsedTimer& timer) {
    return static_cast<double>(timer.nsecsElapsed()) / 1e6;
}

// Reports files as the frame does for the crawl's messages, handing control
// to the event loop after every round of one message per worker.
void FeedLiveFiles(CMainFrame& frame, int first, int count, int folders) {
    const CLocalFileMapping mapping(
        CFilePath(frame.GetDocument().GetSettings().GetDownloadFolder()));
    QElapsedTimer total;
    QElapsedTimer pass;
    double longestPass = 0;
    total.start();
    for (int page = first; page < first + count; ++page) {
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
        if (worker == kWorkers - 1) {
            pass.start();
            QCoreApplication::processEvents();
            longestPass = std::max(longestPass, Milliseconds(pass));
        }
    }
    QCoreApplication::processEvents();
    const double elapsed = Milliseconds(total);
    std::printf("live: %d files in %.0f ms, %.0f files/s, longest event-loop pass %.1f ms\n", count,
                elapsed, count * 1000.0 / elapsed, longestPass);
}

}  // namespace

int main(int argc, char* argv[]) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    const int urls = argc > 1 ? std::atoi(argv[1]) : 100000;
    const int folders = argc > 2 ? std::max(1, std::atoi(argv[2])) : 100;
    const int live = argc > 3 ? std::atoi(argv[3]) : 20000;
    QApplication app(argc, argv);
    QTemporaryDir work;
    // The program's settings stay out of the user's own.
    qputenv("TARNWICK_CONFIG_DIR", work.path().toUtf8());
    const std::string project = work.filePath("big.tkp").toStdString();
    WriteProject(project, urls, folders);

    {
        // The document's own share: reading the project file.
        QElapsedTimer load;
        load.start();
        CQuillmoorDoc doc(nullptr);
        doc.OpenDocument(project);
        std::printf("reading the project file alone: %.0f ms\n", Milliseconds(load));
    }

    CRecentFileList recent;
    CMainFrame frame(recent);
    frame.show();
    QCoreApplication::processEvents();
    QElapsedTimer timer;
    timer.start();
    if (!frame.OpenProject(project)) {
        std::fprintf(stderr, "cannot open %s\n", project.c_str());
        return 1;
    }
    const double opened = Milliseconds(timer);
    frame.GetFileView().FlushPendingRows();
    QCoreApplication::processEvents();
    std::printf(
        "open %d URLs in %d folders: %.0f ms to fill the views, %.0f ms until drawn; "
        "%d rows, %d top-level items\n",
        urls, folders, opened, Milliseconds(timer), frame.GetFileView().GetItemCount(),
        frame.GetDirView().GetTree().topLevelItemCount());
    FeedLiveFiles(frame, urls, live, folders);
    return 0;
}
