#include "ui/project_sheet.h"

#include <QApplication>
#include <QCheckBox>
#include <QDialogButtonBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QTabWidget>
#include <QTimer>
#include <QTreeWidget>
#include <QtTest>
#include <functional>

#include "engine/project_settings.h"
#include "support/scoped_env.h"
#include "support/scripted_prompts.h"
#include "support/temp_folder.h"
#include "support/ui_test_registry.h"
#include "ui/filter_dlg.h"
#include "ui/main_frame.h"
#include "ui/recent_file_list.h"
#include "ui/spin_edit.h"
#include "ui/url_pattern_box.h"

using testing_support::ScopedEnv;
using testing_support::Script;
using testing_support::ScriptedPrompts;
using testing_support::TempFolder;

namespace {

CProjectSettings ExistingProject(const std::string& url) {
    CProjectSettings settings;
    CUrl start;
    start.Parse(url);
    settings.SetStartUrl(start);
    settings.SetThreadCount(4);
    settings.GetRules().SetLevels(-1, 0);
    return settings;
}

// Fills and confirms the Filter Properties dialog that the next action
// opens; the dialog's own checks run as for a user pressing OK.
void AnswerFilterDialog(std::function<void(CFilterDlg&)> fill) {
    QTimer::singleShot(0, [fill] {
        if (auto* dialog = qobject_cast<CFilterDlg*>(QApplication::activeModalWidget())) {
            fill(*dialog);
            dialog->accept();
        }
    });
}

bool IsTicked(const QTreeWidget& list, int row) {
    return list.topLevelItem(row)->checkState(0) == Qt::Checked;
}

void Tick(QTreeWidget& list, int row) {
    list.topLevelItem(row)->setCheckState(0, Qt::Checked);
}

// A user who fills the New Project sheet and presses OK.
class SheetFillingPrompts : public ScriptedPrompts {
public:
    using ScriptedPrompts::ScriptedPrompts;

    bool EditProject(CProjectSettings& settings, bool newProject) override {
        CProjectSheet sheet(settings, newProject, *this);
        sheet.General().Url()->setText("http://127.0.0.1:9/docs/index.html");
        sheet.General().Threads()->SetText("4");
        sheet.accept();
        return sheet.result() == QDialog::Accepted;
    }
};

}  // namespace

class CProjectSheetTest : public QObject {
    Q_OBJECT

private slots:
    void newProjectStoresThePages_data();
    void newProjectStoresThePages();
    void existingProjectSurvivesOk_data();
    void existingProjectSurvivesOk();
    void refusedFieldKeepsTheSheetOpen_data();
    void refusedFieldKeepsTheSheetOpen();
    void invalidStoredUrlBlocksOk();
    void levelsFieldsSitInCaptionedGroups();
    void ctrlTabLeavesOnlyACheckedPage();
    void downloadAllFilesDisablesEveryGroup();
    void filterColumnsFitTheirText();
    void filtersAreAddedEditedAndDeleted();
    void helpOpensThePagesTopic();
    void urlPatternsAreAddedEditedDeletedAndTested();
    void cookiesFileIsKeptAndCleared();
    void newProjectIsReadByTheCommandLine();
};

void CProjectSheetTest::newProjectStoresThePages_data() {
    QTest::addColumn<bool>("limited");
    QTest::addColumn<bool>("directory");
    QTest::addColumn<int>("internal");
    QTest::newRow("all levels, directory") << false << true << -1;
    QTest::newRow("two levels, domain") << true << false << 2;
}

void CProjectSheetTest::newProjectStoresThePages() {
    QFETCH(bool, limited);
    QFETCH(bool, directory);
    QFETCH(int, internal);
    Script script;
    ScriptedPrompts prompts(script);
    CProjectSettings settings;
    CProjectSheet sheet(settings, true, prompts);
    QCOMPARE(sheet.windowTitle(), "New Project");
    CPropPrjGen& general = sheet.General();
    CPropPrjLinks& links = sheet.Links();
    QVERIFY(general.Url()->isEnabled());
    QCOMPARE(general.Threads()->text(), "3");
    QVERIFY(links.AllLevels()->isChecked());
    QVERIFY(!links.InternalLevels()->isEnabled());
    QVERIFY(links.DirectoryScope()->isChecked());
    QVERIFY(sheet.Filters().DownloadAll()->isChecked());

    general.Url()->setText("http://example.com/a%20b/index.html");
    general.User()->setText("ann");
    general.Password()->setText(" pw ");
    general.Threads()->SetText("16");
    QVERIFY(sheet.SetActivePage(1));
    (limited ? links.LimitedLevels() : links.AllLevels())->setChecked(true);
    QCOMPARE(links.InternalLevels()->isEnabled(), limited);
    links.InternalLevels()->SetText("2");
    links.ExternalLevels()->SetText("1");
    (directory ? links.DirectoryScope() : links.DomainScope())->setChecked(true);
    sheet.accept();

    QCOMPARE(sheet.result(), QDialog::Accepted);
    QCOMPARE(settings.GetStartUrl().GetHost(), "example.com");
    QCOMPARE(settings.GetUser(), "ann");
    QCOMPARE(settings.GetPassword(), " pw ");
    QCOMPARE(settings.GetThreadCount(), 16);
    const CCrawlRules& rules = settings.GetRules();
    QCOMPARE(rules.GetInternalLevels(), internal);
    QCOMPARE(rules.GetExternalLevels(), 1);
    QCOMPARE(rules.GetDomain(), "example.com");
    QCOMPARE(rules.GetDirectory(), directory ? "/a b/index.html" : "");
    QVERIFY(!rules.AnyFilterEnabled());
}

void CProjectSheetTest::existingProjectSurvivesOk_data() {
    QTest::addColumn<int>("internal");
    QTest::addColumn<bool>("directory");
    QTest::addColumn<bool>("filtered");
    QTest::newRow("limited, domain, filtered") << 4 << false << true;
    QTest::newRow("all levels, directory, every file") << -1 << true << false;
}

void CProjectSheetTest::existingProjectSurvivesOk() {
    QFETCH(int, internal);
    QFETCH(bool, directory);
    QFETCH(bool, filtered);
    Script script;
    ScriptedPrompts prompts(script);
    CProjectSettings settings = ExistingProject("http://example.com/docs/");
    settings.SetCredentials("ann", "pw");
    CCrawlRules& rules = settings.GetRules();
    rules.SetLevels(internal, 2);
    rules.SetScope("example.com", directory ? "/docs/" : "");
    CFilterList filters = CFilterList::DefaultGroups();
    filters.GetAt(1).SetEnabled(filtered);
    rules.SetFilters(filters);
    CProjectSheet sheet(settings, false, prompts);
    QCOMPARE(sheet.windowTitle(), "Project Properties");
    QVERIFY(!sheet.General().Url()->isEnabled());
    QCOMPARE(sheet.Links().LimitedLevels()->isChecked(), internal >= 0);
    QCOMPARE(sheet.Links().InternalLevels()->isEnabled(), internal >= 0);
    QCOMPARE(sheet.Filters().DownloadAll()->isChecked(), !filtered);
    QCOMPARE(IsTicked(*sheet.Filters().List(), 1), filtered);
    sheet.accept();

    QCOMPARE(sheet.result(), QDialog::Accepted);
    QCOMPARE(settings.GetStartUrl().GetUrl(), "http://example.com/docs/");
    QCOMPARE(settings.GetUser(), "ann");
    QCOMPARE(settings.GetThreadCount(), 4);
    QCOMPARE(rules.GetInternalLevels(), internal);
    QCOMPARE(rules.GetExternalLevels(), 2);
    QCOMPARE(rules.GetDirectory(), directory ? "/docs/" : "");
    QCOMPARE(rules.AnyFilterEnabled(), filtered);
}

void CProjectSheetTest::refusedFieldKeepsTheSheetOpen_data() {
    QTest::addColumn<int>("field");  // URL, threads, internal levels, external levels
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("message");
    const QString range = "Please enter an integer between %1 and %2.";
    QTest::newRow("empty URL") << 0 << ""
                               << "Invalid URL";
    QTest::newRow("URL without a host") << 0 << "http://"
                                        << "Invalid URL";
    QTest::newRow("17 threads") << 1 << "17" << range.arg(1).arg(16);
    QTest::newRow("no threads") << 1 << "0" << range.arg(1).arg(16);
    QTest::newRow("threads not a number") << 1 << "3x"
                                          << "Please enter a positive integer.";
    QTest::newRow("101 levels") << 2 << "101" << range.arg(0).arg(100);
    QTest::newRow("levels not a number") << 2 << "many"
                                         << "Please enter an integer.";
    QTest::newRow("negative external levels") << 3 << "-1" << range.arg(0).arg(100);
    QTest::newRow("external beyond 32 bits") << 3 << "2147483648"
                                             << "Please enter an integer.";
}

void CProjectSheetTest::refusedFieldKeepsTheSheetOpen() {
    QFETCH(int, field);
    QFETCH(QString, text);
    QFETCH(QString, message);
    Script script;
    ScriptedPrompts prompts(script);
    CProjectSettings settings;
    CProjectSheet sheet(settings, true, prompts);
    sheet.show();
    CPropPrjGen& general = sheet.General();
    CPropPrjLinks& links = sheet.Links();
    general.Url()->setText("http://example.com/");
    QWidget* const fields[] = {general.Url(), general.Threads(), links.InternalLevels(),
                               links.ExternalLevels()};
    if (field < 2) {
        if (field == 0) {
            general.Url()->setText(text);
        } else {
            general.Threads()->SetText(text);
        }
        // Leaving the page is refused as OK is.
        QVERIFY(!sheet.SetActivePage(2));
        QCOMPARE(script.messages, QStringList{message});
        script.messages.clear();
    } else {
        QVERIFY(sheet.SetActivePage(1));
        links.LimitedLevels()->setChecked(true);
        static_cast<CSpinEdit*>(fields[field])->SetText(text);
    }
    sheet.accept();

    QCOMPARE(script.messages, QStringList{message});
    QCOMPARE(sheet.result(), QDialog::Rejected);
    QVERIFY(sheet.isVisible());
    QWidget* focus = sheet.focusWidget();
    QVERIFY(focus == fields[field] || fields[field]->isAncestorOf(focus));
    QVERIFY(settings.GetStartUrl().GetHost().empty());
    QCOMPARE(settings.GetThreadCount(), 0);
}

void CProjectSheetTest::levelsFieldsSitInCaptionedGroups() {
    Script script;
    ScriptedPrompts prompts(script);
    CProjectSettings settings;
    CProjectSheet sheet(settings, true, prompts);
    const auto groupOf = [](QWidget* field) {
        QWidget* widget = field->parentWidget();
        while (widget != nullptr && qobject_cast<QGroupBox*>(widget) == nullptr) {
            widget = widget->parentWidget();
        }
        return widget != nullptr ? qobject_cast<QGroupBox*>(widget)->title() : QString();
    };
    QCOMPARE(groupOf(sheet.Links().InternalLevels()), "Internal links");
    QCOMPARE(groupOf(sheet.Links().LimitedLevels()), "Internal links");
    QCOMPARE(groupOf(sheet.Links().ExternalLevels()), "External links");
}

void CProjectSheetTest::invalidStoredUrlBlocksOk() {
    Script script;
    ScriptedPrompts prompts(script);
    // A starting URL that did not parse keeps no text.
    CProjectSettings settings = ExistingProject("not a url");
    CProjectSheet sheet(settings, false, prompts);
    sheet.General().Threads()->SetText("8");
    sheet.accept();

    QCOMPARE(script.messages, QStringList{"Invalid URL"});
    QCOMPARE(sheet.result(), QDialog::Rejected);
    QCOMPARE(settings.GetThreadCount(), 4);
}

void CProjectSheetTest::ctrlTabLeavesOnlyACheckedPage() {
    Script script;
    ScriptedPrompts prompts(script);
    CProjectSettings settings;
    CProjectSheet sheet(settings, true, prompts);
    sheet.show();
    QVERIFY(QTest::qWaitForWindowExposed(&sheet));
    sheet.General().Url()->setFocus();
    QTest::keyClick(sheet.General().Url(), Qt::Key_Tab, Qt::ControlModifier);
    QCOMPARE(sheet.GetActiveIndex(), 0);
    QCOMPARE(sheet.Tabs()->currentIndex(), 0);
    QCOMPARE(script.messages, QStringList{"Invalid URL"});

    sheet.General().Url()->setText("http://example.com/");
    QTest::keyClick(sheet.General().Url(), Qt::Key_Tab, Qt::ControlModifier);
    QCOMPARE(sheet.GetActiveIndex(), 1);
    QCOMPARE(sheet.Tabs()->currentIndex(), 1);
}

void CProjectSheetTest::filterColumnsFitTheirText() {
    Script script;
    ScriptedPrompts prompts(script);
    CProjectSettings settings;
    CProjectSheet sheet(settings, true, prompts);
    sheet.SetActivePage(2);
    sheet.show();
    QVERIFY(QTest::qWaitForWindowExposed(&sheet));
    QTreeWidget& list = *sheet.Filters().List();
    for (int column = 0; column < list.columnCount(); ++column) {
        const int shown = list.columnWidth(column);
        list.resizeColumnToContents(column);
        QVERIFY2(shown >= list.columnWidth(column), qPrintable(list.headerItem()->text(column)));
        list.setColumnWidth(column, shown);
    }
    // All four columns are in view at once.
    QCOMPARE(list.horizontalScrollBar()->maximum(), 0);
}

void CProjectSheetTest::downloadAllFilesDisablesEveryGroup() {
    Script script;
    ScriptedPrompts prompts(script);
    CProjectSettings settings;
    CProjectSheet sheet(settings, true, prompts);
    sheet.General().Url()->setText("http://example.com/");
    CPropPrjFilters& page = sheet.Filters();
    QTreeWidget& list = *page.List();
    QCOMPARE(list.topLevelItemCount(), 6);
    QCOMPARE(list.headerItem()->text(2), "Min Size");
    QVERIFY(!list.isEnabled());
    page.DownloadAll()->setChecked(false);
    QVERIFY(list.isEnabled() && page.AddButton()->isEnabled());
    Tick(list, 0);
    Tick(list, 4);
    list.topLevelItem(4)->setSelected(true);

    page.DownloadAll()->setChecked(true);
    QVERIFY(!list.isEnabled() && !page.DeleteButton()->isEnabled());
    QVERIFY(list.selectedItems().isEmpty());
    sheet.accept();
    QVERIFY(!settings.GetRules().AnyFilterEnabled());

    page.DownloadAll()->setChecked(false);
    QVERIFY(IsTicked(list, 0) && IsTicked(list, 4) && !IsTicked(list, 1));
    sheet.accept();
    CFilterList stored;
    settings.GetRules().CopyFiltersTo(stored);
    QVERIFY(stored.GetAt(0).IsEnabled() && stored.GetAt(4).IsEnabled());
    QVERIFY(!stored.GetAt(1).IsEnabled());
}

void CProjectSheetTest::filtersAreAddedEditedAndDeleted() {
    Script script;
    ScriptedPrompts prompts(script);
    CProjectSettings settings = ExistingProject("http://example.com/");
    CProjectSheet sheet(settings, false, prompts);
    CPropPrjFilters& page = sheet.Filters();
    QTreeWidget& list = *page.List();
    page.DownloadAll()->setChecked(false);

    AnswerFilterDialog([](CFilterDlg& dialog) {
        QVERIFY(dialog.NameEdit()->text().isEmpty());
        QCOMPARE(dialog.MinimumEdit()->text(), "0");
        dialog.NameEdit()->setText("  Pages ");
        dialog.ExtensionsEdit()->setText("htm;html");
        dialog.MinimumEdit()->setText("50");
        dialog.MaximumEdit()->setText("10");
    });
    page.AddButton()->click();
    QCOMPARE(list.topLevelItemCount(), 7);
    QTreeWidgetItem* added = list.topLevelItem(6);
    QCOMPARE(added->text(0), "Pages");
    QCOMPARE(added->text(1), "htm;html");
    QCOMPARE(added->text(2), "50");
    QCOMPARE(added->text(3), "10");
    QVERIFY(!IsTicked(list, 6));

    // Edit works on the row that is both current and selected.
    list.setCurrentItem(list.topLevelItem(0));
    AnswerFilterDialog([](CFilterDlg& dialog) {
        QCOMPARE(dialog.NameEdit()->text(), "Image");
        dialog.NameEdit()->setText("Pictures");
    });
    page.EditButton()->click();
    QCOMPARE(list.topLevelItem(0)->text(0), "Pictures");

    list.clearSelection();
    list.topLevelItem(1)->setSelected(true);
    list.topLevelItem(3)->setSelected(true);
    page.DeleteButton()->click();
    QCOMPARE(list.topLevelItemCount(), 5);
    Tick(list, 4);
    sheet.accept();

    CFilterList stored;
    settings.GetRules().CopyFiltersTo(stored);
    QStringList names;
    for (std::size_t index = 0; index < stored.GetCount(); ++index) {
        names << QString::fromStdString(stored.GetAt(index).GetName());
    }
    QCOMPARE(names, (QStringList{"Pictures", "Document", "Video", "Other", "Pages"}));
    const CFileFilter& pages = stored.GetAt(4);
    QVERIFY(pages.IsEnabled());
    QCOMPARE(pages.GetExtensions(), (std::vector<std::string>{".htm", ".html"}));
    QCOMPARE(pages.GetMinimumSize(), 50u);
    QCOMPARE(pages.GetMaximumSize(), 10u);
}

void CProjectSheetTest::helpOpensThePagesTopic() {
    Script script;
    ScriptedPrompts prompts(script);
    CProjectSettings settings = ExistingProject("http://example.com/");
    CProjectSheet sheet(settings, false, prompts);
    for (int page = 0; page < 3; ++page) {
        QVERIFY(sheet.SetActivePage(page));
        sheet.Buttons()->button(QDialogButtonBox::Help)->click();
    }
    QCOMPARE(script.helpTopics,
             (QList<HelpTopic>{HelpTopic::General, HelpTopic::Links, HelpTopic::Filters}));
}

void CProjectSheetTest::urlPatternsAreAddedEditedDeletedAndTested() {
    Script script;
    ScriptedPrompts prompts(script);
    CProjectSettings settings = ExistingProject("http://example.com/");
    std::string error;
    QVERIFY(settings.GetUrlPatterns().AddLine("-*.iso", error));
    CProjectSheet sheet(settings, false, prompts);
    sheet.show();
    QVERIFY(sheet.SetActivePage(2));
    CUrlPatternBox& box = *sheet.Filters().UrlPatterns();
    QListWidget& list = *box.List();
    QCOMPARE(list.count(), 1);
    // The patterns stay usable whatever "Download all files" says.
    QVERIFY(sheet.Filters().DownloadAll()->isChecked() && list.isEnabled());
    const auto add = [&](const QString& line) {
        box.PatternEdit()->setText(line);
        box.AddButton()->click();
    };
    add(" -*/ads/* ");
    add("+re:/ads/keep\\.html$");
    // A line without a sign, or an expression that does not compile, is
    // refused in place and changes nothing.
    add("*/nosign/*");
    add("+re:(");
    QCOMPARE(script.messages.size(), 2);
    QCOMPARE(sheet.focusWidget(), box.PatternEdit());
    QCOMPARE(list.count(), 3);

    QTest::keyClicks(box.TestUrl(), "http://example.com/ads/keep.html");
    QCOMPARE(box.TestResult()->text(), "Included by pattern 3: +re:/ads/keep\\.html$");
    box.TestUrl()->setText("http://example.com/ads/x.png");
    QCOMPARE(box.TestResult()->text(), "Excluded by pattern 2: -*/ads/*");
    box.TestUrl()->setText("http://example.com/index.html");
    QCOMPARE(box.TestResult()->text(), "No pattern matches: the other rules decide.");

    // Choosing a row puts its line in the edit; Replace puts it back changed.
    list.setCurrentRow(1);
    QCOMPARE(box.PatternEdit()->text(), "-*/ads/*");
    box.PatternEdit()->setText("-*/ads/*.png");
    box.EditButton()->click();
    QCOMPARE(list.item(1)->text(), "-*/ads/*.png");
    QCOMPARE(box.TestResult()->text(), "No pattern matches: the other rules decide.");
    list.setCurrentRow(0);
    box.DeleteButton()->click();
    QCOMPARE(list.count(), 2);
    sheet.accept();

    QStringList stored;
    for (const CUrlPatterns::Pattern& pattern : settings.GetUrlPatterns().GetPatterns()) {
        stored << QString::fromStdString(CUrlPatterns::FormatLine(pattern));
    }
    QCOMPARE(stored, (QStringList{"-*/ads/*.png", "+re:/ads/keep\\.html$"}));
}

void CProjectSheetTest::cookiesFileIsKeptAndCleared() {
    Script script;
    ScriptedPrompts prompts(script);
    CProjectSettings settings = ExistingProject("http://example.com/");
    settings.SetCookiesFile("/home/ann/cookies.txt");
    {
        CProjectSheet sheet(settings, false, prompts);
        QCOMPARE(sheet.General().CookiesFile()->text(), "/home/ann/cookies.txt");
        sheet.General().CookiesFile()->setText(" /tmp/other.txt ");
        sheet.reject();
    }
    QCOMPARE(settings.GetCookiesFile(), "/home/ann/cookies.txt");
    CProjectSheet sheet(settings, false, prompts);
    sheet.General().CookiesFile()->setText(" /tmp/other.txt ");
    sheet.accept();
    QCOMPARE(settings.GetCookiesFile(), "/tmp/other.txt");
}

void CProjectSheetTest::newProjectIsReadByTheCommandLine() {
    TempFolder folder;
    const ScopedEnv config("TARNWICK_CONFIG_DIR", folder.Path().c_str());
    Script script;
    script.saveFileName = QString::fromStdString(folder.File("made.tkp"));
    CRecentFileList recent;
    CMainFrame frame(recent, std::make_unique<SheetFillingPrompts>(script));
    QVERIFY(frame.NewProject());
    QCOMPARE(script.proposedNames, QStringList{"127_0_0_1.tkp"});

    const auto runCli = [](const QStringList& arguments) {
        QProcess cli;
        cli.start(TARNWICK_CLI, arguments);
        cli.waitForFinished(30000);
        return cli.exitCode() == 0 ? cli.readAllStandardOutput() : QByteArray();
    };
    QVERIFY(runCli({"summary", script.saveFileName}).startsWith("URLs queued:     0\n"));
    // "set" prints the stored rules after changing nothing but the threads.
    const QByteArray rules = runCli({"set", script.saveFileName, "--threads", "4"});
    QVERIFY2(rules.contains("4 threads, levels all, external 0, scope directory, every file"),
             rules.constData());
}

TARNWICK_UI_TEST(CProjectSheetTest);
#include "project_sheet_test.moc"
