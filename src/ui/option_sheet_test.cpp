#include "ui/option_sheet.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QLineEdit>
#include <QPushButton>
#include <QtTest>

#include "engine/program_options.h"
#include "support/scripted_prompts.h"
#include "support/ui_test_registry.h"
#include "ui/spin_edit.h"

using testing_support::Script;
using testing_support::ScriptedPrompts;

namespace {

// Whether the field or its inner edit holds the sheet's focus.
bool HasSheetFocus(const QDialog& sheet, QWidget* field) {
    QWidget* focus = sheet.focusWidget();
    return focus == field || field->isAncestorOf(focus);
}

}  // namespace

class COptionSheetTest : public QObject {
    Q_OBJECT

private slots:
    void okCopiesEveryField();
    void proxyIsKeptOnlyWhenEnabled_data();
    void proxyIsKeptOnlyWhenEnabled();
    void refusedFieldKeepsTheSheetOpen_data();
    void refusedFieldKeepsTheSheetOpen();
    void cancelChangesNothing();
    void agentOutsideTheTableShowsNoRow();
    void agentTakesAPresetOrOwnText_data();
    void agentTakesAPresetOrOwnText();
    void spinEditKeepsTextAndStepsInRange();
    void helpOpensThePagesTopic();
};

void COptionSheetTest::okCopiesEveryField() {
    Script script;
    ScriptedPrompts prompts(script);
    CProgramOptions options;
    COptionSheet sheet(options, prompts);
    CPropOptConn& page = sheet.Connection();
    QCOMPARE(page.Agent()->count(), CProgramOptions::kUserAgentCount);
    QCOMPARE(page.Agent()->currentText(), "Internet Explorer 6");
    page.ConnectionTimeout()->SetText(" 7 ");
    page.RequestTimeout()->SetText("99");
    QCOMPARE(page.TransferLimit()->text(), "0");
    page.TransferLimit()->SetText("86400");
    page.Retries()->SetText("0");
    page.Agent()->setCurrentIndex(4);
    page.VerifyCertificates()->setChecked(false);
    page.HeadRequests()->setChecked(false);
    page.PageRequisites()->setChecked(false);
    QVERIFY(page.Robots()->isChecked());
    page.Robots()->setChecked(false);
    QCOMPARE(page.Wait()->text(), "0");
    page.Wait()->SetText("1500");
    page.RandomWait()->setChecked(true);
    page.LimitRate()->SetText("4294967295");
    sheet.accept();

    QCOMPARE(sheet.result(), QDialog::Accepted);
    QVERIFY(script.messages.isEmpty());
    QCOMPARE(options.GetConnectionTimeout(), 7);
    QCOMPARE(options.GetRequestTimeout(), 99);
    QCOMPARE(options.GetTransferLimit(), 86400);
    QCOMPARE(options.GetRetries(), 0);
    QCOMPARE(options.GetUserAgent(), 4);
    QVERIFY(!options.GetVerifyCertificates());
    QVERIFY(!options.GetHeadRequests());
    QVERIFY(!options.GetPageRequisites());
    QVERIFY(!options.GetRobots());
    QCOMPARE(options.GetWaitMs(), 1500u);
    QVERIFY(options.GetRandomWait());
    QCOMPARE(options.GetLimitRate(), 4294967295u);
}

void COptionSheetTest::proxyIsKeptOnlyWhenEnabled_data() {
    QTest::addColumn<QString>("storedHost");
    QTest::addColumn<uint>("storedPort");
    QTest::addColumn<bool>("shownEnabled");
    QTest::addColumn<bool>("tick");
    QTest::addColumn<QString>("host");
    QTest::addColumn<uint>("port");
    QTest::addColumn<QString>("user");
    QTest::addColumn<QString>("password");
    // Ticked rows type " proxy.lan ", "8080", "  ann " and " pw ".
    QTest::newRow("cleared erases every field")
        << "old.lan" << 3128u << true << false << "" << 0u << ""
        << "";
    QTest::newRow("port 0 shows disabled, OK erases the host")
        << "old.lan" << 0u << false << false << "" << 0u << ""
        << "";
    QTest::newRow("credentials trimmed, address as typed")
        << "" << 0u << false << true << " proxy.lan " << 8080u << "ann"
        << "pw";
}

void COptionSheetTest::proxyIsKeptOnlyWhenEnabled() {
    QFETCH(QString, storedHost);
    QFETCH(uint, storedPort);
    QFETCH(bool, shownEnabled);
    QFETCH(bool, tick);
    QFETCH(QString, host);
    QFETCH(uint, port);
    QFETCH(QString, user);
    QFETCH(QString, password);
    Script script;
    ScriptedPrompts prompts(script);
    CProgramOptions options;
    options.SetProxy(storedHost.toStdString(), storedPort, "old", "secret");
    COptionSheet sheet(options, prompts);
    CPropOptProxy& page = sheet.Proxy();
    QCOMPARE(page.Enabled()->isChecked(), shownEnabled);
    for (QWidget* edit : {page.Address(), page.Port(), page.User(), page.Password()}) {
        QCOMPARE(edit->isEnabled(), shownEnabled);
    }
    if (!shownEnabled) {
        QVERIFY(page.Address()->text().isEmpty());
        QCOMPARE(page.Port()->text(), "0");
    }
    page.Enabled()->setChecked(tick);
    QCOMPARE(page.Address()->isEnabled(), tick);
    if (tick) {
        page.Address()->setText(" proxy.lan ");
        page.Port()->setText("8080");
        page.User()->setText("  ann ");
        page.Password()->setText(" pw ");
    }
    QVERIFY(sheet.SetActivePage(1));
    sheet.accept();

    QCOMPARE(sheet.result(), QDialog::Accepted);
    QCOMPARE(QString::fromStdString(options.GetProxyHost()), host);
    QCOMPARE(options.GetProxyPort(), port);
    QCOMPARE(QString::fromStdString(options.GetProxyUser()), user);
    QCOMPARE(QString::fromStdString(options.GetProxyPassword()), password);
}

void COptionSheetTest::refusedFieldKeepsTheSheetOpen_data() {
    // connection, request, retries, port, transfer limit, wait, limit rate
    QTest::addColumn<int>("field");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("message");
    const QString range = "Please enter an integer between %1 and %2.";
    QTest::newRow("connection 0") << 0 << "0" << range.arg(1).arg(99);
    QTest::newRow("request not a number") << 1 << "abc"
                                          << "Please enter a positive integer.";
    QTest::newRow("request empty") << 1 << ""
                                   << "Please enter a positive integer.";
    QTest::newRow("retries 100") << 2 << "100" << range.arg(0).arg(99);
    QTest::newRow("retries negative") << 2 << "-1"
                                      << "Please enter a positive integer.";
    QTest::newRow("retries beyond 32 bits") << 2 << "4294967296"
                                            << "Please enter a positive integer.";
    QTest::newRow("port 65536") << 3 << "65536" << range.arg(0).arg(65535);
    QTest::newRow("transfer limit over a day") << 4 << "86401" << range.arg(0).arg(86400);
    QTest::newRow("transfer limit negative") << 4 << "-5"
                                             << "Please enter a positive integer.";
    QTest::newRow("wait over an hour") << 5 << "3600001" << range.arg(0).arg(3600000);
    QTest::newRow("limit rate beyond 32 bits") << 6 << "4294967296"
                                               << "Please enter a positive integer.";
}

void COptionSheetTest::refusedFieldKeepsTheSheetOpen() {
    QFETCH(int, field);
    QFETCH(QString, text);
    QFETCH(QString, message);
    Script script;
    ScriptedPrompts prompts(script);
    CProgramOptions options;
    COptionSheet sheet(options, prompts);
    sheet.show();
    CPropOptConn& connection = sheet.Connection();
    CPropOptProxy& proxy = sheet.Proxy();
    QWidget* const fields[] = {connection.ConnectionTimeout(), connection.RequestTimeout(),
                               connection.Retries(),           proxy.Port(),
                               connection.TransferLimit(),     connection.Wait(),
                               connection.LimitRate()};
    if (field == 3) {
        QVERIFY(sheet.SetActivePage(1));
        proxy.Enabled()->setChecked(true);
        proxy.Address()->setText("proxy.lan");
        proxy.Port()->setText(text);
    } else {
        static_cast<CSpinEdit*>(fields[field])->SetText(text);
        // Leaving the page is refused as OK is.
        QVERIFY(!sheet.SetActivePage(1));
        QCOMPARE(sheet.GetActiveIndex(), 0);
        QCOMPARE(script.messages, QStringList{message});
        script.messages.clear();
    }
    sheet.accept();

    QCOMPARE(script.messages, QStringList{message});
    QVERIFY(sheet.isVisible());
    QCOMPARE(sheet.result(), QDialog::Rejected);
    QVERIFY(HasSheetFocus(sheet, fields[field]));
    QCOMPARE(options.GetConnectionTimeout(), 5);
    QVERIFY(options.GetProxyHost().empty());
}

void COptionSheetTest::cancelChangesNothing() {
    Script script;
    ScriptedPrompts prompts(script);
    CProgramOptions options;
    options.SetProxy("old.lan", 3128);
    options.SetTransferLimit(300);
    COptionSheet sheet(options, prompts);
    QCOMPARE(sheet.Connection().TransferLimit()->text(), "300");
    sheet.Connection().RequestTimeout()->SetText("42");
    sheet.Connection().TransferLimit()->SetText("5");
    QVERIFY(sheet.SetActivePage(1));
    sheet.Proxy().Enabled()->setChecked(false);
    sheet.reject();

    QCOMPARE(options.GetRequestTimeout(), 5);
    QCOMPARE(options.GetTransferLimit(), 300);
    QCOMPARE(options.GetProxyHost(), "old.lan");
}

void COptionSheetTest::agentOutsideTheTableShowsNoRow() {
    Script script;
    ScriptedPrompts prompts(script);
    CProgramOptions options;
    options.SetUserAgent(7);
    COptionSheet sheet(options, prompts);
    QCOMPARE(sheet.Connection().Agent()->currentIndex(), -1);
    sheet.accept();
    QCOMPARE(options.GetUserAgent(), 7);
}

void COptionSheetTest::agentTakesAPresetOrOwnText_data() {
    QTest::addColumn<QString>("storedText");
    QTest::addColumn<QString>("shown");
    QTest::addColumn<QString>("typed");  // empty: leave the combo box as shown
    QTest::addColumn<int>("preset");
    QTest::addColumn<QString>("text");
    const QString firefox = CProgramOptions::UserAgentName(3);
    QTest::newRow("own text shown and kept") << "MyBot/1.0"
                                             << "MyBot/1.0"
                                             << "" << 2 << "MyBot/1.0";
    QTest::newRow("own text typed")
        << ""
        << "Internet Explorer 6"
        << " MyBot/2.0 (+https://x.example/) " << 2 << "MyBot/2.0 (+https://x.example/)";
    QTest::newRow("a preset's name replaces the own text")
        << "MyBot/1.0"
        << "MyBot/1.0" << firefox.toLower() << 3 << "";
}

void COptionSheetTest::agentTakesAPresetOrOwnText() {
    QFETCH(QString, storedText);
    QFETCH(QString, shown);
    QFETCH(QString, typed);
    QFETCH(int, preset);
    QFETCH(QString, text);
    Script script;
    ScriptedPrompts prompts(script);
    CProgramOptions options;
    options.SetUserAgentText(storedText.toStdString());
    COptionSheet sheet(options, prompts);
    QComboBox* agent = sheet.Connection().Agent();
    QVERIFY(agent->isEditable());
    QCOMPARE(agent->currentText(), shown);
    QCOMPARE(agent->itemData(5, Qt::ToolTipRole).toString(),
             QString(CProgramOptions::PresetUserAgentString(5)));
    if (!typed.isEmpty()) {
        agent->lineEdit()->selectAll();
        QTest::keyClicks(agent->lineEdit(), typed);
    }
    sheet.accept();
    QCOMPARE(options.GetUserAgent(), preset);
    QCOMPARE(QString::fromStdString(options.GetUserAgentText()), text);
}

void COptionSheetTest::spinEditKeepsTextAndStepsInRange() {
    Script script;
    ScriptedPrompts prompts(script);
    CProgramOptions options;
    COptionSheet sheet(options, prompts);
    sheet.show();
    QVERIFY(QTest::qWaitForWindowActive(&sheet));
    CSpinEdit* retries = sheet.Connection().Retries();
    // Leaving the field keeps what was typed, for the page to judge.
    retries->setFocus();
    retries->SetText("abc");
    sheet.Connection().RequestTimeout()->setFocus();
    QCOMPARE(retries->text(), "abc");
    retries->SetText("98");
    retries->stepBy(5);
    QCOMPARE(retries->text(), "99");
    retries->SetText("x");
    retries->stepBy(-1);
    QCOMPARE(retries->text(), "0");
}

void COptionSheetTest::helpOpensThePagesTopic() {
    Script script;
    ScriptedPrompts prompts(script);
    CProgramOptions options;
    COptionSheet sheet(options, prompts);
    QVERIFY(sheet.Buttons()->button(QDialogButtonBox::Help) != nullptr);
    QVERIFY(sheet.Buttons()->button(QDialogButtonBox::Apply) == nullptr);
    sheet.Buttons()->button(QDialogButtonBox::Help)->click();
    QVERIFY(sheet.SetActivePage(1));
    sheet.Buttons()->button(QDialogButtonBox::Help)->click();
    QCOMPARE(script.helpTopics, (QList<HelpTopic>{HelpTopic::Connection, HelpTopic::ProxyServer}));
}

TARNWICK_UI_TEST(COptionSheetTest);
#include "option_sheet_test.moc"
