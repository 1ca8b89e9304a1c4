#include "cli/settings_command.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>

#include "engine/program_options.h"
#include "support/scoped_env.h"
#include "support/temp_folder.h"

namespace {

using testing_support::ReadFile;
using testing_support::ScopedEnv;
using testing_support::TempFolder;

class SettingsCommandTest : public testing::Test {
protected:
    int Run(const Arguments& arguments) {
        m_out.str("");
        m_err.str("");
        return RunSettingsCommand(arguments, m_out, m_err);
    }
    std::string Store() const { return ReadFile(m_folder.File("Tarnwick.reg")); }

    TempFolder m_folder;
    ScopedEnv m_configDir{"TARNWICK_CONFIG_DIR", m_folder.Path().c_str()};
    std::ostringstream m_out;
    std::ostringstream m_err;
};

TEST_F(SettingsCommandTest, PrintsEverySettingUnderItsStoredName) {
    CProgramOptions stored;
    // A store edited by hand may hold what the command refuses.
    stored.SetProxy("proxy.example", 3128, "ann\x1b]0;t\x07", "se=cret");
    stored.SetRetries(7);
    stored.SetHeadRequests(false);
    stored.SetPageRequisites(false);
    stored.SetTransferLimit(120);
    stored.SetWaitMs(1500);
    stored.SetLimitRate(204800);
    stored.SetUserAgentText("MyBot/1.0");
    stored.Save();
    ASSERT_EQ(Run({}), 0);
    EXPECT_EQ(m_out.str(),
              "Connection=5\nRequest=5\nRetry=7\nProxy=proxy.example\nPort=3128\n"
              "User name=ann\\x1b]0;t\\x07\nPassword=***\nUser Agent=2\n"
              "Verify Certificates=1\nHead Requests=0\nPage Requisites=0\nTransfer Limit=120\n"
              "Robots=1\nWait=1500\nRandom Wait=0\nLimit Rate=204800\nUser Agent Text=MyBot/1.0\n" +
                  DescribeUserAgentPresets());
    EXPECT_NE(
        DescribeUserAgentPresets().find(std::string("  5 ") + CProgramOptions::UserAgentName(5) +
                                        ": " + CProgramOptions::PresetUserAgentString(5) + "\n"),
        std::string::npos);
    // A name alone prints that one setting.
    ASSERT_EQ(Run({"retry"}), 0);
    EXPECT_EQ(m_out.str(), "Retry=7\n");
    ASSERT_EQ(Run({"Password"}), 0);
    EXPECT_EQ(m_out.str(), "Password=***\n");
    CProgramOptions().Save();
    ASSERT_EQ(Run({}), 0);
    EXPECT_NE(m_out.str().find("\nPassword=\n"), std::string::npos);
}

TEST_F(SettingsCommandTest, ChecksEachValueAsTheOptionsSheetDoes) {
    struct Case {
        Arguments arguments;
        int status;
        const char* message;  // what the error output holds; empty when accepted
    };
    const std::string longText(512, 'x');
    const Case cases[] = {
        {{"Retry=0"}, 0, ""},
        {{"retry=99", "Connection= 1 ", "Request=99"}, 0, ""},
        {{"User Agent=Netscape 7.0", "Head Requests=0", "Verify Certificates=1"}, 0, ""},
        {{"Retry=100"}, 1, "Retry: Please enter an integer between 0 and 99.\n"},
        {{"Connection=0"}, 1, "Connection: Please enter an integer between 1 and 99.\n"},
        {{"Request=4294967296"}, 1, "Request: Please enter an integer between 1 and 99.\n"},
        {{"Port=65536"}, 1, "Port: Please enter an integer between 0 and 65535.\n"},
        {{"User Agent=6"}, 1, "User Agent: Please enter an integer between 0 and 5.\n"},
        {{"Head Requests=2"}, 1, "Head Requests: Please enter an integer between 0 and 1.\n"},
        {{"Page Requisites=2"}, 1, "Page Requisites: Please enter an integer between 0 and 1.\n"},
        {{"Retry=-1"}, 1, "Retry: Please enter a positive integer.\n"},
        {{"Retry=3x"}, 1, "Retry: Please enter a positive integer.\n"},
        {{"Connection="}, 1, "Connection: Please enter a positive integer.\n"},
        {{"Proxy=" + longText}, 1, "Proxy: Please enter no more than 511 characters.\n"},
        {{"Transfer Limit=0", "Transfer Limit=86400"}, 0, ""},
        {{"Robots=2"}, 1, "Robots: Please enter an integer between 0 and 1.\n"},
        {{"Wait=3600001"}, 1, "Wait: Please enter an integer between 0 and 3600000.\n"},
        {{"Limit Rate=4294967296"}, 1, "Limit Rate: Please enter an integer between 0 and "},
        {{"User Agent Text=MyBot\r\nX: 1"}, 1, "User Agent Text: Please enter no control"},
        // Letters beyond ASCII, and a format character, are no control characters.
        {{"Password=p\xc3\xa4ss w\xc3\xb6rt", "User name=\u200bann"}, 0, ""},
        {{"Transfer Limit=86401"},
         1,
         "Transfer Limit: Please enter an integer between 0 and 86400.\n"},
        {{"Proxy=p.example\r\nX-Evil: 1"}, 1, "Proxy: Please enter no control characters"},
        {{"User name=\x1b]0;pwned\x07"}, 1, "User name: Please enter no control characters"},
        {{"Password=pw\n"}, 1, "Password: Please enter no control characters"},
        {{"Password=p\xc2\x9bw"}, 1, "Password: Please enter no control characters"},
        // Nothing is stored when a later value is refused, or a name is unknown.
        {{"Retry=9", "Port=x"}, 1, "Port: Please enter a positive integer.\n"},
        {{"Retry=9", "Retries=9"}, 2, "no setting Retries"},
        {{"Retries"}, 2, "no setting Retries "},
    };
    for (const Case& c : cases) {
        CProgramOptions().Save();
        const std::string before = Store();
        SCOPED_TRACE(c.arguments.front());
        EXPECT_EQ(Run(c.arguments), c.status);
        EXPECT_NE(m_err.str().find(c.message), std::string::npos) << m_err.str();
        if (c.status != 0) {
            EXPECT_EQ(Store(), before);
        } else {
            EXPECT_EQ(m_err.str(), "");
        }
    }
}

TEST_F(SettingsCommandTest, StoresTheAcceptedValues) {
    const std::string password(511, 'x');
    ASSERT_EQ(Run({"Proxy=p.example", "Port=65535", "User name= u ", "Password=" + password,
                   "User Agent=netscape 7.0", "Retry=0", "Head Requests=0", "Page Requisites=0",
                   "Transfer Limit=90", "Robots=0", "Wait=250", "Random Wait=1",
                   "Limit Rate=204800", "User Agent Text= MyBot/1.0 (+https://x.example/) "}),
              0);
    CProgramOptions loaded;
    loaded.Load();
    EXPECT_EQ(loaded.GetProxyHost(), "p.example");
    EXPECT_EQ(loaded.GetProxyPort(), 65535u);
    EXPECT_EQ(loaded.GetProxyUser(), "u");  // trimmed, as the sheet stores it
    EXPECT_EQ(loaded.GetProxyPassword(), password);
    EXPECT_EQ(loaded.GetUserAgent(), 5);
    EXPECT_EQ(loaded.GetRetries(), 0);
    EXPECT_FALSE(loaded.GetHeadRequests());
    EXPECT_FALSE(loaded.GetPageRequisites());
    EXPECT_EQ(loaded.GetTransferLimit(), 90);
    EXPECT_FALSE(loaded.GetRobots());
    EXPECT_EQ(loaded.GetWaitMs(), 250u);
    EXPECT_TRUE(loaded.GetRandomWait());
    EXPECT_EQ(loaded.GetLimitRate(), 204800u);
    EXPECT_EQ(loaded.GetUserAgentText(), "MyBot/1.0 (+https://x.example/)");
    EXPECT_STREQ(loaded.UserAgentString(), "MyBot/1.0 (+https://x.example/)");
}

TEST_F(SettingsCommandTest, AProxyWithoutAddressOrPortIsTurnedOffWithItsCredentials) {
    const Arguments cases[] = {{"Port=0"}, {"Proxy="}};
    for (const Arguments& arguments : cases) {
        CProgramOptions stored;
        stored.SetProxy("p.example", 8080, "ann", "pw");
        stored.SetRetries(9);
        stored.Save();
        ASSERT_EQ(Run(arguments), 0);
        CProgramOptions loaded;
        loaded.Load();
        EXPECT_EQ(loaded.GetProxyHost(), "") << arguments.front();
        EXPECT_EQ(loaded.GetProxyPort(), 0u);
        EXPECT_EQ(loaded.GetProxyUser(), "");
        EXPECT_EQ(loaded.GetProxyPassword(), "");
        EXPECT_EQ(loaded.GetRetries(), 9);
    }
}

}  // namespace
