#include "base/replacement_file.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <chrono>
#include <filesystem>

#include "base/errors.h"
#include "support/temp_folder.h"

namespace {

using testing_support::ReadFile;
using testing_support::TempFolder;
using testing_support::WriteFile;

std::size_t CountEntries(const std::filesystem::path& folder) {
    std::size_t count = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(folder)) {
        ++count;
    }
    return count;
}

unsigned ModeOf(const std::string& path) {
    struct stat info {};
    EXPECT_EQ(::stat(path.c_str(), &info), 0);
    return info.st_mode & 07777;
}

TEST(ReplacementFileTest, CommitReplacesTheTargetAndKeepsItsPermissions) {
    TempFolder temp;
    const std::string target = temp.File("page.htm");
    WriteFile(target, "old contents that are longer than the new ones");
    ASSERT_EQ(::chmod(target.c_str(), 0640), 0);
    {
        CReplacementFile file(target);
        file.GetStream() << std::string_view("new");
        EXPECT_EQ(ReadFile(target), "old contents that are longer than the new ones");
        file.Commit(true);
    }
    EXPECT_EQ(ReadFile(target), std::string("new") + '\0');
    EXPECT_EQ(ModeOf(target), 0640u);
    EXPECT_EQ(CountEntries(temp.Path()), 1u);
}

TEST(ReplacementFileTest, NewTargetGetsTheGivenMode) {
    TempFolder temp;
    const std::string target = temp.File("project.tkp");
    CReplacementFile file(target, 0600);
    file.GetStream().WriteByte('x');
    file.Commit(false);
    EXPECT_EQ(ReadFile(target), "x");
    EXPECT_EQ(ModeOf(target), 0600u);
}

TEST(ReplacementFileTest, WithoutCommitTheTargetStaysAndNothingIsLeftBehind) {
    TempFolder temp;
    const std::string target = temp.File("project.tkp");
    WriteFile(target, "old");
    {
        CReplacementFile file(target);
        file.GetStream().WriteByte('x');
        EXPECT_TRUE(std::filesystem::exists(file.GetTemporaryPath()));
        EXPECT_EQ(std::filesystem::path(file.GetTemporaryPath()).parent_path(),
                  std::filesystem::path(target).parent_path());
    }
    EXPECT_EQ(ReadFile(target), "old");
    EXPECT_EQ(CountEntries(temp.Path()), 1u);
}

TEST(ReplacementFileTest, LongNamesStillGetATemporaryFileBesideThem) {
    TempFolder temp;
    const std::string target = temp.File(std::string(255, 'n'));
    CReplacementFile file(target);
    file.GetStream().WriteByte('x');
    file.Commit(false);
    EXPECT_EQ(ReadFile(target), "x");
    EXPECT_EQ(CountEntries(temp.Path()), 1u);
}

TEST(ReplacementFileTest, AMissingFolderThrowsOpenError) {
    TempFolder temp;
    try {
        CReplacementFile file(temp.File("missing/project.tkp"));
        FAIL() << "created a file in a missing folder";
    } catch (const CStreamException& e) {
        EXPECT_EQ(e.GetCode(), ERR_FILE_STREAM_OPEN);
    }
}

// Given its folder open, the file is written and renamed there, whatever
// the folder's path names by the time of the commit.
TEST(ReplacementFileTest, AnOpenFolderKeepsTheFileThere) {
    TempFolder temp;
    std::filesystem::create_directory(temp.File("real"));
    WriteFile(temp.File("real/page.htm"), "old");
    {
        CReplacementFile file(
            CFileDescriptor(::open(temp.File("real").c_str(), O_RDONLY | O_DIRECTORY)), "page.htm");
        std::filesystem::rename(temp.File("real"), temp.File("moved"));
        std::filesystem::create_directory(temp.File("real"));
        file.GetStream().WriteByte('x');
        file.Commit(true);
    }
    EXPECT_EQ(ReadFile(temp.File("moved/page.htm")), "x");
    EXPECT_EQ(CountEntries(temp.File("moved")), 1u);
    EXPECT_EQ(CountEntries(temp.File("real")), 0u);
    EXPECT_THROW(CReplacementFile(CFileDescriptor(), "page.htm"), CStreamException);
}

void MakeOld(const std::string& path) {
    std::filesystem::last_write_time(
        path, std::filesystem::file_time_type::clock::now() - std::chrono::minutes(2));
}

TEST(ReplacementFileTest, OnlyAbandonedTemporaryFilesOfTheTargetAreRemoved) {
    TempFolder temp;
    const std::string target = temp.File("p.tkp");
    const struct {
        const char* name;
        bool old;
        bool removed;
    } cases[] = {
        {".p.tkp.a1B2c3", true, true},
        {".p.tkp.Zz9yY8", false, false},  // its writer may just be starting
        {".p.tkp.a1B2c", true, false},
        {".p.tkp.a1B2c3d", true, false},
        {".p.tkp.a1B-c3", true, false},
        {"p.tkp.a1B2c3", true, false},
        {".q.tkp.a1B2c3", true, false},
        {".p.tkp", true, false},
    };
    for (const auto& c : cases) {
        WriteFile(temp.File(c.name), "part");
        if (c.old) {
            MakeOld(temp.File(c.name));
        }
    }
    // A save under way in this or any other process, quiet for a while.
    CReplacementFile running(target);
    running.GetStream().WriteByte('x');
    MakeOld(running.GetTemporaryPath());

    CReplacementFile::RemoveAbandoned(target);
    for (const auto& c : cases) {
        EXPECT_EQ(std::filesystem::exists(temp.File(c.name)), !c.removed) << c.name;
    }
    EXPECT_TRUE(std::filesystem::exists(running.GetTemporaryPath()));
    running.Commit(false);
    EXPECT_EQ(ReadFile(target), "x");
}

}  // namespace
