#include "protocol/ftp_client.h"

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "platform/wait_event.h"
#include "protocol/response_info.h"
#include "support/memory_stream.h"
#include "support/recording_sink.h"
#include "support/scripted_peer.h"

namespace {

using testing_support::MemoryStream;
using testing_support::RecordingSink;
using testing_support::ScriptedPeer;

constexpr const char* kAnonymousPassword = "tarnwick@example.com";

// A PASV reply that names a documentation address nobody can reach: the
// client has to take the host from its control connection instead.
std::string PassiveReply(int port) {
    return "227 Entering Passive Mode (192,0,2,10," + std::to_string(port / 256) + "," +
           std::to_string(port % 256) + ")\r\n";
}

// Bytes 0..size-1 of a file whose every byte differs from its neighbours.
std::string FileBytes(std::size_t size) {
    std::string bytes(size, '\0');
    for (std::size_t i = 0; i < size; ++i) {
        bytes[i] = static_cast<char>((i * 7 + i / 256) & 0xFF);
    }
    return bytes;
}

class FtpClientTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_client.Attach(&m_sink, &m_stop);
        m_client.SetTimeouts(2000, 5000, 5000);
    }

    // Points the client at path on the server behind control, as an
    // anonymous user.
    void UseUrl(const ScriptedPeer& control, const std::string& path) {
        CUrl url;
        ASSERT_TRUE(url.Parse("ftp://" + control.Authority() + path));
        m_client.SetCredentials(url, "", "", kAnonymousPassword);
    }
    void UseUrl(const std::string& path) { UseUrl(m_control, path); }

    // Greeting, USER and PASS as an anonymous login goes.
    ScriptedPeer& LoginScript() {
        return m_control.Accept()
            .Reply("220 Service ready\r\n")
            .Expect("USER anonymous\r\n")
            .Reply("331 Send your e-mail address\r\n")
            .Expect(std::string("PASS ") + kAnonymousPassword + "\r\n")
            .Reply("230 Logged in\r\n");
    }

    // TYPE I, SIZE and PASV of a download.
    ScriptedPeer& RetrieveScript(const std::string& path, std::size_t size) {
        return LoginScript()
            .Expect("TYPE I\r\n")
            .Reply("200 Type set to I\r\n")
            .Expect("SIZE " + path + "\r\n")
            .Reply("213 " + std::to_string(size) + "\r\n")
            .Expect("PASV\r\n")
            .Reply(PassiveReply(m_data.Port()));
    }

    void ServeData(const std::string& bytes) {
        m_data.Accept().Reply(bytes).Close();
        m_data.Start();
    }

    std::vector<std::string> Texts(std::uint32_t code) const {
        std::vector<std::string> texts;
        for (const auto& event : m_sink.Events()) {
            if (event.code == code) {
                texts.push_back(event.text);
            }
        }
        return texts;
    }

    ScriptedPeer m_control;
    ScriptedPeer m_data;
    RecordingSink m_sink;
    CWaitEvent m_stop;
    CFtpClient m_client;
};

TEST_F(FtpClientTest, LogsInAfterA120GreetingAndQuitsWithTheBareWord) {
    UseUrl("/f");
    m_control.Accept()
        .Reply("120 Ready in a minute\r\n")
        .Expect("USER anonymous\r\n")
        .Reply("230-Welcome\r\n230-Second line\r\n230 Logged in\r\n")
        .Expect("QUIT\r\n")
        .ExpectClose();
    m_control.Start();

    EXPECT_EQ(m_client.Open(), ERR_SUCCESS);
    m_client.Quit();
    EXPECT_EQ(m_control.Finish(), "");
    const std::vector<std::string> replies = Texts(EVT_FTP_REPLY);
    ASSERT_EQ(replies.size(), 2u);
    EXPECT_EQ(replies[1], "230-Welcome\r\n230-Second line\r\n230 Logged in\r\n");
    EXPECT_EQ(Texts(EVT_FTP_COMMAND), (std::vector<std::string>{"USER anonymous\r\n", "QUIT\r\n"}));
}

struct LoginCase {
    std::string userInfo;  // in the URL
    std::string user, password, anonymousPassword;
    std::string expectedUser, expectedPassword;
};

TEST_F(FtpClientTest, ChoosesTheLogin) {
    const std::vector<LoginCase> cases = {
        {"carol:pw@", "bob", "secret", kAnonymousPassword, "bob", "secret"},
        {"carol:pw@", "", "", kAnonymousPassword, "carol", "pw"},
        {"", "", "", kAnonymousPassword, "anonymous", kAnonymousPassword},
        {"", "", "", "", "anonymous", "guest"},
    };
    for (const LoginCase& c : cases) {
        ScriptedPeer control;
        control.Accept()
            .Reply("220 Ready\r\n")
            .Expect("USER " + c.expectedUser + "\r\n")
            .Reply("331 Password\r\n")
            .Expect("PASS " + c.expectedPassword + "\r\n")
            .Reply("230 In\r\n");
        control.Start();
        CUrl url;
        ASSERT_TRUE(url.Parse("ftp://" + c.userInfo + control.Authority() + "/f"));
        m_client.SetCredentials(url, c.user, c.password, c.anonymousPassword);
        EXPECT_EQ(m_client.Open(), ERR_SUCCESS) << c.expectedUser;
        m_client.Quit();
        EXPECT_EQ(control.Finish(), "") << c.expectedUser;
    }
}

struct LoginFailure {
    std::string greeting;
    std::string userReply;  // empty: USER is never sent
    ResultCode result;
};

TEST_F(FtpClientTest, JudgesTheLoginReplies) {
    const std::vector<LoginFailure> cases = {
        {"22\r\n", "", ERR_REPLY_SYNTAX},
        {"220\r\n", "", ERR_REPLY_SYNTAX},
        {"xyz ready\r\n", "", ERR_REPLY_SYNTAX},
        {"421 Too many users\r\n", "", ERR_REPLY_NEGATIVE},
        {"200 Odd greeting\r\n", "", ERR_REPLY_UNEXPECTED},
        {"220 Ready\r\n", "530 Not allowed\r\n", ERR_REPLY_NEGATIVE},
        {"220 Ready\r\n", "220 Again?\r\n", ERR_REPLY_UNEXPECTED},
    };
    for (const LoginFailure& c : cases) {
        ScriptedPeer control;
        control.Accept().Reply(c.greeting);
        if (!c.userReply.empty()) {
            control.Expect("USER anonymous\r\n").Reply(c.userReply);
        }
        control.ExpectClose();
        control.Start();
        UseUrl(control, "/f");
        EXPECT_EQ(m_client.Open(), c.result) << c.greeting << c.userReply;
        // The reply is shown as it came, also when it breaks the syntax.
        EXPECT_EQ(Texts(EVT_FTP_REPLY).back(), c.userReply.empty() ? c.greeting : c.userReply);
        // A failed login leaves the client closed.
        EXPECT_EQ(control.Finish(), "") << c.greeting << c.userReply;
    }
}

TEST_F(FtpClientTest, RefusesAMultiLineReplyWithoutEnd) {
    UseUrl("/f");
    std::string endless = "220-Welcome\r\n";
    while (endless.size() <= CFtpClient::kMaxReplySize + 1024) {
        endless += "220-More of the same\r\n";
    }
    m_control.Accept().Reply(endless);
    m_control.Start();
    EXPECT_EQ(m_client.Open(), ERR_REPLY_SYNTAX);
}

TEST_F(FtpClientTest, ReadsTheExactTimeOfTheListingLine) {
    UseUrl("/pub/file.txt");
    LoginScript()
        .Expect("TYPE A\r\n")
        .Reply("200 Type set to A\r\n")
        .Expect("PASV\r\n")
        .Reply(PassiveReply(m_data.Port()))
        .Expect("LIST /pub/file.txt\r\n")
        .Reply("150 Here it comes\r\n226 Done\r\n")
        .Expect("QUIT\r\n");
    m_control.Start();
    ServeData("+i1.2,m825718503,s280,\tfile.txt\r\n");

    ASSERT_EQ(m_client.Open(), ERR_SUCCESS);
    CResponseInfo info;
    EXPECT_EQ(m_client.GetFileInfo(info), ERR_SUCCESS);
    m_client.Quit();
    EXPECT_EQ(m_control.Finish(), "");
    EXPECT_EQ(m_data.Finish(), "");
    EXPECT_TRUE(info.valid);
    EXPECT_EQ(info.url.GetSourceText(), "ftp://" + m_control.Authority() + "/pub/file.txt");
    EXPECT_TRUE(info.modificationTimeKnown);
    EXPECT_EQ(info.modificationTime, 825718503);
    EXPECT_FALSE(info.contentLengthKnown);
    EXPECT_FALSE(info.contentTypeKnown);
}

struct ListingCase {
    std::string listing;  // on the data connection
    std::string finalReply;
    std::string mdtmReply;  // empty when no MDTM is expected
    ResultCode result;
    std::optional<std::int64_t> time;
};

TEST_F(FtpClientTest, JudgesTheListing) {
    const std::string dayOnly = "-rw-r--r-- 1 o g 280 Jan 5 2020 file.txt\r\n";
    const std::vector<ListingCase> cases = {
        {dayOnly, "226 Done\r\n", "213 20200105093000\r\n", ERR_SUCCESS, 1578216600},
        {dayOnly, "226 Done\r\n", "502 Not implemented\r\n", ERR_SUCCESS, std::nullopt},
        {dayOnly, "226 Done\r\n", "213 yesterday\r\n", ERR_SUCCESS, std::nullopt},
        // A listing shorter than one line ends with the connection.
        {"+m1,\tfile.txt", "250 Done\r\n", "", ERR_SUCCESS, 1},
        {"total 0\r\n", "226 Done\r\n", "", ERR_REPLY_SYNTAX, std::nullopt},
        {"", "226 Done\r\n", "", ERR_REPLY_SYNTAX, std::nullopt},
        {"+m1,\tfile.txt\r\n", "451 Aborted\r\n", "", ERR_REPLY_NEGATIVE, std::nullopt},
    };
    for (const ListingCase& c : cases) {
        ScriptedPeer session;
        ScriptedPeer data;
        session.Accept()
            .Reply("220 Ready\r\n")
            .Expect("USER anonymous\r\n")
            .Reply("230 In\r\n")
            .Expect("TYPE A\r\n")
            .Reply("200 A\r\n")
            .Expect("PASV\r\n")
            .Reply(PassiveReply(data.Port()))
            .Expect("LIST /file.txt\r\n")
            .Reply("150 Listing\r\n" + c.finalReply);
        if (!c.mdtmReply.empty()) {
            session.Expect("MDTM /file.txt\r\n").Reply(c.mdtmReply);
        }
        session.Start();
        data.Accept().Reply(c.listing).Close();
        data.Start();
        UseUrl(session, "/file.txt");
        ASSERT_EQ(m_client.Open(), ERR_SUCCESS);
        CResponseInfo info;
        EXPECT_EQ(m_client.GetFileInfo(info), c.result) << c.listing;
        EXPECT_EQ(info.modificationTimeKnown, c.time.has_value()) << c.listing;
        if (c.time) {
            EXPECT_EQ(info.modificationTime, *c.time) << c.listing;
        }
        m_client.Quit();
        EXPECT_EQ(session.Finish(), "") << c.listing;
        EXPECT_EQ(data.Finish(), "") << c.listing;
    }
}

TEST_F(FtpClientTest, DownloadsAWholeFile) {
    const std::string file = FileBytes(70000);
    UseUrl("/pub/big.bin");
    RetrieveScript("/pub/big.bin", file.size())
        .Expect("RETR /pub/big.bin\r\n")
        .Reply("150 Opening BINARY mode data connection\r\n226 Transfer complete\r\n")
        .Expect("QUIT\r\n");
    m_control.Start();
    ServeData(file);

    ASSERT_EQ(m_client.Open(), ERR_SUCCESS);
    MemoryStream stream;
    std::uint32_t received = 0;
    EXPECT_EQ(m_client.Download(stream, received, 0), ERR_SUCCESS);
    m_client.Quit();
    EXPECT_EQ(m_control.Finish(), "");
    EXPECT_EQ(received, file.size());
    EXPECT_TRUE(stream.Bytes() == file);
    EXPECT_EQ(m_sink.Lengths(EVT_FTP_TRANSFER_START), std::vector<std::uint32_t>{70000});
    EXPECT_EQ(m_sink.Count(EVT_FTP_TRANSFER_END), 1);
    EXPECT_EQ(m_sink.Count(EVT_FTP_RESTART), 0);
}

TEST_F(FtpClientTest, ResumesAtAnOffset) {
    const std::string file = FileBytes(1000);
    UseUrl("/f.bin");
    RetrieveScript("/f.bin", 1000)
        .Expect("REST 400\r\n")
        .Reply("350 Restarting at 400\r\n")
        .Expect("RETR /f.bin\r\n")
        .Reply("150 Opening\r\n226 Done\r\n")
        .Expect("QUIT\r\n");
    m_control.Start();
    ServeData(file.substr(400));

    ASSERT_EQ(m_client.Open(), ERR_SUCCESS);
    MemoryStream stream;
    std::uint32_t received = 0;
    EXPECT_EQ(m_client.Download(stream, received, 400), ERR_SUCCESS);
    m_client.Quit();
    EXPECT_EQ(m_control.Finish(), "");
    EXPECT_EQ(received, 600u);
    EXPECT_TRUE(stream.Bytes() == file.substr(400));
    EXPECT_EQ(m_sink.Lengths(EVT_FTP_RESTART), std::vector<std::uint32_t>{400});
    EXPECT_EQ(m_sink.Lengths(EVT_FTP_TRANSFER_START), std::vector<std::uint32_t>{600});
}

TEST_F(FtpClientTest, TakesTheDataPortFromThePassiveReply) {
    // The data peer has to sit on the port that the reply names.
    std::unique_ptr<ScriptedPeer> data;
    try {
        data = std::make_unique<ScriptedPeer>("127.0.0.1", 5001);
    } catch (const std::runtime_error&) {
        GTEST_SKIP() << "port 5001 is taken";
    }
    UseUrl("/f");
    LoginScript()
        .Expect("TYPE I\r\n")
        .Reply("200 I\r\n")
        .Expect("SIZE /f\r\n")
        .Reply("213 3\r\n")
        .Expect("PASV\r\n")
        .Reply("227 Entering Passive Mode (192,0,2,10,19,137)\r\n")
        .Expect("RETR /f\r\n")
        .Reply("150 Go\r\n226 Done\r\n");
    m_control.Start();
    data->Accept().Reply("abc").Close();
    data->Start();

    ASSERT_EQ(m_client.Open(), ERR_SUCCESS);
    MemoryStream stream;
    std::uint32_t received = 0;
    EXPECT_EQ(m_client.Download(stream, received, 0), ERR_SUCCESS);
    EXPECT_EQ(stream.Bytes(), "abc");
    EXPECT_EQ(data->Finish(), "");
}

struct RetrieveFailure {
    std::string name;
    std::uint32_t offset;
    std::string sizeReply;
    bool reachesPassive;
    std::vector<std::pair<std::string, std::string>> exchanges;  // after PASV
    ResultCode result;
};

TEST_F(FtpClientTest, FailsADownloadThatTheServerDoesNotSupport) {
    const std::vector<RetrieveFailure> cases = {
        {"no SIZE", 0, "500 SIZE not understood\r\n", false, {}, ERR_REPLY_NEGATIVE},
        {"missing file", 0, "550 No such file\r\n", false, {}, ERR_REPLY_NEGATIVE},
        {"bad SIZE", 0, "213 unknown\r\n", false, {}, ERR_REPLY_SYNTAX},
        // Beyond the signed 32-bit count, as an HTTP body of that length.
        {"SIZE 2^31", 0, "213 2147483648\r\n", false, {}, ERR_HTTP_HEADER},
        {"SIZE 2^32-1", 0, "213 4294967295\r\n", false, {}, ERR_HTTP_HEADER},
        {"REST refused",
         400,
         "213 1000\r\n",
         true,
         {{"REST 400\r\n", "502 REST not implemented\r\n"}},
         ERR_REPLY_REST_REFUSED},
        {"offset past the end", 400, "213 100\r\n", true, {}, ERR_REPLY_REST_REFUSED},
        {"RETR refused",
         0,
         "213 10\r\n",
         true,
         {{"RETR /f\r\n", "550 Permission denied\r\n"}},
         ERR_REPLY_NEGATIVE},
    };
    for (const RetrieveFailure& c : cases) {
        ScriptedPeer control;
        ScriptedPeer data;
        control.Accept()
            .Reply("220 Ready\r\n")
            .Expect("USER anonymous\r\n")
            .Reply("230 In\r\n")
            .Expect("TYPE I\r\n")
            .Reply("200 I\r\n")
            .Expect("SIZE /f\r\n")
            .Reply(c.sizeReply);
        if (c.reachesPassive) {
            control.Expect("PASV\r\n").Reply(PassiveReply(data.Port()));
        }
        for (const auto& [command, reply] : c.exchanges) {
            control.Expect(command).Reply(reply);
        }
        // Nothing else is sent before QUIT: no transfer is attempted.
        control.Expect("QUIT\r\n");
        control.Start();
        UseUrl(control, "/f");
        ASSERT_EQ(m_client.Open(), ERR_SUCCESS);
        MemoryStream stream;
        std::uint32_t received = 99;
        EXPECT_EQ(m_client.Download(stream, received, c.offset), c.result) << c.name;
        m_client.Quit();
        EXPECT_EQ(received, 0u) << c.name;
        EXPECT_EQ(stream.Bytes(), "") << c.name;
        EXPECT_EQ(control.Finish(), "") << c.name;
    }
    EXPECT_EQ(m_sink.Count(EVT_FTP_TRANSFER_START), 0);
}

TEST_F(FtpClientTest, EndsTheTransferWhenTheDataConnectionBreaks) {
    UseUrl("/f");
    RetrieveScript("/f", 1000).Expect("RETR /f\r\n").Reply("150 Go\r\n").Expect("QUIT\r\n");
    m_control.Start();
    ServeData(FileBytes(500));

    ASSERT_EQ(m_client.Open(), ERR_SUCCESS);
    MemoryStream stream;
    std::uint32_t received = 0;
    EXPECT_EQ(m_client.Download(stream, received, 0), ERR_SOCKET_REMOTE_CLOSED);
    m_client.Quit();
    EXPECT_EQ(m_control.Finish(), "");
    EXPECT_EQ(m_sink.Count(EVT_FTP_TRANSFER_END), 1);
    EXPECT_EQ(stream.Bytes().size(), received);
}

// A server that sends a byte every 20 ms never lets a 100 ms wait run out.
TEST_F(FtpClientTest, ATricklingReplyOrTransferRunsOutOfTime) {
    m_client.SetTimeouts(2000, 100, 100);
    UseUrl("/f");
    // A reply gets four receive time-outs, however its bytes come.
    m_control.Accept().Trickle("220 Service ready, one byte at a time\r\n", 20);
    m_control.Start();
    EXPECT_EQ(m_client.Open(), ERR_SOCKET_TIMEOUT);
    EXPECT_EQ(m_control.Finish(), "");

    ScriptedPeer control;
    ScriptedPeer data;
    m_client.SetTransferLimit(300);
    UseUrl(control, "/f");
    control.Accept()
        .Reply("220 Ready\r\n")
        .Expect("USER anonymous\r\n")
        .Reply("230 Logged in\r\n")
        .Expect("TYPE I\r\n")
        .Reply("200 I\r\n")
        .Expect("SIZE /f\r\n")
        .Reply("213 60\r\n")
        .Expect("PASV\r\n")
        .Reply(PassiveReply(data.Port()))
        .Expect("RETR /f\r\n")
        .Reply("150 Go\r\n")
        .Expect("QUIT\r\n");
    control.Start();
    data.Accept().Trickle(FileBytes(60), 20);
    data.Start();
    ASSERT_EQ(m_client.Open(), ERR_SUCCESS);
    MemoryStream stream;
    std::uint32_t received = 0;
    EXPECT_EQ(m_client.Download(stream, received, 0), ERR_SOCKET_TIMEOUT);
    EXPECT_LT(received, 60u);
    m_client.Quit();
    EXPECT_EQ(control.Finish(), "");
}

TEST_F(FtpClientTest, SendsNoCommandThatAPathCouldSmuggleIn) {
    UseUrl("/a%0D%0ADELE%20b");
    LoginScript().Expect("TYPE I\r\n").Reply("200 I\r\n").Expect("QUIT\r\n");
    m_control.Start();

    ASSERT_EQ(m_client.Open(), ERR_SUCCESS);
    MemoryStream stream;
    std::uint32_t received = 0;
    EXPECT_EQ(m_client.Download(stream, received, 0), ERR_CLIENT_RULE);
    m_client.Quit();
    EXPECT_EQ(m_control.Finish(), "");
}

TEST_F(FtpClientTest, AStopEndsAWaitOnTheControlConnection) {
    // No time-outs: only the stop event can end the wait for the USER reply.
    m_client.SetTimeouts(0, 0, 0);
    UseUrl("/f");
    m_control.Accept().Reply("220 Ready\r\n").Expect("USER anonymous\r\n").ExpectClose();
    m_control.Start();
    std::thread stopper([this] {
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        m_stop.Set();
    });
    EXPECT_EQ(m_client.Open(), ERR_SOCKET_LOCAL_CLOSED);
    stopper.join();
    // The client closed the control connection before the peer gave up.
    EXPECT_EQ(m_control.Finish(), "");
}

}  // namespace
