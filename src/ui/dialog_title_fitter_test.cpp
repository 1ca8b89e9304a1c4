#include "ui/dialog_title_fitter.h"

#include <QMessageBox>
#include <QTimer>
#include <QtTest>
#include <functional>
#include <memory>

#include "engine/project_settings.h"
#include "platform/message_queue.h"
#include "support/scripted_prompts.h"
#include "support/ui_test_registry.h"
#include "ui/about_dlg.h"
#include "ui/compile_chm_dialog.h"
#include "ui/filter_dlg.h"
#include "ui/option_sheet.h"
#include "ui/project_sheet.h"
#include "ui/summary_dlg.h"
#include "ui/update_html_dialog.h"

using testing_support::Script;
using testing_support::ScriptedPrompts;

using DialogMaker = std::function<std::unique_ptr<QDialog>()>;
Q_DECLARE_METATYPE(DialogMaker)

class CDialogTitleFitterTest : public QObject {
    Q_OBJECT

private slots:
    void everyDialogShowsItsWholeTitle_data();
    void everyDialogShowsItsWholeTitle();

private:
    Script m_script;
    ScriptedPrompts m_prompts{m_script};
    CProjectSettings m_settings;
    CProgramOptions m_options;
    CMessageQueue m_queue;
};

void CDialogTitleFitterTest::everyDialogShowsItsWholeTitle_data() {
    QTest::addColumn<DialogMaker>("make");
    const auto box = [](QMessageBox::Icon icon, const QString& text) {
        return [icon, text] {
            return std::make_unique<QMessageBox>(icon, "Tarnwick", text, QMessageBox::Ok);
        };
    };
    QTest::newRow("message") << DialogMaker(box(QMessageBox::Information, "Done."));
    QTest::newRow("question") << DialogMaker(box(QMessageBox::Question, "Stop?"));
    QTest::newRow("summary") << DialogMaker(
        [] { return std::make_unique<CSummaryDlg>(CDownloadList::Stats{}); });
    QTest::newRow("new project") << DialogMaker(
        [this] { return std::make_unique<CProjectSheet>(m_settings, true, m_prompts, nullptr); });
    QTest::newRow("program options")
        << DialogMaker([this] { return std::make_unique<COptionSheet>(m_options, m_prompts); });
    QTest::newRow("filter") << DialogMaker(
        [this] { return std::make_unique<CFilterDlg>(m_prompts); });
    QTest::newRow("about") << DialogMaker([] { return std::make_unique<CAboutDlg>(); });
    QTest::newRow("compile") << DialogMaker(
        [this] { return std::make_unique<CCompileChmDialog>(m_prompts, nullptr); });
    QTest::newRow("update") << DialogMaker(
        [this] { return std::make_unique<CUpdateHtmlDialog>(m_queue, m_prompts, nullptr); });
}

void CDialogTitleFitterTest::everyDialogShowsItsWholeTitle() {
    QFETCH(DialogMaker, make);
    const CDialogTitleFitter fitter;
    const std::unique_ptr<QDialog> dialog = make();
    dialog->show();
    QVERIFY(QTest::qWaitForWindowExposed(dialog.get()));
    QCoreApplication::processEvents();
    QVERIFY2(
        dialog->width() >= CDialogTitleFitter::TitleBarWidth(dialog->windowTitle()),
        qPrintable(QString("%1 px for \"%2\"").arg(dialog->width()).arg(dialog->windowTitle())));
    dialog->hide();
}

TARNWICK_UI_TEST(CDialogTitleFitterTest);
#include "dialog_title_fitter_test.moc"
