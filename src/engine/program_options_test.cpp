#include "engine/program_options.h"

#include <gtest/gtest.h>

#include <string>

#include "platform/registry_key.h"
#include "support/scoped_env.h"
#include "support/temp_folder.h"

namespace {

using testing_support::ReadFile;
using testing_support::ScopedEnv;
using testing_support::TempFolder;
using testing_support::WriteFile;

class ProgramOptionsTest : public testing::Test {
protected:
    std::string StorePath() const { return m_folder.File("Tarnwick.reg"); }

    // Settings that differ from every default.
    static CProgramOptions Custom() {
        CProgramOptions options;
        options.SetProxy("proxy.example", 3128, "user \"x\"", "pa\\ss\nword");
        options.SetConnectionTimeout(99);
        options.SetRequestTimeout(1);
        options.SetRetries(0);
        options.SetUserAgent(5);
        options.SetVerifyCertificates(false);
        options.SetHeadRequests(false);
        options.SetPageRequisites(false);
        options.SetTransferLimit(600);
        options.SetRobots(false);
        options.SetWaitMs(1500);
        options.SetRandomWait(true);
        options.SetLimitRate(204800);
        options.SetUserAgentText("MyBot/1.0 (+https://example.org/bot)");
        return options;
    }

    static void ExpectDefaults(const CProgramOptions& options) {
        EXPECT_EQ(options.GetProxyHost(), "");
        EXPECT_EQ(options.GetProxyPort(), 0u);
        EXPECT_FALSE(options.IsProxyInUse());
        EXPECT_EQ(options.GetProxyUser(), "");
        EXPECT_EQ(options.GetProxyPassword(), "");
        EXPECT_EQ(options.GetConnectionTimeout(), 5);
        EXPECT_EQ(options.GetRequestTimeout(), 5);
        EXPECT_EQ(options.GetRetries(), 3);
        EXPECT_EQ(options.GetUserAgent(), 2);
        EXPECT_TRUE(options.GetVerifyCertificates());
        EXPECT_TRUE(options.GetHeadRequests());
        EXPECT_TRUE(options.GetPageRequisites());
        EXPECT_EQ(options.GetTransferLimit(), 0);
        EXPECT_TRUE(options.GetRobots());
        EXPECT_EQ(options.GetWaitMs(), 0u);
        EXPECT_FALSE(options.GetRandomWait());
        EXPECT_EQ(options.GetLimitRate(), 0u);
        EXPECT_EQ(options.GetUserAgentText(), "");
    }

    static void ExpectSame(const CProgramOptions& a, const CProgramOptions& b) {
        EXPECT_EQ(a.GetProxyHost(), b.GetProxyHost());
        EXPECT_EQ(a.GetProxyPort(), b.GetProxyPort());
        EXPECT_EQ(a.GetProxyUser(), b.GetProxyUser());
        EXPECT_EQ(a.GetProxyPassword(), b.GetProxyPassword());
        EXPECT_EQ(a.GetConnectionTimeout(), b.GetConnectionTimeout());
        EXPECT_EQ(a.GetRequestTimeout(), b.GetRequestTimeout());
        EXPECT_EQ(a.GetRetries(), b.GetRetries());
        EXPECT_EQ(a.GetUserAgent(), b.GetUserAgent());
        EXPECT_EQ(a.GetVerifyCertificates(), b.GetVerifyCertificates());
        EXPECT_EQ(a.GetHeadRequests(), b.GetHeadRequests());
        EXPECT_EQ(a.GetPageRequisites(), b.GetPageRequisites());
        EXPECT_EQ(a.GetTransferLimit(), b.GetTransferLimit());
        EXPECT_EQ(a.GetRobots(), b.GetRobots());
        EXPECT_EQ(a.GetWaitMs(), b.GetWaitMs());
        EXPECT_EQ(a.GetRandomWait(), b.GetRandomWait());
        EXPECT_EQ(a.GetLimitRate(), b.GetLimitRate());
        EXPECT_EQ(a.GetUserAgentText(), b.GetUserAgentText());
    }

    // Loads into an object that starts from custom values, so that a field the
    // load forgets to reset shows up.
    static CProgramOptions Loaded() {
        CProgramOptions options = Custom();
        options.Load();
        return options;
    }

    TempFolder m_folder;
    ScopedEnv m_configDir{"TARNWICK_CONFIG_DIR", m_folder.Path().c_str()};
};

TEST_F(ProgramOptionsTest, FirstRunGivesDefaults) {
    ExpectDefaults(CProgramOptions());
    ExpectDefaults(Loaded());
}

TEST_F(ProgramOptionsTest, SaveWritesEveryValueAndLoadReadsItBack) {
    Custom().Save();
    EXPECT_EQ(ReadFile(StorePath()),
              "Windows Registry Editor Version 5.00\n"
              "\n"
              "[Software\\Ostrevane\\Tarnwick\\Settings]\n"
              "\"Connection\"=dword:00000063\n"
              "\"Head Requests\"=dword:00000000\n"
              "\"Limit Rate\"=dword:00032000\n"
              "\"Page Requisites\"=dword:00000000\n"
              "\"Password\"=hex(1):70,61,5c,73,73,0a,77,6f,72,64,00\n"
              "\"Port\"=dword:00000c38\n"
              "\"Proxy\"=\"proxy.example\"\n"
              "\"Random Wait\"=dword:00000001\n"
              "\"Request\"=dword:00000001\n"
              "\"Retry\"=dword:00000000\n"
              "\"Robots\"=dword:00000000\n"
              "\"Transfer Limit\"=dword:00000258\n"
              "\"User Agent\"=dword:00000005\n"
              "\"User Agent Text\"=\"MyBot/1.0 (+https://example.org/bot)\"\n"
              "\"User name\"=\"user \\\"x\\\"\"\n"
              "\"Verify Certificates\"=dword:00000000\n"
              "\"Wait\"=dword:000005dc\n"
              "\n");
    CProgramOptions loaded;
    loaded.Load();
    ExpectSame(loaded, Custom());
    EXPECT_TRUE(loaded.IsProxyInUse());

    CProgramOptions().Save();
    ExpectDefaults(Loaded());
}

TEST_F(ProgramOptionsTest, AnyBadValueResetsEverySetting) {
    struct Case {
        const char* what;
        const char* name;
        std::uint32_t dword;
        const char* text;  // a string value instead of a DWORD when set
    };
    const std::string longText(512, 'p');
    const Case cases[] = {
        {"connection 0", "Connection", 0, nullptr},
        {"connection 100", "Connection", 100, nullptr},
        {"request 0", "Request", 0, nullptr},
        {"request 100", "Request", 100, nullptr},
        {"retry 100", "Retry", 100, nullptr},
        {"retry -1", "Retry", 0xffffffff, nullptr},
        {"connection as text", "Connection", 0, "5"},
        {"port as text", "Port", 0, "80"},
        {"proxy as dword", "Proxy", 1, nullptr},
        {"512-byte proxy", "Proxy", 0, longText.c_str()},
        {"512-byte user", "User name", 0, longText.c_str()},
        {"512-byte password", "Password", 0, longText.c_str()},
    };
    for (const Case& c : cases) {
        Custom().Save();
        CRegistryKey key = GetSectionKey("Settings");
        ASSERT_TRUE(c.text ? key.WriteString(c.name, c.text) : key.WriteDword(c.name, c.dword));
        SCOPED_TRACE(c.what);
        ExpectDefaults(Loaded());
    }
}

TEST_F(ProgramOptionsTest, AMissingValueOfTheFixedEightResetsEverySetting) {
    const char* names[] = {"Connection", "Request",   "Retry",    "Proxy",
                           "Port",       "User name", "Password", "User Agent"};
    for (const char* missing : names) {
        Custom().Save();
        std::string text = ReadFile(StorePath());
        const std::size_t line = text.find(std::string("\"") + missing + "\"=");
        ASSERT_NE(line, std::string::npos) << missing;
        text.erase(line, text.find('\n', line) - line + 1);
        WriteFile(StorePath(), text);
        SCOPED_TRACE(missing);
        ExpectDefaults(Loaded());
    }
}

TEST_F(ProgramOptionsTest, LimitsAndUnknownUserAgentLoadAsStored) {
    CProgramOptions stored = Custom();
    stored.SetConnectionTimeout(1);
    stored.SetRequestTimeout(99);
    stored.SetRetries(99);
    stored.SetUserAgent(7);
    stored.SetUserAgentText("");
    stored.SetProxy(std::string(511, 'h'), 65535, std::string(511, 'u'), "");
    stored.Save();

    const CProgramOptions loaded = Loaded();
    ExpectSame(loaded, stored);
    EXPECT_EQ(loaded.GetUserAgent(), 7);
    EXPECT_STREQ(loaded.UserAgentString(), "");
}

TEST_F(ProgramOptionsTest, LaterSwitchesAreEachReadOnTheirOwn) {
    using Setter = void (CProgramOptions::*)(bool);
    struct Switch {
        const char* name;
        Setter set;
    };
    const Switch switches[] = {{"Verify Certificates", &CProgramOptions::SetVerifyCertificates},
                               {"Head Requests", &CProgramOptions::SetHeadRequests},
                               {"Page Requisites", &CProgramOptions::SetPageRequisites},
                               {"Robots", &CProgramOptions::SetRobots}};
    struct Case {
        const char* value;  // replaces the stored value; null removes the line
        bool on;
    };
    const Case cases[] = {
        {nullptr, true},           {"\"0\"", true},          {"hex(4):00,00", true},
        {"dword:00000000", false}, {"dword:00000001", true}, {"dword:00000002", true},
    };
    for (const Switch& s : switches) {
        for (const Case& c : cases) {
            Custom().Save();
            std::string text = ReadFile(StorePath());
            const std::size_t line = text.find("\"" + std::string(s.name) + "\"=");
            ASSERT_NE(line, std::string::npos) << s.name;
            text.replace(line, text.find('\n', line) - line + 1,
                         c.value ? "\"" + std::string(s.name) + "\"=" + c.value + "\n" : "");
            WriteFile(StorePath(), text);

            CProgramOptions loaded = Custom();
            (loaded.*s.set)(!c.on);
            loaded.Load();
            CProgramOptions expected = Custom();
            (expected.*s.set)(c.on);
            SCOPED_TRACE(std::string(s.name) + " " + (c.value ? c.value : "missing"));
            ExpectSame(loaded, expected);
        }
    }
}

// A store written before the limit existed, or one out of range, sets none.
TEST_F(ProgramOptionsTest, TransferLimitIsReadOnItsOwn) {
    struct Case {
        const char* value;  // replaces the stored value; null removes the line
        int limit;
    };
    const Case cases[] = {
        {nullptr, 0},  {"dword:00015180", 86400}, {"dword:00015181", 0}, {"dword:ffffffff", 0},
        {"\"60\"", 0}, {"dword:0000003c", 60},
    };
    for (const Case& c : cases) {
        Custom().Save();
        std::string text = ReadFile(StorePath());
        const std::size_t line = text.find("\"Transfer Limit\"=");
        ASSERT_NE(line, std::string::npos);
        text.replace(line, text.find('\n', line) - line + 1,
                     c.value ? "\"Transfer Limit\"=" + std::string(c.value) + "\n" : "");
        WriteFile(StorePath(), text);
        CProgramOptions expected = Custom();
        expected.SetTransferLimit(c.limit);
        SCOPED_TRACE(c.value ? c.value : "missing");
        ExpectSame(Loaded(), expected);
    }
}

// A store written before these values existed, or one out of range, leaves
// each at its default without touching the others.
TEST_F(ProgramOptionsTest, CourtesyValuesAreEachReadOnTheirOwn) {
    using Check = void (*)(CProgramOptions&);
    struct Case {
        const char* name;
        const char* value;  // replaces the stored value; null removes the line
        Check expect;       // applied to Custom() to give what loads
    };
    const Case cases[] = {
        {"Wait", nullptr, [](CProgramOptions& o) { o.SetWaitMs(0); }},
        {"Wait", "dword:0036ee80", [](CProgramOptions& o) { o.SetWaitMs(3600000); }},
        {"Wait", "dword:0036ee81", [](CProgramOptions& o) { o.SetWaitMs(0); }},
        {"Random Wait", nullptr, [](CProgramOptions& o) { o.SetRandomWait(false); }},
        {"Limit Rate", "\"200k\"", [](CProgramOptions& o) { o.SetLimitRate(0); }},
        {"Limit Rate", "dword:ffffffff", [](CProgramOptions& o) { o.SetLimitRate(0xFFFFFFFF); }},
        {"User Agent Text", nullptr, [](CProgramOptions& o) { o.SetUserAgentText(""); }},
        {"User Agent Text", "dword:00000001", [](CProgramOptions& o) { o.SetUserAgentText(""); }},
    };
    for (const Case& c : cases) {
        Custom().Save();
        std::string text = ReadFile(StorePath());
        const std::string key = "\"" + std::string(c.name) + "\"=";
        const std::size_t line = text.find(key);
        ASSERT_NE(line, std::string::npos) << c.name;
        text.replace(line, text.find('\n', line) - line + 1, c.value ? key + c.value + "\n" : "");
        WriteFile(StorePath(), text);
        CProgramOptions expected = Custom();
        c.expect(expected);
        SCOPED_TRACE(std::string(c.name) + " " + (c.value ? c.value : "missing"));
        ExpectSame(Loaded(), expected);
    }
}

TEST_F(ProgramOptionsTest, CorruptOrTruncatedStoreGivesDefaults) {
    Custom().Save();
    const std::string whole = ReadFile(StorePath());
    const std::string corrupt[] = {
        "",
        whole.substr(0, whole.size() / 2),
        whole.substr(0, whole.find("\"User Agent\"") + 14),
        std::string(4096, '\xff'),
        "[Software\\Ostrevane\\Tarnwick\\Settings]\n\"Connection\"=dword:00000005\n",
        whole + "\"Broken\n",
    };
    for (const std::string& text : corrupt) {
        WriteFile(StorePath(), text);
        SCOPED_TRACE(text.substr(0, 60));
        ExpectDefaults(Loaded());
    }
    // The next save replaces the unreadable file with a good one.
    Custom().Save();
    ExpectSame(Loaded(), Custom());
}

TEST(ProgramOptionsTableTest, UserAgentTable) {
    const char* names[] = {"Internet Explorer 5", "Internet Explorer 5.5", "Internet Explorer 6",
                           "Mozilla 1.7",         "Mozilla Firefox 1.0",   "Netscape 7.0"};
    for (int i = 0; i < CProgramOptions::kUserAgentCount; ++i) {
        EXPECT_STREQ(CProgramOptions::UserAgentName(i), names[i]);
    }
    EXPECT_STREQ(CProgramOptions::UserAgentName(-1), "");
    EXPECT_STREQ(CProgramOptions::UserAgentName(6), "");

    CProgramOptions options;
    EXPECT_STREQ(options.UserAgentString(), "Mozilla/4.0 (compatible; MSIE 6.0; Windows NT 5.1)");
    options.SetUserAgent(5);
    EXPECT_STREQ(options.UserAgentString(),
                 "Mozilla/5.0 (Windows; U; Windows NT 5.1; en-US; rv:1.0.1) Gecko/20020823 "
                 "Netscape/7.0");
    options.SetUserAgent(-3);
    EXPECT_STREQ(options.UserAgentString(), "");
    // The own text wins over any preset, even one outside the table.
    options.SetUserAgentText("MyBot/1.0");
    EXPECT_STREQ(options.UserAgentString(), "MyBot/1.0");
    EXPECT_STREQ(CProgramOptions::PresetUserAgentString(0),
                 "Mozilla/4.0 (compatible; MSIE 5.0; Windows 98)");
    EXPECT_EQ(&GetProgramOptions(), &GetProgramOptions());
}

}  // namespace
