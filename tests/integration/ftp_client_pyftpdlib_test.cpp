// CFtpClient against a real FTP server: pyftpdlib on a loopback port.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

#include "base/file_stream.h"
#include "platform/wait_event.h"
#include "protocol/ftp_client.h"
#include "protocol/response_info.h"
#include "support/missing_server.h"
#include "support/pyftpdlib_server.h"
#include "support/recording_sink.h"
#include "support/temp_folder.h"
#include "support/test_bytes.h"

namespace {

using testing_support::PyftpdlibServer;
using testing_support::RandomBytes;
using testing_support::ReadFile;
using testing_support::RecordingSink;
using testing_support::TempFolder;
using testing_support::WriteFile;

class FtpClientPyftpdlibTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        s_folder = std::make_unique<TempFolder>();
        const std::string python = PyftpdlibServer::FindPython(s_folder->Path());
        if (python.empty()) {
            return;
        }
        s_server = std::make_unique<PyftpdlibServer>(python, s_folder->Path() / "server");
        std::filesystem::create_directories(s_server->Root() / "pub");
        WriteFile((s_server->Root() / "pub" / "data.bin").string(), File());
        s_server->Start();
    }
    static void TearDownTestSuite() {
        s_server.reset();
        s_folder.reset();
    }

    void SetUp() override {
        if (!s_server) {
            TARNWICK_MISSING_SERVER("python3-pyftpdlib is not installed");
        }
        m_client.Attach(&m_sink, &m_stop);
        m_client.SetTimeouts(5000, 10000, 10000);
    }
    void TearDown() override { m_client.Quit(); }

    static const std::string& File() {
        static const std::string bytes = RandomBytes(300000, 12345);
        return bytes;
    }

    ResultCode Open(const std::string& path) {
        CUrl url;
        EXPECT_TRUE(url.Parse("ftp://127.0.0.1:" + std::to_string(s_server->Port()) + path));
        m_client.SetCredentials(url, "", "", "tarnwick@example.com");
        return m_client.Open();
    }

    static inline std::unique_ptr<TempFolder> s_folder;
    static inline std::unique_ptr<PyftpdlibServer> s_server;
    TempFolder m_local;
    RecordingSink m_sink;
    CWaitEvent m_stop;
    CFtpClient m_client;
};

TEST_F(FtpClientPyftpdlibTest, DownloadsAWholeFileByteForByte) {
    ASSERT_EQ(Open("/pub/data.bin"), ERR_SUCCESS);
    const std::string target = m_local.File("data.bin");
    {
        CFileStream stream;
        ASSERT_TRUE(stream.Open(target, CFileStream::modeWriteCreate));
        std::uint32_t received = 0;
        EXPECT_EQ(m_client.Download(stream, received, 0), ERR_SUCCESS);
        EXPECT_EQ(received, File().size());
    }
    EXPECT_TRUE(ReadFile(target) == File());
}

TEST_F(FtpClientPyftpdlibTest, ResumesAPartialFileByteForByte) {
    constexpr std::uint32_t kOffset = 123457;
    const std::string target = m_local.File("data.bin");
    WriteFile(target, File().substr(0, kOffset));
    ASSERT_EQ(Open("/pub/data.bin"), ERR_SUCCESS);
    {
        CFileStream stream;
        ASSERT_TRUE(stream.Open(target, CFileStream::modeReadWrite));
        ASSERT_TRUE(stream.Seek(0, CStream::kEnd));
        std::uint32_t received = 0;
        EXPECT_EQ(m_client.Download(stream, received, kOffset), ERR_SUCCESS);
        EXPECT_EQ(received, File().size() - kOffset);
    }
    EXPECT_TRUE(ReadFile(target) == File());
    EXPECT_EQ(m_sink.Lengths(EVT_FTP_RESTART), std::vector<std::uint32_t>{kOffset});
}

TEST_F(FtpClientPyftpdlibTest, FailsOnAMissingFileWithANegativeReply) {
    ASSERT_EQ(Open("/pub/missing.bin"), ERR_SUCCESS);
    CResponseInfo info;
    EXPECT_EQ(m_client.GetFileInfo(info), ERR_REPLY_NEGATIVE);
    CFileStream stream;
    ASSERT_TRUE(stream.Open(m_local.File("missing.bin"), CFileStream::modeWriteCreate));
    std::uint32_t received = 0;
    EXPECT_EQ(m_client.Download(stream, received, 0), ERR_REPLY_NEGATIVE);
    EXPECT_EQ(received, 0u);
}

TEST_F(FtpClientPyftpdlibTest, ReadsTheListingLineOfAFile) {
    ASSERT_EQ(Open("/pub/data.bin"), ERR_SUCCESS);
    CResponseInfo info;
    ASSERT_EQ(m_client.GetFileInfo(info), ERR_SUCCESS);
    EXPECT_TRUE(info.valid);
    EXPECT_EQ(info.url.GetPath(), "/pub/data.bin");
    // A UNIX listing gives the time to the minute at best, so MDTM tells
    // it to the second.
    EXPECT_TRUE(info.modificationTimeKnown);

    const CFtpListEntry& entry = m_client.GetListEntry();
    EXPECT_EQ(entry.name, "data.bin");
    EXPECT_EQ(entry.size, File().size());
    EXPECT_FALSE(entry.isDirectory);
    // Written moments ago, so listed with the time of day and the year inferred.
    const auto written =
        std::chrono::duration_cast<std::chrono::seconds>(
            std::chrono::file_clock::to_sys(
                std::filesystem::last_write_time(s_server->Root() / "pub" / "data.bin"))
                .time_since_epoch())
            .count();
    EXPECT_EQ(entry.listedPrecision, FtpTimePrecision::Minute);
    EXPECT_LE(std::abs(entry.listedTime - written), 60);
    EXPECT_EQ(info.modificationTime, written);

    // The file can still be fetched on the same control connection afterwards.
    CFileStream stream;
    ASSERT_TRUE(stream.Open(m_local.File("data.bin"), CFileStream::modeWriteCreate));
    std::uint32_t received = 0;
    EXPECT_EQ(m_client.Download(stream, received, 0), ERR_SUCCESS);
    EXPECT_EQ(received, File().size());
}

}  // namespace
