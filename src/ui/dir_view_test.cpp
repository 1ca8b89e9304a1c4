#include "ui/dir_view.h"

#include <QAction>
#include <QMenu>
#include <QRegularExpression>
#include <QtTest>

#include "base/url.h"
#include "engine/download_list.h"
#include "engine/download_task.h"
#include "storage/local_file_mapping.h"
#include "support/config_folder.h"
#include "support/nginx_server.h"
#include "support/scripted_prompts.h"
#include "support/temp_folder.h"
#include "support/thread_rows.h"
#include "support/ui_test_registry.h"
#include "ui/file_view.h"
#include "ui/main_frame.h"
#include "ui/recent_file_list.h"
#include "ui/site_tree_ctrl.h"
#include "ui/thread_view.h"

using testing_support::ConfigFolder;
using testing_support::NginxServer;
using testing_support::Script;
using testing_support::ScriptedPrompts;
using testing_support::TempFolder;
using testing_support::ThreadRows;
using testing_support::WriteFile;

namespace {

void DumpItem(const QModelIndex& item, int depth, QStringList& lines) {
    lines << QString(depth, ' ') + item.data().toString();
    for (int child = 0; child < item.model()->rowCount(item); ++child) {
        DumpItem(item.model()->index(child, 0, item), depth + 1, lines);
    }
}

// One line per item, indented by its depth, in tree order.
QStringList Dump(CDirView& view) {
    QStringList lines;
    const QAbstractItemModel& tree = *view.GetTree().model();
    for (int top = 0; top < tree.rowCount(); ++top) {
        DumpItem(tree.index(top, 0), 0, lines);
    }
    return lines;
}

// Each file row as its state letter and URL, sorted by URL.
QStringList FileRows(const CFileView& view) {
    QStringList rows;
    for (int row = 0; row < view.GetItemCount(); ++row) {
        rows << QString(view.GetItemImage(row) == CFileView::kSavedImage ? "S " : "F ") +
                    view.GetItemText(row, CFileView::kUrlColumn);
    }
    return rows;
}

CProjectSettings MakeSettings(const std::string& startUrl, int threads) {
    CProjectSettings settings;
    CUrl url;
    url.Parse(startUrl);
    settings.SetStartUrl(url);
    settings.SetThreadCount(threads);
    return settings;
}

struct SavedNames {
    std::string localUrl;
    std::string localPath;
    std::string storedPath;
};

// Where the crawl saves an HTML page or an FTP file.
SavedNames MapSaved(const CLocalFileMapping& mapping, const CUrl& url) {
    SavedNames names;
    if (url.GetScheme() == SchemeFtp) {
        mapping.MapFtpUrlToLocal(url, names.localUrl, names.localPath, names.storedPath);
    } else {
        mapping.MapUrlToLocal(url, 3, names.localUrl, names.localPath, names.storedPath);
    }
    return names;
}

}  // namespace

class CDirViewTest : public QObject {
    Q_OBJECT

private slots:
    void init() { m_config = std::make_unique<ConfigFolder>(); }
    void cleanup() { m_config.reset(); }

    void treeFollowsTheLocalUrls_data();
    void treeFollowsTheLocalUrls();
    void clearTreeForgetsEveryLevel();
    void doubleClickOpensFilesOnly();
    void viewsRefillFromTheProjectFile();
    void largeProjectFillsWhileTheWindowAnswers();
    void liveCrawlFillsAllThreeViews();

private:
    std::unique_ptr<ConfigFolder> m_config;
};

void CDirViewTest::treeFollowsTheLocalUrls_data() {
    QTest::addColumn<QStringList>("localUrls");
    QTest::addColumn<QStringList>("tree");
    const QList<std::pair<const char*, std::pair<QStringList, QStringList>>> cases = {
        {"sorted leaves, case ignored",
         {{"http://h/a/c.htm", "http://h/a/b.htm", "http://h/a/B2.htm"},
          {"http://h", " a", "  b.htm", "  B2.htm", "  c.htm"}}},
        {"one top-level item per host folder",
         {{"http://h_8080/x.htm", "http://h/y.htm", "http://h_8080/a/z.htm"},
          {"http://h", " y.htm", "http://h_8080", " a", "  z.htm", " x.htm"}}},
        {"directory page", {{"http://h/dir/index.htm"}, {"http://h", " dir", "  index.htm"}}},
        {"FTP under its own scheme",
         {{"http://h/f.zip", "ftp://h/pub/f.zip"},
          {"ftp://h", " pub", "  f.zip", "http://h", " f.zip"}}},
        {"same file twice", {{"http://h/a.htm", "http://h/a.htm"}, {"http://h", " a.htm"}}},
        {"file beside its folder's name",
         {{"http://h/a/b/c.txt", "http://h/a/b"}, {"http://h", " a", "  b", "   c.txt"}}},
    };
    for (const auto& [name, data] : cases) {
        QTest::newRow(name) << data.first << data.second;
    }
}

void CDirViewTest::treeFollowsTheLocalUrls() {
    QFETCH(QStringList, localUrls);
    QFETCH(QStringList, tree);
    CQuillmoorDoc doc(nullptr);
    Script script;
    ScriptedPrompts prompts(script);
    // Live saves and a project's refill build the same tree.
    for (bool fill : {false, true}) {
        CDirView view(doc, prompts);
        for (const QString& url : localUrls) {
            view.AddSavedFile(url.toStdString(), "/dl/" + url.section('/', -1).toStdString(),
                              !fill);
        }
        QCOMPARE(Dump(view), tree);
    }
}

void CDirViewTest::clearTreeForgetsEveryLevel() {
    CQuillmoorDoc doc(nullptr);
    Script script;
    ScriptedPrompts prompts(script);
    CDirView view(doc, prompts);
    view.AddSavedFile("http://h/a/b.htm", "/dl/h/a/b.htm", true);
    view.ClearTree();
    QCOMPARE(view.GetTree().model()->rowCount(), 0);
    view.AddSavedFile("http://h/a/b.htm", "/dl/h/a/b.htm", true);
    QCOMPARE(Dump(view), (QStringList{"http://h", " a", "  b.htm"}));
}

void CDirViewTest::doubleClickOpensFilesOnly() {
    TempFolder folder;
    CQuillmoorDoc doc(nullptr);
    QVERIFY(doc.NewProject(folder.File("site.tkp"), MakeSettings("http://127.0.0.1:8080/", 1)));
    const CLocalFileMapping mapping(CFilePath(doc.GetSettings().GetDownloadFolder()));
    Script script;
    ScriptedPrompts prompts(script);
    CDirView view(doc, prompts);
    QStringList saved;
    for (const char* url : {"http://127.0.0.1:8080/a/b.htm", "ftp://127.0.0.1/pub/f.zip"}) {
        CUrl parsed;
        parsed.Parse(url);
        const SavedNames names = MapSaved(mapping, parsed);
        view.AddSavedFile(names.localUrl, names.localPath, true);
        saved << QString::fromStdString(names.localPath);
    }
    view.resize(300, 300);
    view.show();
    QVERIFY(QTest::qWaitForWindowExposed(&view));
    CSiteTreeCtrl& tree = view.GetTree();
    // A double click as the window system delivers it: press, release,
    // double click, release.
    auto doubleClick = [&tree](const QModelIndex& item) {
        QWidget* viewport = tree.viewport();
        const QPoint point = tree.visualRect(item).center();
        QTest::mouseClick(viewport, Qt::LeftButton, {}, point);
        QMouseEvent event(QEvent::MouseButtonDblClick, point, viewport->mapToGlobal(point),
                          Qt::LeftButton, Qt::LeftButton, {});
        QApplication::sendEvent(viewport, &event);
        QTest::mouseRelease(viewport, Qt::LeftButton, {}, point);
    };
    const QAbstractItemModel& model = *tree.model();
    const auto child = [&model](const QModelIndex& parent, int row) {
        return model.index(row, 0, parent);
    };

    const QPersistentModelIndex folderItem = child(child({}, 1), 0);
    QCOMPARE(folderItem.data().toString(), "a");
    QVERIFY(tree.isExpanded(folderItem));
    doubleClick(folderItem);
    QVERIFY(!tree.isExpanded(folderItem));
    doubleClick(folderItem);
    QVERIFY(tree.isExpanded(folderItem));
    QTest::qWait(50);
    QVERIFY(script.opened.isEmpty());

    doubleClick(child(folderItem, 0));
    QTRY_COMPARE(script.opened, QStringList{saved[0]});
    doubleClick(child(child(child({}, 0), 0), 0));
    QTRY_COMPARE(script.opened, saved);
}

void CDirViewTest::viewsRefillFromTheProjectFile() {
    TempFolder folder;
    const std::string path = folder.File("site.tkp");
    {
        CQuillmoorDoc doc(nullptr);
        QVERIFY(doc.NewProject(path, MakeSettings("http://127.0.0.1:8080/", 3)));
        const CLocalFileMapping mapping(CFilePath(doc.GetSettings().GetDownloadFolder()));
        CDownloadList& list = doc.GetController().GetManager()->GetList();
        struct Entry {
            const char* url;
            bool saved;
            ResultCode code;
        };
        const Entry entries[] = {
            {"http://127.0.0.1:8080/", true, ERR_SUCCESS},
            {"http://127.0.0.1:8080/a/b.htm", true, ERR_PAGE_NOT_PARSED},
            {"http://127.0.0.1:8080/gone.htm", false, ERR_CLIENT_RULE},
            {"http://127.0.0.1:8080/cut.htm", false, ERR_ATTEMPT_INTERRUPTED},
            {"http://127.0.0.1:8080/queued.htm", false, ERR_SUCCESS},
            {"http://127.0.0.1:8080/unparsed.htm", false, ERR_PAGE_NOT_PARSED},
            {"ftp://127.0.0.1/pub/f.zip", true, ERR_SUCCESS},
        };
        for (const Entry& entry : entries) {
            QVERIFY(list.Add(entry.url, 0, true));
            CUrl url;
            url.Parse(entry.url);
            if (entry.saved) {
                QVERIFY(list.MarkDone(url, MapSaved(mapping, url).storedPath, -1, 10));
            }
            if (entry.code != ERR_SUCCESS) {
                QVERIFY(list.MarkError(url, entry.code));
            }
        }
        QVERIFY(doc.Save());
    }

    Script script;
    CRecentFileList recent;
    CMainFrame frame(recent, std::make_unique<ScriptedPrompts>(script));
    QVERIFY(frame.OpenProject(path));
    QCOMPARE(FileRows(frame.GetFileView()),
             (QStringList{"S http://127.0.0.1:8080/", "S http://127.0.0.1:8080/a/b.htm",
                          "F http://127.0.0.1:8080/gone.htm",
                          "F http://127.0.0.1:8080/unparsed.htm", "S ftp://127.0.0.1/pub/f.zip"}));
    QCOMPARE(Dump(frame.GetDirView()),
             (QStringList{"ftp://127.0.0.1", " pub", "  f.zip", "http://127.0.0.1_8080", " a",
                          "  b.htm", " index.htm"}));
    QCOMPARE(ThreadRows(frame.GetThreadView()), (QStringList{"0|||", "1|||", "2|||"}));

    // The file list's commands on the saved page, then on the refused one,
    // which has no local file.
    CFileView& files = frame.GetFileView();
    files.FlushPendingRows();
    const QList<QAction*> commands = files.GetPopupMenu()->actions();
    QCOMPARE(commands.value(1)->text(), "Open &File\tCtrl+F");
    files.setCurrentIndex(files.model()->index(1, CFileView::kUrlColumn));
    commands[1]->trigger();
    commands[2]->trigger();
    files.setCurrentIndex(files.model()->index(2, CFileView::kUrlColumn));
    commands[1]->trigger();
    const QString downloads =
        QString::fromStdString(frame.GetDocument().GetSettings().GetDownloadFolder());
    QCOMPARE(script.opened,
             (QStringList{downloads + "/127.0.0.1_8080/a/b.htm", "http://127.0.0.1:8080/a/b.htm"}));

    frame.GetAction(ID_PROJECT_DELETE_ALL)->trigger();
    QCOMPARE(frame.GetDirView().GetTree().model()->rowCount(), 0);
    QCOMPARE(frame.GetFileView().GetItemCount(), 0);
    QCOMPARE(frame.GetThreadView().GetItemCount(), 0);
}

void CDirViewTest::largeProjectFillsWhileTheWindowAnswers() {
    // Far more than one slice of the event loop takes in.
    constexpr int kFiles = 30000;
    TempFolder folder;
    const std::string large = folder.File("large.tkp");
    const std::string small = folder.File("small.tkp");
    for (const auto& [path, files] : {std::pair{large, kFiles}, std::pair{small, 1}}) {
        CQuillmoorDoc doc(nullptr);
        QVERIFY(doc.NewProject(path, MakeSettings("http://127.0.0.1:8080/", 1)));
        const CLocalFileMapping mapping(CFilePath(doc.GetSettings().GetDownloadFolder()));
        CDownloadList& list = doc.GetController().GetManager()->GetList();
        for (int file = 0; file < files; ++file) {
            CUrl url;
            url.Parse("http://127.0.0.1:8080/f" + std::to_string(file % 7) + "/p" +
                      std::to_string(file) + ".htm");
            list.Add(url.GetSourceText(), 1, true);
            list.MarkDone(url, MapSaved(mapping, url).storedPath, -1, 10);
        }
        QVERIFY(doc.Save());
    }
    Script script;
    CRecentFileList recent;
    CMainFrame frame(recent, std::make_unique<ScriptedPrompts>(script));
    const QAbstractItemModel& tree = *frame.GetDirView().GetTree().model();

    // The open returns while the views still fill; the event loop ends it.
    QVERIFY(frame.OpenProject(large));
    QVERIFY(frame.IsFillingViews());
    QTRY_VERIFY_WITH_TIMEOUT(!frame.IsFillingViews(), 60000);
    frame.GetFileView().FlushPendingRows();
    QCOMPARE(frame.GetFileView().GetItemCount(), kFiles);
    const QModelIndex host = tree.index(0, 0);
    QCOMPARE(tree.rowCount(host), 7);
    int leaves = 0;
    for (int folderRow = 0; folderRow < 7; ++folderRow) {
        leaves += tree.rowCount(tree.index(folderRow, 0, host));
    }
    QCOMPARE(leaves, kFiles);

    // Another project opened halfway leaves nothing of the first behind.
    QVERIFY(frame.OpenProject(large));
    QVERIFY(frame.IsFillingViews());
    QVERIFY(frame.OpenProject(small));
    QTRY_VERIFY(!frame.IsFillingViews());
    QTest::qWait(50);
    QCOMPARE(FileRows(frame.GetFileView()), QStringList{"S http://127.0.0.1:8080/f0/p0.htm"});
    QCOMPARE(Dump(frame.GetDirView()), (QStringList{"http://127.0.0.1_8080", " f0", "  p0.htm"}));
}

void CDirViewTest::liveCrawlFillsAllThreeViews() {
    if (!NginxServer::IsInstalled()) {
        QSKIP("nginx is not installed");
    }
    TempFolder folder;
    NginxServer nginx(folder.Path() / "nginx");
    // Slow enough that the thread view shows the large file under way.
    nginx.SetServerDirectives("    limit_rate 64k;\n");
    const std::filesystem::path root = nginx.DocumentRoot();
    std::filesystem::create_directories(root / "a");
    std::filesystem::create_directories(root / "d");
    WriteFile((root / "index.html").string(),
              "<html><body><a href=\"a/b.htm\">b</a><a href=\"a/c.txt\">c</a>"
              "<a href=\"d/e.png\">e</a><a href=\"missing.htm\">m</a></body></html>");
    WriteFile((root / "a/b.htm").string(), "<html><body>b</body></html>");
    WriteFile((root / "a/c.txt").string(), "c");
    WriteFile((root / "d/e.png").string(), std::string(160 * 1024, 'e'));
    nginx.Start();

    const std::string site = "http://127.0.0.1:" + std::to_string(nginx.Port());
    Script script;
    script.projectUrl = site + "/";
    script.projectThreads = 2;
    script.saveFileName = QString::fromStdString(folder.File("site.tkp"));
    CRecentFileList recent;
    auto frame = std::make_unique<CMainFrame>(recent, std::make_unique<ScriptedPrompts>(script));
    frame->show();
    QVERIFY(frame->NewProject());
    frame->GetAction(ID_PROJECT_START)->trigger();
    const QString url = QString::fromStdString(site);
    const auto showsProgress = [&frame, &url] {
        return ThreadRows(frame->GetThreadView())
                   .filter(QRegularExpression("^[01]\\|" + QRegularExpression::escape(url) +
                                              "/d/e.png\\|[1-9][0-9]?%\\|"))
                   .size() == 1;
    };
    QTRY_VERIFY_WITH_TIMEOUT(showsProgress(), 20000);
    QTRY_COMPARE_WITH_TIMEOUT(script.messages.size(), 1, 20000);
    QCOMPARE(script.messages[0], "Project completed: 4 files were downloaded.");

    const QString host = QString("http://127.0.0.1_%1").arg(nginx.Port());
    const QStringList tree{host, " a", "  b.htm", "  c.txt", " d", "  e.png", " index.htm"};
    QCOMPARE(Dump(frame->GetDirView()), tree);
    QStringList files{"S " + url + "/", "S " + url + "/a/b.htm", "S " + url + "/a/c.txt",
                      "S " + url + "/d/e.png", "F " + url + "/missing.htm"};
    QStringList shown = FileRows(frame->GetFileView());
    shown.sort();
    files.sort();
    QCOMPARE(shown, files);
    QCOMPARE(ThreadRows(frame->GetThreadView()), (QStringList{"0|||", "1|||"}));

    // The saved project shows the same views when it is opened again.
    frame->GetAction(ID_FILE_SAVE)->trigger();
    frame.reset();
    CMainFrame reopened(recent, std::make_unique<ScriptedPrompts>(script));
    QVERIFY(reopened.OpenProject(folder.File("site.tkp")));
    QCOMPARE(Dump(reopened.GetDirView()), tree);
    shown = FileRows(reopened.GetFileView());
    shown.sort();
    QCOMPARE(shown, files);
}

TARNWICK_UI_TEST(CDirViewTest);
#include "dir_view_test.moc"
