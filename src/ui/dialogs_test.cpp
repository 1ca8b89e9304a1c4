#include <QApplication>
#include <QLineEdit>
#include <QMessageBox>
#include <QTimer>
#include <QtTest>

#include "support/scripted_prompts.h"
#include "support/ui_test_registry.h"
#include "ui/about_dlg.h"
#include "ui/filter_dlg.h"
#include "ui/hyper_link.h"
#include "ui/summary_dlg.h"
#include "ui/update_html_dialog.h"

using testing_support::Script;
using testing_support::ScriptedPrompts;

class CDialogsTest : public QObject {
    Q_OBJECT

private slots:
    void filterDialogChecksItsFields_data();
    void filterDialogChecksItsFields();
    void summaryGroupsTheDigits();
    void aboutShowsVersionAndLinks();
    void nameLineHasFourVersionNumbers_data();
    void nameLineHasFourVersionNumbers();
    void updateCancelAsksTheUser_data();
    void updateCancelAsksTheUser();
};

void CDialogsTest::filterDialogChecksItsFields_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("minimum");
    QTest::addColumn<QString>("maximum");
    QTest::addColumn<QString>("message");   // empty when accepted
    QTest::addColumn<int>("refusedField");  // name, minimum, maximum
    QTest::newRow("three spaces") << "   "
                                  << "0"
                                  << "0"
                                  << "Filter name must not be empty!" << 0;
    QTest::newRow("minimum not a number") << "Docs"
                                          << "ten"
                                          << "0"
                                          << "Please enter a positive integer." << 1;
    QTest::newRow("negative maximum") << "Docs"
                                      << "0"
                                      << "-5"
                                      << "Please enter a positive integer." << 2;
    QTest::newRow("minimum above maximum") << " Docs "
                                           << "50"
                                           << "10"
                                           << "" << -1;
}

void CDialogsTest::filterDialogChecksItsFields() {
    QFETCH(QString, name);
    QFETCH(QString, minimum);
    QFETCH(QString, maximum);
    QFETCH(QString, message);
    QFETCH(int, refusedField);
    Script script;
    ScriptedPrompts prompts(script);
    CFilterDlg dialog(prompts);
    QCOMPARE(dialog.windowTitle(), "Filter Properties");
    dialog.show();
    dialog.NameEdit()->setText(name);
    dialog.ExtensionsEdit()->setText("pdf;doc");
    dialog.MinimumEdit()->setText(minimum);
    dialog.MaximumEdit()->setText(maximum);
    dialog.accept();

    if (message.isEmpty()) {
        QVERIFY(script.messages.isEmpty());
        QCOMPARE(dialog.result(), QDialog::Accepted);
        QCOMPARE(dialog.m_name, "Docs");
        QCOMPARE(dialog.m_extensions, "pdf;doc");
        QCOMPARE(dialog.m_minimum, 50u);
        QCOMPARE(dialog.m_maximum, 10u);
        return;
    }
    QCOMPARE(script.messages, QStringList{message});
    QVERIFY(dialog.isVisible());
    QCOMPARE(dialog.result(), QDialog::Rejected);
    QLineEdit* const fields[] = {dialog.NameEdit(), dialog.MinimumEdit(), dialog.MaximumEdit()};
    QCOMPARE(dialog.focusWidget(), fields[refusedField]);
    QVERIFY(dialog.m_name.isEmpty());
}

void CDialogsTest::summaryGroupsTheDigits() {
    const CDownloadList::Stats stats{1000, 999, 1234567, 12345678901};
    CSummaryDlg dialog(stats);
    QCOMPARE(dialog.windowTitle(), "Project Summary");
    QCOMPARE(dialog.FigureText(0), "1,000");
    QCOMPARE(dialog.FigureText(1), "999");
    QCOMPARE(dialog.FigureText(2), "1,234,567");
    QCOMPARE(dialog.FigureText(3), "12,345,678,901");
}

void CDialogsTest::aboutShowsVersionAndLinks() {
    CAboutDlg dialog;
    QCOMPARE(dialog.windowTitle(), "About");
    QVERIFY(dialog.NameText().startsWith("Tarnwick  v"));
    QCOMPARE(dialog.NameText().count('.'), 3);
    QVERIFY(dialog.CopyrightText().startsWith("Copyright"));
    QCOMPARE(dialog.Website()->Address(), QUrl("https://tarnwick.org/"));
    QCOMPARE(dialog.Email()->Address().scheme(), "mailto");
    QCOMPARE(dialog.Email()->Address().path(), dialog.Email()->text());
    for (CHyperLink* link : {dialog.Website(), dialog.Email()}) {
        QCOMPARE(link->palette().color(QPalette::WindowText), QColor(0, 0, 255));
        QVERIFY(link->font().underline());
        QCOMPARE(link->cursor().shape(), Qt::PointingHandCursor);
    }
}

void CDialogsTest::nameLineHasFourVersionNumbers_data() {
    QTest::addColumn<QString>("product");
    QTest::addColumn<QString>("version");
    QTest::addColumn<QString>("line");
    QTest::newRow("three numbers") << "Tarnwick"
                                   << "1.0.0"
                                   << "Tarnwick  v1.0.0.0";
    QTest::newRow("four numbers") << "Tarnwick"
                                  << "2.5.1.7"
                                  << "Tarnwick  v2.5.1.7";
    QTest::newRow("no version") << ""
                                << ""
                                << "  v";
}

void CDialogsTest::nameLineHasFourVersionNumbers() {
    QFETCH(QString, product);
    QFETCH(QString, version);
    QFETCH(QString, line);
    QCOMPARE(CAboutDlg::NameLine(product, version), line);
}

void CDialogsTest::updateCancelAsksTheUser_data() {
    QTest::addColumn<bool>("answer");
    QTest::newRow("Yes ends the dialog") << true;
    QTest::newRow("No keeps it") << false;
}

void CDialogsTest::updateCancelAsksTheUser() {
    QFETCH(bool, answer);
    CMessageQueue queue;
    Script script;
    script.answerYes = answer;
    ScriptedPrompts prompts(script);
    CUpdateHtmlDialog dialog(queue, prompts, nullptr);
    dialog.show();
    // A box that asks past the prompts would wait for a user: it is turned down.
    QTimer closer;
    closer.setSingleShot(true);
    connect(&closer, &QTimer::timeout, [] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            box->reject();
        }
    });
    closer.start(0);
    dialog.reject();
    QCOMPARE(script.questions, QStringList{"Cancel file updating?"});
    QCOMPARE(dialog.isVisible(), !answer);
}

TARNWICK_UI_TEST(CDialogsTest);
#include "dialogs_test.moc"
