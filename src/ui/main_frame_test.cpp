#include "ui/main_frame.h"

#include <unistd.h>

#include <QAction>
#include <QGuiApplication>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QScreen>
#include <QSplitter>
#include <QStatusBar>
#include <QToolBar>
#include <QtTest>
#include <filesystem>
#include <limits>

#include "engine/project_lock.h"
#include "platform/registry_key.h"
#include "support/config_folder.h"
#include "support/nginx_server.h"
#include "support/scripted_prompts.h"
#include "support/scripted_worker.h"
#include "support/temp_folder.h"
#include "support/ui_test_registry.h"
#include "ui/file_view.h"
#include "ui/quillmoor_app.h"
#include "ui/thread_view.h"

using testing_support::ConfigFolder;
using testing_support::NginxServer;
using testing_support::ReadFile;
using testing_support::Script;
using testing_support::ScriptedPrompts;
using testing_support::ScriptedSite;
using testing_support::ScriptedWorker;
using testing_support::TempFolder;
using testing_support::WriteFile;

namespace {

// The commands whose enabling depends on the project, and for each the
// states it may be chosen in: no project, Stopped, Running, Paused.
struct EnablingRow {
    CommandId id;
    bool enabled[4];
};

constexpr EnablingRow kEnabling[] = {
    {ID_FILE_NEW_PROJECT, {true, true, true, true}},
    {ID_FILE_OPEN, {true, true, true, true}},
    {ID_FILE_SAVE, {false, true, true, true}},
    {ID_FILE_SAVE_AS, {false, true, true, true}},
    {ID_FILE_OPTIONS, {true, true, false, false}},
    {ID_APP_EXIT, {true, true, true, true}},
    {ID_PROJECT_START, {false, true, false, true}},
    {ID_PROJECT_PAUSE, {false, false, true, false}},
    {ID_PROJECT_STOP, {false, false, true, true}},
    {ID_PROJECT_PROPERTIES, {false, true, false, true}},
    {ID_PROJECT_BROWSE_OFFLINE, {false, true, false, false}},
    {ID_PROJECT_SUMMARY, {false, true, false, true}},
    {ID_PROJECT_CREATE_CHM, {false, true, false, false}},
    {ID_APP_ABOUT, {true, true, true, true}},
};

enum Column { kNoProject, kStopped, kRunning, kPaused };

void CheckEnabling(CMainFrame& frame, Column column, bool deleteAll) {
    for (const EnablingRow& row : kEnabling) {
        QVERIFY2(frame.GetAction(row.id)->isEnabled() == row.enabled[column],
                 qPrintable(QString("command %1 in column %2").arg(row.id).arg(column)));
    }
    QCOMPARE(frame.GetAction(ID_PROJECT_DELETE_ALL)->isEnabled(), deleteAll);
}

ProjectRunState State(CMainFrame& frame) {
    return frame.GetDocument().GetController().GetState();
}

// Starts a crawl and waits for the message that it has ended.
void RunCrawl(CMainFrame& frame, const Script& script) {
    const qsizetype shown = script.messages.size();
    frame.GetAction(ID_PROJECT_START)->trigger();
    QTRY_COMPARE_WITH_TIMEOUT(script.messages.size(), shown + 1, 20000);
}

QStringList PaneTexts(const CMainFrame& frame) {
    return {frame.GetPaneText(0), frame.GetPaneText(1), frame.GetPaneText(2)};
}

// A window with a new project on a site whose second page holds its worker
// until the crawl is stopped, so that the crawl runs as long as the test needs.
struct EndlessCrawl {
    EndlessCrawl() {
        site.Add("http://example.org/", {ERR_SUCCESS, {"http://example.org/slow.htm"}, false, -1});
        site.Add("http://example.org/slow.htm", {ERR_SUCCESS, {}, true, -1});
        script.projectUrl = "http://example.org/";
        script.saveFileName = QString::fromStdString(path);
        frame = std::make_unique<CMainFrame>(recent, std::make_unique<ScriptedPrompts>(script),
                                             ScriptedWorker::Factory(site));
    }

    TempFolder folder;
    const std::string path = folder.File("p.tkp");
    ScriptedSite site;
    Script script;
    CRecentFileList recent;
    std::unique_ptr<CMainFrame> frame;
};

}  // namespace

class CMainFrameTest : public QObject {
    Q_OBJECT

private slots:
    void init() { m_config = std::make_unique<ConfigFolder>(); }
    void cleanup() { m_config.reset(); }

    void crawlRunsThroughTheToolbar();
    void newProjectProposesTheHostAsFileName();
    void unwritableNewProjectAsksForAnotherName_data();
    void unwritableNewProjectAsksForAnotherName();
    void startFailsWithTheOpenError_data();
    void startFailsWithTheOpenError();
    void emptyFileOnTheCommandLineStartsANewProject_data();
    void emptyFileOnTheCommandLineStartsANewProject();
    void recentFilesOutliveTheProgram();
    void recentFileShowsItsPathAsWritten();
    void layoutOutlivesTheWindow();
    void unusablePlacementCentresTheWindow_data();
    void unusablePlacementCentresTheWindow();
    void countPanesShowWholeFigures();
    void threadPaneShowsEightWorkersWithoutScrolling();
    void fileDialogsOpenBesideTheProjectElseInTheFolderLastUsed();
    void toolbarHiddenFromItsOwnMenuComesBackAtOnce();
    void endedCrawlLeavesTheNextProjectAlone();
    void projectLockKeepsTheFrontEndsApart();
    void runningCrawlIsSavedAsItGoes();
    void unresolvedStartSaysWhyItFailed();
    void statusBarCountsOneCrawlOfOneProject();
    void robotsSkipIsNoFailure();

private:
    std::unique_ptr<ConfigFolder> m_config;

    std::unique_ptr<CMainFrame> MakeFrame(Script& script, CRecentFileList& recent) {
        return std::make_unique<CMainFrame>(recent, std::make_unique<ScriptedPrompts>(script));
    }
};

void CMainFrameTest::crawlRunsThroughTheToolbar() {
    if (!NginxServer::IsInstalled()) {
        QSKIP("nginx is not installed");
    }
    TempFolder folder;
    NginxServer nginx(folder.Path() / "nginx");
    // Slow enough that the crawl is still running when it is paused.
    nginx.SetServerDirectives("    limit_rate 16k;\n");
    std::string index = "<html><body>";
    for (int file = 0; file < 4; ++file) {
        const std::string name = "big" + std::to_string(file) + ".bin";
        WriteFile((nginx.DocumentRoot() / name).string(), std::string(256 * 1024, 'x'));
        index += "<a href=\"" + name + "\">" + name + "</a>";
    }
    WriteFile((nginx.DocumentRoot() / "index.html").string(), index + "</body></html>");
    nginx.Start();

    Script script;
    script.projectUrl = "http://127.0.0.1:" + std::to_string(nginx.Port()) + "/";
    script.projectThreads = 2;
    script.saveFileName = QString::fromStdString(folder.File("site.tkp"));
    CRecentFileList recent;
    auto frame = MakeFrame(script, recent);
    frame->show();
    CheckEnabling(*frame, kNoProject, false);
    QVERIFY(frame->NewProject());
    CheckEnabling(*frame, kStopped, false);

    frame->GetAction(ID_PROJECT_START)->trigger();
    QCOMPARE(State(*frame), Running);
    CheckEnabling(*frame, kRunning, false);
    QTRY_VERIFY_WITH_TIMEOUT(frame->GetPaneText(1) != "0 files saved", 20000);
    QVERIFY(!frame->close());
    QVERIFY(frame->isVisible());

    frame->GetAction(ID_PROJECT_PAUSE)->trigger();
    QCOMPARE(State(*frame), Paused);
    CheckEnabling(*frame, kPaused, true);
    frame->GetAction(ID_PROJECT_START)->trigger();
    QCOMPARE(State(*frame), Running);
    frame->GetAction(ID_PROJECT_PAUSE)->trigger();
    // A late end message of the paused manager must not end the project.
    QTest::qWait(200);
    QCOMPARE(State(*frame), Paused);
    QVERIFY(script.messages.isEmpty());

    frame->GetAction(ID_PROJECT_STOP)->trigger();
    QCOMPARE(State(*frame), Stopped);
    QCOMPARE(script.messages.size(), 1);
    const QString saved = frame->GetPaneText(0);
    QCOMPARE(script.messages[0],
             "Project completed: " + saved.section(' ', 0, 0) + " files were downloaded.");
    CheckEnabling(*frame, kStopped, true);

    frame->GetAction(ID_PROJECT_BROWSE_OFFLINE)->trigger();
    const QString downloads = QString::fromStdString(folder.File("site.files"));
    QCOMPARE(script.opened,
             QStringList{downloads + QString("/127.0.0.1_%1/index.htm").arg(nginx.Port())});
    if (!testing_support::FindProgram("chmcmd").empty()) {
        script.saveFileName = QString::fromStdString(folder.File("site.chm"));
        frame->GetAction(ID_PROJECT_CREATE_CHM)->trigger();
        QCOMPARE(script.opened.value(1), script.saveFileName);
        QVERIFY(ReadFile(folder.File("site.chm")).starts_with("ITSF"));
    }

    frame->GetAction(ID_PROJECT_DELETE_ALL)->trigger();
    CheckEnabling(*frame, kStopped, false);
    QVERIFY(frame->close());
}

void CMainFrameTest::newProjectProposesTheHostAsFileName() {
    TempFolder folder;
    Script script;
    script.projectUrl = "http://a.b.c/docs/";
    script.saveFileName = QString::fromStdString(folder.File("chosen.tkp"));
    CRecentFileList recent;
    auto frame = MakeFrame(script, recent);
    QCOMPARE(frame->windowTitle(), "Untitled - Tarnwick");

    QVERIFY(frame->NewProject());
    QCOMPARE(script.proposedNames, QStringList{"a_b_c.tkp"});
    QVERIFY(!ReadFile(folder.File("chosen.tkp")).empty());
    QCOMPARE(frame->GetDocument().GetPathName(), folder.File("chosen.tkp"));
    QCOMPARE(frame->windowTitle(), "chosen - Tarnwick");
    QCOMPARE(frame->GetDocument().GetSettings().GetStartUrl().GetHost(), "a.b.c");
}

void CMainFrameTest::unwritableNewProjectAsksForAnotherName_data() {
    QTest::addColumn<bool>("secondNameGiven");
    QTest::newRow("another name") << true;
    QTest::newRow("cancelled") << false;
}

void CMainFrameTest::unwritableNewProjectAsksForAnotherName() {
    QFETCH(bool, secondNameGiven);
    TempFolder folder;
    Script script;
    script.projectUrl = "http://a.b.c/docs/";
    script.projectThreads = 4;
    // Root may write into a read-only folder; no one writes into a missing one.
    script.firstSaveFileNames << QString::fromStdString(folder.File("missing/first.tkp"));
    if (secondNameGiven) {
        script.saveFileName = QString::fromStdString(folder.File("chosen.tkp"));
    }
    CRecentFileList recent;
    auto frame = MakeFrame(script, recent);

    QCOMPARE(frame->NewProject(), secondNameGiven);
    QCOMPARE(script.messages, QStringList{"Failed to save document."});
    QCOMPARE(script.proposedNames, (QStringList{"a_b_c.tkp", "first.tkp"}));
    QCOMPARE(script.projectSheets, 1);
    QCOMPARE(std::filesystem::exists(folder.File("chosen.tkp")), secondNameGiven);
    if (secondNameGiven) {
        const CProjectSettings& settings = frame->GetDocument().GetSettings();
        QCOMPARE(settings.GetStartUrl().GetHost(), "a.b.c");
        QCOMPARE(settings.GetThreadCount(), 4);
    }
}

void CMainFrameTest::startFailsWithTheOpenError_data() {
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("message");
    QTest::newRow("another product")
        << QByteArray("\x07\x00\x00\x00Notepad", 11) << "Unexpected file format.";
    QTest::newRow("cut short") << QByteArray("\x08\x00\x00\x00Tarn", 8)
                               << "Unexpected file format.";
    // Strings are stored with their terminating zero.
    const auto stored = [](const char* text) { return QByteArray(text, qstrlen(text) + 1); };
    QTest::newRow("another version")
        << stored("Tarnwick") + stored("1.1") << "Incompatible file version";
    QTest::newRow("no project record")
        << stored("Tarnwick") + stored("1.0") + stored("NONE") << "Failed to open document.";
}

void CMainFrameTest::startFailsWithTheOpenError() {
    QFETCH(QByteArray, content);
    QFETCH(QString, message);
    TempFolder folder;
    WriteFile(folder.File("other.tkp"), content.toStdString());
    Script script;
    CQuillmoorApp app(std::make_unique<ScriptedPrompts>(script));

    QVERIFY(!app.InitInstance({QString::fromStdString(folder.File("other.tkp"))}));
    QCOMPARE(script.messages, QStringList{message});
    QCOMPARE(script.warnings, QStringList{message});
    QVERIFY(!app.GetMainFrame()->isVisible());
    app.ExitInstance();
}

void CMainFrameTest::emptyFileOnTheCommandLineStartsANewProject_data() {
    QTest::addColumn<bool>("accepted");
    QTest::newRow("OK writes the project") << true;
    QTest::newRow("Cancel ends the program") << false;
}

void CMainFrameTest::emptyFileOnTheCommandLineStartsANewProject() {
    QFETCH(bool, accepted);
    TempFolder folder;
    const std::string path = folder.File("empty.tkp");
    WriteFile(path, "");
    Script script;
    script.projectUrl = "http://example.org/";
    script.projectAccepted = accepted;
    CQuillmoorApp app(std::make_unique<ScriptedPrompts>(script));

    QCOMPARE(app.InitInstance({QString::fromStdString(path)}), accepted);
    QVERIFY(script.proposedNames.isEmpty());
    QCOMPARE(ReadFile(path).empty(), !accepted);
    if (accepted) {
        QCOMPARE(app.GetMainFrame()->windowTitle(), "empty - Tarnwick");
        QVERIFY(app.GetMainFrame()->isVisible());
    }
    app.ExitInstance();
}

void CMainFrameTest::recentFilesOutliveTheProgram() {
    TempFolder folder;
    std::vector<std::string> written;
    for (int project = 0; project < 5; ++project) {
        Script script;
        script.projectUrl = "http://example.org/";
        written.push_back(folder.File("p" + std::to_string(project) + ".tkp"));
        WriteFile(written.back(), "");
        CQuillmoorApp app(std::make_unique<ScriptedPrompts>(script));
        QVERIFY(app.InitInstance({QString::fromStdString(written.back())}));
        app.ExitInstance();
    }
    CRecentFileList recent;
    recent.Load();
    const std::vector<std::string> newestFirst = {written[4], written[3], written[2], written[1]};
    QVERIFY(recent.GetFiles() == newestFirst);
}

void CMainFrameTest::recentFileShowsItsPathAsWritten() {
    TempFolder folder;
    std::filesystem::create_directories(folder.Path() / "R&D");
    const std::string path = folder.File("R&D/site.tkp");
    Script script;
    script.projectUrl = "http://example.org/";
    script.saveFileName = QString::fromStdString(path);
    CRecentFileList recent;
    auto frame = MakeFrame(script, recent);
    QVERIFY(frame->NewProject());
    script.saveFileName = QString::fromStdString(folder.File("other.tkp"));
    QVERIFY(frame->NewProject());

    QAction* second = nullptr;
    for (QAction* action : frame->menuBar()->actions().value(0)->menu()->actions()) {
        if (action->text().startsWith("&2 ")) {
            second = action;
        }
    }
    QVERIFY(second != nullptr);
    QCOMPARE(second->text(), "&2 " + QString::fromStdString(path).replace("&", "&&"));
    second->trigger();
    QCOMPARE(frame->GetDocument().GetPathName(), path);
}

void CMainFrameTest::countPanesShowWholeFigures() {
    Script script;
    CRecentFileList recent;
    auto frame = MakeFrame(script, recent);
    frame->show();
    const QList<QLabel*> panes = frame->statusBar()->findChildren<QLabel*>();
    QCOMPARE(panes.size(), 3);
    for (const QString& text : {QString("1234567 bytes/sec"), QString("1234567 files saved")}) {
        panes[2]->setText(text);
        QTRY_VERIFY(panes[2]->width() >= panes[2]->fontMetrics().horizontalAdvance(text));
        QVERIFY(panes[2]->width() >= 100);
    }
}

void CMainFrameTest::threadPaneShowsEightWorkersWithoutScrolling() {
    Script script;
    CRecentFileList recent;
    auto frame = MakeFrame(script, recent);
    frame->show();
    QVERIFY(QTest::qWaitForWindowExposed(frame.get()));
    CThreadView& view = frame->GetThreadView();
    for (const int workers : {8, 16}) {
        view.SetWorkerCount(workers);
        const QModelIndex eighth = view.model()->index(7, 0);
        QTRY_VERIFY(view.viewport()->rect().contains(view.visualRect(eighth)));
        QCOMPARE(view.indexAt(view.viewport()->rect().topLeft()).row(), 0);
    }
}

void CMainFrameTest::fileDialogsOpenBesideTheProjectElseInTheFolderLastUsed() {
    TempFolder first;
    TempFolder second;
    const QString firstPath = QString::fromStdString(first.Path().string());
    const QString secondPath = QString::fromStdString(second.Path().string());
    Script script;
    script.projectUrl = "http://example.org/";
    CRecentFileList recent;
    {
        auto frame = MakeFrame(script, recent);
        script.saveFileName = QString::fromStdString(first.File("site.tkp"));
        QVERIFY(frame->NewProject());
        script.saveFileName = QString::fromStdString(second.File("copy.tkp"));
        frame->GetAction(ID_FILE_SAVE_AS)->trigger();
        script.saveFileName.clear();
        frame->GetAction(ID_PROJECT_CREATE_CHM)->trigger();
        frame->GetAction(ID_FILE_OPEN)->trigger();
        QCOMPARE(script.dialogFolders, (QStringList{{}, firstPath, secondPath, secondPath}));
    }
    // The next run starts without a project.
    script.dialogFolders.clear();
    auto frame = MakeFrame(script, recent);
    frame->GetAction(ID_FILE_OPEN)->trigger();
    QCOMPARE(script.dialogFolders, QStringList{secondPath});
}

void CMainFrameTest::toolbarHiddenFromItsOwnMenuComesBackAtOnce() {
    Script script;
    CRecentFileList recent;
    auto frame = MakeFrame(script, recent);
    frame->show();
    QVERIFY(QTest::qWaitForWindowExposed(frame.get()));
    auto* toolBar = frame->findChild<QToolBar*>("Toolbar");
    QVERIFY(toolBar != nullptr);
    QAction* viewToolBar = frame->GetAction(ID_VIEW_TOOLBAR);

    // The toolbar's right-click menu.
    const std::unique_ptr<QMenu> menu(frame->createPopupMenu());
    QVERIFY(menu->actions().contains(toolBar->toggleViewAction()));
    toolBar->toggleViewAction()->trigger();
    QVERIFY(!toolBar->isVisible());
    QVERIFY(!viewToolBar->isChecked());
    viewToolBar->trigger();
    QVERIFY(toolBar->isVisible());
    QVERIFY(viewToolBar->isChecked());

    // Hidden with its window, the toolbar is still meant to be shown.
    frame->hide();
    QVERIFY(viewToolBar->isChecked());
    frame->show();
    QVERIFY(toolBar->isVisible());
}

void CMainFrameTest::layoutOutlivesTheWindow() {
    Script script;
    CRecentFileList recent;
    auto splitters = [](CMainFrame& frame) {
        auto* outer = qobject_cast<QSplitter*>(frame.centralWidget());
        return std::pair{outer, qobject_cast<QSplitter*>(outer->widget(0))};
    };
    {
        auto frame = MakeFrame(script, recent);
        frame->show();
        const auto [outer, inner] = splitters(*frame);
        QCOMPARE(inner->sizes().value(0), 200);
        QCOMPARE(outer->sizes().value(0), 400);
        frame->setGeometry(40, 50, 900, 700);
        inner->setSizes({260, 640});
        outer->setSizes({330, 300});
    }
    auto frame = MakeFrame(script, recent);
    frame->show();
    const auto [outer, inner] = splitters(*frame);
    QCOMPARE(frame->size(), QSize(900, 700));
    QCOMPARE(inner->sizes().value(0), 260);
    QCOMPARE(outer->sizes().value(0), 330);
}

void CMainFrameTest::endedCrawlLeavesTheNextProjectAlone() {
    TempFolder folder;
    ScriptedSite site;
    site.Add("http://example.org/", {ERR_SUCCESS, {"http://example.org/a.htm"}, false, -1});
    Script script;
    script.projectUrl = "http://example.org/";
    script.saveFileName = QString::fromStdString(folder.File("first.tkp"));
    CRecentFileList recent;
    CMainFrame frame(recent, std::make_unique<ScriptedPrompts>(script),
                     ScriptedWorker::Factory(site));
    QVERIFY(frame.NewProject());
    script.saveFileName = QString::fromStdString(folder.File("second.tkp"));
    QVERIFY(frame.NewProject());
    QVERIFY(frame.OpenProject(folder.File("first.tkp")));

    // The crawl ends before the window has seen any of its posted messages.
    frame.GetAction(ID_PROJECT_START)->trigger();
    CDownloadManager& manager = *frame.GetDocument().GetController().GetManager();
    while (manager.WaitForEnd(10) != 0) {
        CMessageQueue::Current()->DeliverSentMessages();
    }
    QVERIFY(frame.OpenProject(folder.File("second.tkp")));
    QTest::qWait(100);

    QCOMPARE(script.messages, QStringList{});
    QVERIFY(!frame.GetDocument().IsModified());
    QCOMPARE(frame.GetFileView().GetItemCount(), 0);
}

void CMainFrameTest::projectLockKeepsTheFrontEndsApart() {
    EndlessCrawl crawl;
    CMainFrame& frame = *crawl.frame;
    const Script& script = crawl.script;
    QVERIFY(frame.NewProject());
    const std::string& path = crawl.path;
    const std::string before = ReadFile(path);
    const std::string ownPid = std::to_string(::getpid());
    {
        // Taken as the command line takes it.
        CProjectLock other;
        pid_t holder = 0;
        QVERIFY(other.Acquire(path, holder));
        frame.GetAction(ID_PROJECT_START)->trigger();
        QCOMPARE(script.warnings,
                 QStringList{QString::fromStdString(path + " is in use by process " + ownPid)});
        QCOMPARE(State(frame), Stopped);
        QCOMPARE(ReadFile(path), before);
    }

    frame.GetAction(ID_PROJECT_START)->trigger();
    QCOMPARE(State(frame), Running);
    CProjectLock second;
    pid_t holder = 0;
    QVERIFY(!second.Acquire(path, holder));
    QCOMPARE(holder, ::getpid());
    frame.GetAction(ID_PROJECT_STOP)->trigger();
    QTRY_COMPARE(State(frame), Stopped);
    // The ended crawl's project stays the window's to save.
    QVERIFY(!second.Acquire(path, holder));
    QVERIFY(frame.OpenProject(path));
    QVERIFY(second.Acquire(path, holder));
}

void CMainFrameTest::runningCrawlIsSavedAsItGoes() {
    EndlessCrawl crawl;
    CMainFrame& frame = *crawl.frame;
    const Script& script = crawl.script;
    QVERIFY(frame.NewProject());
    frame.GetDocument().SetAutoSaveInterval(std::chrono::milliseconds(0));
    frame.GetAction(ID_PROJECT_START)->trigger();

    // Killed now, the project would reopen paused, with the pages it has.
    const auto savedWhileRunning = [&] {
        CQuillmoorDoc saved(nullptr);
        return saved.OpenDocument(crawl.path) && saved.GetController().GetState() == Paused &&
               saved.GetController().GetStats().queued == 2;
    };
    QTRY_VERIFY_WITH_TIMEOUT(savedWhileRunning(), 10000);
    QCOMPARE(State(frame), Running);
    QVERIFY(script.messages.isEmpty());
    frame.GetAction(ID_PROJECT_STOP)->trigger();
    QTRY_COMPARE(State(frame), Stopped);
}

void CMainFrameTest::unresolvedStartSaysWhyItFailed() {
    TempFolder folder;
    ScriptedSite site;
    site.Add("http://nowhere.invalid/", {ERR_HOST_NOT_FOUND, {}, false, -1});
    Script script;
    script.projectUrl = "http://nowhere.invalid/";
    script.saveFileName = QString::fromStdString(folder.File("nowhere.tkp"));
    CRecentFileList recent;
    CMainFrame frame(recent, std::make_unique<ScriptedPrompts>(script),
                     ScriptedWorker::Factory(site));
    QVERIFY(frame.NewProject());

    RunCrawl(frame, script);
    QCOMPARE(script.messages.last(), "Project completed: 0 files were downloaded.");
    QCOMPARE(frame.GetPaneText(0), "0 files saved, 0 unchanged, 1 failed");
    CFileView& files = frame.GetFileView();
    files.FlushPendingRows();
    QCOMPARE(files.model()->rowCount(), 1);
    QCOMPARE(files.model()->index(0, CFileView::kUrlColumn).data(Qt::ToolTipRole).toString(),
             "0x2001030A: The host name does not exist!");
}

void CMainFrameTest::statusBarCountsOneCrawlOfOneProject() {
    TempFolder folder;
    ScriptedSite site;
    site.Add("http://example.org/",
             {ERR_SUCCESS, {"http://example.org/a.htm", "http://example.org/gone.htm"}, false, -1});
    // Known by its date on the second crawl.
    site.Add("http://example.org/a.htm", {ERR_SUCCESS, {}, false, 1700000000});
    Script script;
    script.projectUrl = "http://example.org/";
    script.saveFileName = QString::fromStdString(folder.File("first.tkp"));
    CRecentFileList recent;
    CMainFrame frame(recent, std::make_unique<ScriptedPrompts>(script),
                     ScriptedWorker::Factory(site));
    QVERIFY(frame.NewProject());

    RunCrawl(frame, script);
    const QStringList afterFirst = {"2 files saved, 0 unchanged, 1 failed", "0 files saved",
                                    "0 bytes/sec"};
    QCOMPARE(PaneTexts(frame), afterFirst);
    RunCrawl(frame, script);
    QCOMPARE(frame.GetPaneText(0), "1 files saved, 1 unchanged, 1 failed");

    // Neither another project nor a new one shows this crawl's counts.
    script.saveFileName = QString::fromStdString(folder.File("second.tkp"));
    QVERIFY(frame.NewProject());
    const QStringList idle = {"Ready", "0 files saved", "0 bytes/sec"};
    QCOMPARE(PaneTexts(frame), idle);
    RunCrawl(frame, script);
    QVERIFY(frame.OpenProject(folder.File("first.tkp")));
    QCOMPARE(PaneTexts(frame), idle);
}

void CMainFrameTest::robotsSkipIsNoFailure() {
    TempFolder folder;
    ScriptedSite site;
    site.Add("http://example.org/",
             {ERR_SUCCESS,
              {"http://example.org/private/a.htm", "http://example.org/gone.htm"},
              false,
              -1});
    site.Add("http://example.org/private/a.htm", {ERR_ROBOTS_DISALLOWED, {}, false, -1});
    Script script;
    script.projectUrl = "http://example.org/";
    script.saveFileName = QString::fromStdString(folder.File("robots.tkp"));
    CRecentFileList recent;
    CMainFrame frame(recent, std::make_unique<ScriptedPrompts>(script),
                     ScriptedWorker::Factory(site));
    QVERIFY(frame.NewProject());

    RunCrawl(frame, script);
    QCOMPARE(frame.GetPaneText(0), "1 files saved, 0 unchanged, 1 failed, 1 skipped");
    CFileView& files = frame.GetFileView();
    files.FlushPendingRows();
    QStringList states;
    for (int row = 0; row < files.GetItemCount(); ++row) {
        states << QString::number(files.GetItemImage(row)) + " " +
                      files.GetItemText(row, CFileView::kUrlColumn);
    }
    // Sorted by the image's number: failed, saved, skipped.
    states.sort();
    QCOMPARE(states,
             (QStringList{
                 QString("%1 http://example.org/gone.htm").arg(CFileView::kFailedImage),
                 QString("%1 http://example.org/").arg(CFileView::kSavedImage),
                 QString("%1 http://example.org/private/a.htm").arg(CFileView::kSkippedImage),
             }));
    // Reopened, the project shows the skip as the crawl did.
    QVERIFY(frame.OpenProject(script.saveFileName.toStdString()));
    files.FlushPendingRows();
    QCOMPARE(files.GetItemCount(), 3);
    QCOMPARE(files.GetItemImage(1), int{CFileView::kSkippedImage});
}

void CMainFrameTest::unusablePlacementCentresTheWindow_data() {
    // The normal rectangle: left, top, right, bottom.
    QTest::addColumn<QList<int>>("normal");
    QTest::newRow("beyond every screen") << QList<int>{-30000, -30000, -29100, -29300};
    QTest::newRow("right of left") << QList<int>{500, 400, 100, 100};
    QTest::newRow("wider than any number")
        << QList<int>{std::numeric_limits<int>::min(), 0, std::numeric_limits<int>::max(), 600};
}

void CMainFrameTest::unusablePlacementCentresTheWindow() {
    QFETCH(QList<int>, normal);
    const std::int32_t record[11] = {44, 0,         1,         -1,        -1,       -1,
                                     -1, normal[0], normal[1], normal[2], normal[3]};
    GetSectionKey("Layout").WriteBinary("Window Placement", record, sizeof record);
    Script script;
    CRecentFileList recent;
    auto frame = MakeFrame(script, recent);
    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    QCOMPARE(frame->geometry().center(), screen.center());
    QCOMPARE(frame->size(), QSize(800, 600));
}

TARNWICK_UI_TEST(CMainFrameTest);
#include "main_frame_test.moc"
