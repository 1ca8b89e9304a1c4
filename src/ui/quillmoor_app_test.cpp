#include "ui/quillmoor_app.h"

#include <QAction>
#include <QApplication>
#include <QImage>
#include <QSplitter>
#include <QToolBar>
#include <QToolButton>
#include <QtTest>
#include <cstring>
#include <filesystem>

#include "platform/registry_key.h"
#include "support/child_process.h"
#include "support/scoped_env.h"
#include "support/scripted_prompts.h"
#include "support/temp_folder.h"
#include "support/ui_test_registry.h"
#include "ui/main_frame.h"
#include "ui/shell_registration.h"

using testing_support::ReadFile;
using testing_support::ScopedEnv;
using testing_support::Script;
using testing_support::ScriptedPrompts;
using testing_support::TempFolder;
using testing_support::WriteFile;

namespace fs = std::filesystem;

namespace {

const QString kRemoved =
    "System registry entries have been removed and the INI file (if any) was deleted.";
const QString kNotRemoved = "Not all of the system registry entries (or INI file) were removed.";

const HelpTopic kTopics[] = {HelpTopic::Index,   HelpTopic::Connection, HelpTopic::ProxyServer,
                             HelpTopic::General, HelpTopic::Links,      HelpTopic::Filters};

}  // namespace

class CQuillmoorAppTest : public QObject {
    Q_OBJECT

private slots:
    void init() {
        m_home = std::make_unique<TempFolder>();
        m_configEnv =
            std::make_unique<ScopedEnv>("TARNWICK_CONFIG_DIR", m_home->File("config").c_str());
        m_dataEnv = std::make_unique<ScopedEnv>("XDG_DATA_HOME", m_home->File("data").c_str());
        // A stored setting shows whether the settings were written back.
        fs::create_directories(m_home->File("config"));
        WriteFile(SettingsFile(),
                  "Windows Registry Editor Version 5.00\n\n"
                  "[Software\\Ostrevane\\Tarnwick\\Settings]\n\"Retry\"=dword:00000007\n");
        m_settings = ReadFile(SettingsFile());
    }
    void cleanup() {
        m_dataEnv.reset();
        m_configEnv.reset();
        m_home.reset();
    }

    void switchesEndTheProgramWithoutItsWindow_data();
    void switchesEndTheProgramWithoutItsWindow();
    void unregisterReportsWhatStaysBehind();
    void desktopEntryQuotesTheProgramPath_data();
    void desktopEntryQuotesTheProgramPath();
    void helpCommandsReachTheirPages();
    void toolbarHasTenButtonsInTwoGroups();
    void helpFileHoldsEveryTopic();
    void windowPlacementIsTheStoredRecord();
    void paneKeysWalkThePanes();
    void hoveredButtonShowsItsPrompt();

private:
    std::string SettingsFile() const { return m_home->File("config/Tarnwick.reg"); }

    std::unique_ptr<TempFolder> m_home;
    std::unique_ptr<ScopedEnv> m_configEnv;
    std::unique_ptr<ScopedEnv> m_dataEnv;
    std::string m_settings;
};

void CQuillmoorAppTest::switchesEndTheProgramWithoutItsWindow_data() {
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<bool>("registered");
    QTest::addColumn<QStringList>("messages");
    QTest::newRow("-p prints") << QStringList{"-p", "site.tkp"} << false << QStringList{};
    QTest::newRow("/pt prints") << QStringList{"/pt", "site.tkp"} << false << QStringList{};
    QTest::newRow("/Register") << QStringList{"/Register"} << true << QStringList{};
    QTest::newRow("-REGSERVER") << QStringList{"-REGSERVER"} << true << QStringList{};
    QTest::newRow("/Register, then -unregister")
        << QStringList{"/Register", "-unregister"} << false << QStringList{kRemoved};
    QTest::newRow("/UnregServer with nothing registered")
        << QStringList{"/UnregServer"} << false << QStringList{kRemoved};
}

void CQuillmoorAppTest::switchesEndTheProgramWithoutItsWindow() {
    QFETCH(QStringList, arguments);
    QFETCH(bool, registered);
    QFETCH(QStringList, messages);
    // A registration is undone by a second start that unregisters.
    if (arguments.size() == 2 && arguments[0] == "/Register") {
        Script firstScript;
        CQuillmoorApp first(std::make_unique<ScriptedPrompts>(firstScript));
        QVERIFY(!first.InitInstance({arguments.takeFirst()}));
        first.ExitInstance();
        QVERIFY(QFile::exists(CShellRegistration({}).GetMimeFile()));
    }
    Script script;
    CQuillmoorApp app(std::make_unique<ScriptedPrompts>(script));
    QVERIFY(!app.InitInstance(arguments));
    QVERIFY(app.GetMainFrame() == nullptr);
    QCOMPARE(app.GetStartFailureStatus(), messages.isEmpty() && !registered ? 1 : 0);
    app.ExitInstance();
    QCOMPARE(script.messages, messages);
    QCOMPARE(ReadFile(SettingsFile()), m_settings);

    const CShellRegistration registration(QCoreApplication::applicationFilePath());
    QCOMPARE(QFile::exists(registration.GetMimeFile()), registered);
    QCOMPARE(QFile::exists(registration.GetDesktopFile()), registered);
    if (registered) {
        const std::string mime = ReadFile(registration.GetMimeFile().toStdString());
        QVERIFY(mime.find("type=\"application/x-tarnwick-project\"") != std::string::npos);
        QVERIFY(mime.find("<glob pattern=\"*.tkp\"/>") != std::string::npos);
        const std::string entry = ReadFile(registration.GetDesktopFile().toStdString());
        const std::string exec =
            "Exec=\"" + QCoreApplication::applicationFilePath().toStdString() + "\" %f\n";
        QVERIFY(entry.find(exec) != std::string::npos);
        QVERIFY(entry.find("MimeType=application/x-tarnwick-project;\n") != std::string::npos);
    }
}

void CQuillmoorAppTest::unregisterReportsWhatStaysBehind() {
    // A folder in the place of the menu entry cannot be removed as a file.
    const CShellRegistration registration(QCoreApplication::applicationFilePath());
    QVERIFY(registration.Register());
    QFile::remove(registration.GetDesktopFile());
    fs::create_directories(registration.GetDesktopFile().toStdString() + "/kept");
    Script script;
    CQuillmoorApp app(std::make_unique<ScriptedPrompts>(script));
    QVERIFY(!app.InitInstance({"/Unregister"}));
    QCOMPARE(app.GetStartFailureStatus(), 1);
    app.ExitInstance();
    QCOMPARE(script.messages, QStringList{kNotRemoved});
    QVERIFY(!QFile::exists(registration.GetMimeFile()));
}

void CQuillmoorAppTest::desktopEntryQuotesTheProgramPath_data() {
    QTest::addColumn<QString>("programPath");
    QTest::addColumn<QString>("exec");
    QTest::newRow("space") << "/opt/my apps/tarnwick"
                           << R"(Exec="/opt/my apps/tarnwick" %f)";
    QTest::newRow("dollar and backtick") << "/opt/$HOME/`id`/tarnwick"
                                         << R"(Exec="/opt/\\$HOME/\\`id\\`/tarnwick" %f)";
    QTest::newRow("percent") << "/opt/100%f/tarnwick"
                             << R"(Exec="/opt/100%%f/tarnwick" %f)";
    QTest::newRow("quote and backslash") << R"(/opt/a"b\c/tarnwick)"
                                         << R"(Exec="/opt/a\\"b\\\\c/tarnwick" %f)";
}

void CQuillmoorAppTest::desktopEntryQuotesTheProgramPath() {
    QFETCH(QString, programPath);
    QFETCH(QString, exec);
    const CShellRegistration registration(programPath);
    QVERIFY(registration.Register());
    const QString entry =
        QString::fromStdString(ReadFile(registration.GetDesktopFile().toStdString()));
    QVERIFY2(entry.split('\n').contains(exec), qPrintable(entry));
}

void CQuillmoorAppTest::helpCommandsReachTheirPages() {
    Script script;
    CRecentFileList recent;
    CMainFrame frame(recent, std::make_unique<ScriptedPrompts>(script));
    for (CommandId id : {ID_HELP_INDEX, ID_HELP_WEBSITE, ID_HELP_DOWNLOAD}) {
        QVERIFY(frame.GetAction(id)->isEnabled());
        frame.GetAction(id)->trigger();
    }
    QCOMPARE(script.helpTopics, QList<HelpTopic>{HelpTopic::Index});
    QCOMPARE(script.opened, (QStringList{kHomePageUrl, kDownloadPageUrl}));
    QCOMPARE(frame.GetAction(ID_HELP_INDEX)->statusTip(), "Display the table of contents");
    QCOMPARE(frame.GetAction(ID_HELP_INDEX)->toolTip(), "Help");
}

void CQuillmoorAppTest::toolbarHasTenButtonsInTwoGroups() {
    Script script;
    CRecentFileList recent;
    CMainFrame frame(recent, std::make_unique<ScriptedPrompts>(script));
    frame.show();
    auto* toolBar = frame.findChild<QToolBar*>("Toolbar");
    QVERIFY(toolBar != nullptr);
    QVERIFY(toolBar->isMovable());
    QCOMPARE(toolBar->allowedAreas(), Qt::AllToolBarAreas);
    QStringList buttons;
    for (QAction* action : toolBar->actions()) {
        buttons << (action->isSeparator() ? QString("|") : action->toolTip());
    }
    QCOMPARE(buttons,
             (QStringList{"New project", "Open a project", "Save project", "|", "Start", "Pause",
                          "Stop", "Create CHM", "Property", "|", "Help", "About"}));
    for (QAction* action : toolBar->actions()) {
        if (action->isSeparator()) {
            continue;
        }
        // Each button has a drawing of its own, in full colour at rest as
        // under the mouse; only a disabled button is greyed.
        const QIcon icon = action->icon();
        const QImage rest = icon.pixmap(24, 24, QIcon::Normal).toImage();
        QVERIFY2(!rest.isNull() && rest == icon.pixmap(24, 24, QIcon::Active).toImage(),
                 qPrintable(action->toolTip()));
        QVERIFY2(rest != icon.pixmap(24, 24, QIcon::Disabled).toImage(),
                 qPrintable(action->toolTip()));
    }
    auto* help =
        qobject_cast<QToolButton*>(toolBar->widgetForAction(frame.GetAction(ID_HELP_INDEX)));
    QVERIFY(help != nullptr);
    help->click();
    QCOMPARE(script.helpTopics, QList<HelpTopic>{HelpTopic::Index});
}

void CQuillmoorAppTest::helpFileHoldsEveryTopic() {
    if (testing_support::FindProgram("chmcmd").empty()) {
        QSKIP("chmcmd is not installed");
    }
    const QDir programDir(TARNWICK_PROGRAM_DIR);
    const std::string chm = ReadFile(programDir.filePath("Tarnwick.chm").toStdString());
    QVERIFY(chm.starts_with("ITSF"));
    for (HelpTopic topic : kTopics) {
        const QString page = HelpTopicPage(topic);
        // The directory of the file names every page from its root.
        QVERIFY2(chm.find("/" + page.toStdString()) != std::string::npos, qPrintable(page));
        QVERIFY2(QFile::exists(programDir.filePath("help/" + page)), qPrintable(page));
    }
    QCOMPARE(ChmViewerLocation("/opt/t/Tarnwick.chm", HelpTopic::ProxyServer),
             "file:/opt/t/Tarnwick.chm#xchm:/Program Options/Proxy Server.htm");
}

void CQuillmoorAppTest::windowPlacementIsTheStoredRecord() {
    Script script;
    CRecentFileList recent;
    {
        CMainFrame frame(recent, std::make_unique<ScriptedPrompts>(script));
        frame.show();
        frame.setGeometry(40, 50, 900, 700);
    }
    std::int32_t record[11] = {};
    QVERIFY(GetSectionKey("Layout").ReadBinary("Window Placement", record, sizeof record));
    // Length, flags, show command, minimised and maximised positions, then
    // the normal rectangle as left, top, right and bottom.
    const std::int32_t expected[11] = {44, 0, 1, -1, -1, -1, -1, 40, 50, 940, 750};
    QVERIFY(std::memcmp(record, expected, sizeof record) == 0);

    CMainFrame frame(recent, std::make_unique<ScriptedPrompts>(script));
    QCOMPARE(frame.geometry(), QRect(40, 50, 900, 700));
}

void CQuillmoorAppTest::paneKeysWalkThePanes() {
    Script script;
    CRecentFileList recent;
    CMainFrame frame(recent, std::make_unique<ScriptedPrompts>(script));
    frame.show();
    QApplication::setActiveWindow(&frame);
    QVERIFY(QTest::qWaitForWindowActive(&frame));
    auto* outer = qobject_cast<QSplitter*>(frame.centralWidget());
    auto* inner = qobject_cast<QSplitter*>(outer->widget(0));
    QWidget* dir = inner->widget(0);
    const QWidget* files = inner->widget(1);
    const QWidget* threads = outer->widget(1);
    // Forward round the end, then back round the start.
    dir->setFocus();
    const struct {
        Qt::KeyboardModifiers modifiers;
        const QWidget* focused;
    } kSteps[] = {{Qt::NoModifier, files},    {Qt::NoModifier, threads},
                  {Qt::NoModifier, dir},      {Qt::ShiftModifier, threads},
                  {Qt::ShiftModifier, files}, {Qt::ShiftModifier, dir}};
    for (const auto& step : kSteps) {
        QTest::keyClick(&frame, Qt::Key_F6, step.modifiers);
        QCOMPARE(QApplication::focusWidget(), step.focused);
    }
}

void CQuillmoorAppTest::hoveredButtonShowsItsPrompt() {
    Script script;
    CRecentFileList recent;
    CMainFrame frame(recent, std::make_unique<ScriptedPrompts>(script));
    frame.show();
    QVERIFY(QTest::qWaitForWindowExposed(&frame));
    auto* toolBar = frame.findChild<QToolBar*>("Toolbar");
    QWidget* button = toolBar->widgetForAction(frame.GetAction(ID_PROJECT_CREATE_CHM));
    QEnterEvent enter(QPointF(2, 2), QPointF(2, 2), button->mapToGlobal(QPointF(2, 2)));
    QApplication::sendEvent(button, &enter);
    QCOMPARE(frame.GetPaneText(0), "Create a CHM file from the downloaded files");
    QCOMPARE(button->toolTip(), "Create CHM");
}

TARNWICK_UI_TEST(CQuillmoorAppTest);
#include "quillmoor_app_test.moc"
