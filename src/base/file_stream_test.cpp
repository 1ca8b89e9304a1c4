#include "base/file_stream.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <functional>

#include "base/errors.h"
#include "support/failing_stdio.h"
#include "support/temp_folder.h"
#include "support/thrown_code.h"

namespace {

using testing_support::FailingFdopen;
using testing_support::ReadFile;
using testing_support::TempFolder;
using testing_support::WriteFile;

constexpr auto& CodeOf = testing_support::CodeOf<CStreamException>;

TEST(FileStreamTest, OpenModesOnMissingAndExistingFiles) {
    const struct {
        int mode;
        bool missingOpens;
        bool keepsContent;
    } cases[] = {
        {CFileStream::modeRead, false, true},
        {CFileStream::modeReadWrite, false, true},
        {CFileStream::modeWriteCreate, true, false},
        {CFileStream::modeReadWriteCreate, true, false},
    };
    for (const auto& c : cases) {
        TempFolder folder;
        const std::string missing = folder.File("missing");
        CFileStream stream;
        const ResultCode code = CodeOf([&] { stream.Open(missing, c.mode); });
        EXPECT_EQ(code, c.missingOpens ? ERR_SUCCESS : ERR_FILE_STREAM_OPEN) << c.mode;
        stream.Close();

        const std::string existing = folder.File("existing");
        WriteFile(existing, "content");
        ASSERT_TRUE(stream.Open(existing, c.mode)) << c.mode;
        EXPECT_EQ(stream.GetLength(), c.keepsContent ? 7 : 0) << c.mode;
        stream.Close();
        EXPECT_EQ(ReadFile(existing), c.keepsContent ? "content" : "") << c.mode;
    }
}

// A link planted where a file is written would carry the bytes elsewhere;
// reading through one is the caller's choice.
TEST(FileStreamTest, WritingModesNeverFollowALinkAtTheName) {
    TempFolder folder;
    const std::string target = folder.File("target");
    const std::string link = folder.File("link");
    WriteFile(target, "content");
    std::filesystem::create_symlink(target, link);
    for (int mode : {CFileStream::modeReadWrite, CFileStream::modeWriteCreate,
                     CFileStream::modeReadWriteCreate}) {
        CFileStream stream;
        EXPECT_EQ(CodeOf([&] { stream.Open(link, mode); }), ERR_FILE_STREAM_OPEN) << mode;
    }
    EXPECT_EQ(ReadFile(target), "content");
    CFileStream reader;
    EXPECT_TRUE(reader.Open(link, CFileStream::modeRead));
}

TEST(FileStreamTest, AnUnsharedOpenLocksOutOtherUnsharedOpensUntilItCloses) {
    TempFolder folder;
    const std::string path = folder.File("body");
    for (int mode : {CFileStream::modeRead, CFileStream::modeReadWrite,
                     CFileStream::modeWriteCreate, CFileStream::modeReadWriteCreate}) {
        SCOPED_TRACE(mode);
        WriteFile(path, "first");
        CFileStream holder;
        holder.Open(path, CFileStream::modeReadWrite);
        CFileStream second;
        EXPECT_EQ(CodeOf([&] { second.Open(path, mode); }), ERR_FILE_STREAM_OPEN);
        EXPECT_FALSE(second.IsOpen());
        // A refused open truncates nothing.
        EXPECT_EQ(ReadFile(path), "first");
        EXPECT_TRUE(second.Open(path, mode, true));
        second.Close();
        holder.Close();
        EXPECT_TRUE(second.Open(path, mode));
    }
}

TEST(FileStreamTest, ADescriptorThatCannotBeWrappedIsAnOpenFailure) {
    TempFolder folder;
    const std::string path = folder.File("f");
    WriteFile(path, "content");
    const auto openDescriptors = [] {
        const std::filesystem::directory_iterator fds("/proc/self/fd");
        return std::distance(begin(fds), end(fds));
    };
    const auto before = openDescriptors();
    CFileStream stream;
    {
        const FailingFdopen failing;
        EXPECT_EQ(CodeOf([&] { stream.Open(path, CFileStream::modeRead); }), ERR_FILE_STREAM_OPEN);
    }
    EXPECT_FALSE(stream.IsOpen());
    EXPECT_EQ(openDescriptors(), before);
}

TEST(FileStreamTest, RecordsRoundTripInTheirExactEncoding) {
    TempFolder folder;
    const std::string path = folder.File("records");
    {
        CFileStream out;
        out.Open(path, CFileStream::modeWriteCreate);
        out << std::uint8_t{0x1ff & 0xff} << std::uint32_t{0x01020304} << std::int32_t{-1} << ""
            << std::string("abc") << true;
    }
    EXPECT_EQ(ReadFile(path), std::string("\xff\x04\x03\x02\x01\xff\xff\xff\xff\0abc\0\x01", 15));

    CFileStream in;
    in.Open(path, CFileStream::modeRead);
    std::uint8_t byte = 0;
    std::uint32_t number = 0;
    std::int32_t negative = 0;
    std::string empty = "x", text;
    bool flag = false;
    in >> byte >> number >> negative >> empty >> text >> flag;
    EXPECT_EQ(byte, 0xff);
    EXPECT_EQ(number, 0x01020304u);
    EXPECT_EQ(negative, -1);
    EXPECT_EQ(empty, "");
    EXPECT_EQ(text, "abc");
    EXPECT_TRUE(flag);
    std::uint8_t extra;
    EXPECT_FALSE(in.ReadByte(extra));
}

TEST(FileStreamTest, ShortReadsOfTypedValuesAreDataErrors) {
    const struct {
        std::string content;
        std::function<void(CStream&)> extract;
    } cases[] = {
        {"",
         [](CStream& s) {
             std::uint8_t v;
             s >> v;
         }},
        {"\x01\x02\x03",
         [](CStream& s) {
             std::uint32_t v;
             s >> v;
         }},
        {"abc",
         [](CStream& s) {
             std::string v;
             s >> v;
         }},
    };
    for (const auto& c : cases) {
        TempFolder folder;
        WriteFile(folder.File("f"), c.content);
        CFileStream in;
        in.Open(folder.File("f"), CFileStream::modeRead);
        EXPECT_EQ(CodeOf([&] { c.extract(in); }), ERR_STREAM_DATA) << c.content;
    }
}

TEST(FileStreamTest, StringLimitIsEnforcedOnBothSides) {
    TempFolder folder;
    const std::string path = folder.File("s");
    const std::string longest(CStream::kMaxStringLength, 'a');
    {
        CFileStream out;
        out.Open(path, CFileStream::modeWriteCreate);
        out << longest;
        // Refused before a byte is written, so the record stays readable.
        EXPECT_EQ(CodeOf([&] { out << std::string(1024, 'b'); }), ERR_STREAM_DATA);
        EXPECT_EQ(out.GetLength(), 1024);
    }
    CFileStream in;
    in.Open(path, CFileStream::modeRead);
    std::string read;
    in >> read;
    EXPECT_EQ(read, longest);

    // A file written by something else with a 1024-byte string still fails to load.
    WriteFile(path, std::string(1024, 'c') + '\0');
    in.Open(path, CFileStream::modeRead);
    read = "keep";
    EXPECT_EQ(CodeOf([&] { in >> read; }), ERR_STREAM_DATA);
    EXPECT_EQ(read, "");
}

TEST(FileStreamTest, LengthSeekAndResize) {
    TempFolder folder;
    CFileStream stream;
    stream.Open(folder.File("f"), CFileStream::modeReadWriteCreate);
    stream.Write("0123456789", 10);
    // Still in the write buffer, and counted.
    EXPECT_EQ(stream.GetLength(), 10);
    stream.Seek(4, CStream::kBegin);
    EXPECT_EQ(stream.GetLength(), 10);
    EXPECT_EQ(stream.GetPosition(), 4);
    stream.SetLength(6);
    EXPECT_EQ(stream.GetLength(), 6);
    stream.Seek(-2, CStream::kEnd);
    char tail[4] = {};
    EXPECT_EQ(stream.Read(tail, 4), 2u);
    EXPECT_STREQ(tail, "45");
    // Cut where the position already is, the stream goes on writing there.
    stream.Write("67", 2);
    stream.SetLength(8);
    stream.Write("ab", 2);
    EXPECT_EQ(stream.GetLength(), 10);
    stream.Seek(0, CStream::kBegin);
    char all[11] = {};
    EXPECT_EQ(stream.Read(all, 10), 10u);
    EXPECT_STREQ(all, "01234567ab");
    EXPECT_EQ(CodeOf([&] { stream.Seek(-100, CStream::kBegin); }), ERR_FILE_STREAM_SEEK);
}

TEST(FileStreamTest, ResumeAppendsAtTheHeldLength) {
    TempFolder folder;
    const std::string path = folder.File("part");
    WriteFile(path, "head");
    CFileStream stream;
    stream.Open(path, CFileStream::modeReadWrite);
    stream.Seek(4, CStream::kBegin);
    stream.Write("tail", 4);
    stream.Close();
    EXPECT_EQ(ReadFile(path), "headtail");
}

TEST(FileStreamTest, AttachedStreamLeavesTheOwnersDescriptorOpen) {
    TempFolder folder;
    const std::string path = folder.File("owned");
    const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_TRUNC, 0644);
    ASSERT_GE(fd, 0);
    {
        CFileStream stream;
        stream.Attach(fd, CFileStream::modeWriteCreate);
        stream << std::string("doc");
        stream.Close();
    }
    EXPECT_EQ(ReadFile(path), std::string("doc\0", 4));
    EXPECT_EQ(::write(fd, "!", 1), 1);  // still open and usable
    ::close(fd);
    EXPECT_EQ(ReadFile(path), std::string("doc\0!", 5));
}

TEST(FileStreamTest, WritingPastAFullDeviceFails) {
    if (::access("/dev/full", W_OK) != 0) {
        GTEST_SKIP() << "/dev/full is not available";
    }
    CFileStream stream;
    stream.Open("/dev/full", CFileStream::modeReadWrite);
    const std::string block(20000, 'x');
    EXPECT_EQ(CodeOf([&] { stream.Write(block.data(), block.size()); }), ERR_FILE_STREAM_WRITE);
}

}  // namespace
