#include "platform/move_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "support/temp_folder.h"

namespace {

using testing_support::ReadFile;
using testing_support::TempFolder;
using testing_support::WriteFile;

bool Exists(const std::string& path) {
    return std::filesystem::exists(path);
}

dev_t DeviceOf(const std::filesystem::path& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 ? info.st_dev : 0;
}

TEST(MoveFileTest, MovesWithinAFolderAndReplacesTheTarget) {
    TempFolder folder;
    WriteFile(folder.File("from.chm"), "new");
    WriteFile(folder.File("to.chm"), "old and longer");
    EXPECT_TRUE(MoveFileReplacing(folder.File("from.chm"), folder.File("to.chm")));
    EXPECT_EQ(ReadFile(folder.File("to.chm")), "new");
    EXPECT_FALSE(Exists(folder.File("from.chm")));
}

TEST(MoveFileTest, AMissingSourceLeavesTheTargetAlone) {
    TempFolder folder;
    WriteFile(folder.File("to.chm"), "old");
    EXPECT_FALSE(MoveFileReplacing(folder.File("missing.chm"), folder.File("to.chm")));
    EXPECT_EQ(ReadFile(folder.File("to.chm")), "old");
}

TEST(MoveFileTest, ALinkInPlaceOfTheSourceIsNotMoved) {
    TempFolder folder;
    WriteFile(folder.File("elsewhere"), "not the build's");
    std::filesystem::create_symlink(folder.File("elsewhere"), folder.File("from.chm"));
    WriteFile(folder.File("to.chm"), "old");
    EXPECT_FALSE(MoveFileReplacing(folder.File("from.chm"), folder.File("to.chm")));
    EXPECT_EQ(ReadFile(folder.File("to.chm")), "old");
    EXPECT_FALSE(std::filesystem::is_symlink(folder.File("to.chm")));
}

TEST(MoveFileTest, ATargetInAMissingFolderKeepsTheSource) {
    TempFolder folder;
    WriteFile(folder.File("from.chm"), "data");
    EXPECT_FALSE(MoveFileReplacing(folder.File("from.chm"), folder.File("no/such/to.chm")));
    EXPECT_EQ(ReadFile(folder.File("from.chm")), "data");
}

TEST(MoveFileTest, MovesAcrossFileSystems) {
    TempFolder source;
    const std::filesystem::path memory = "/dev/shm";
    if (!std::filesystem::is_directory(memory) || DeviceOf(memory) == DeviceOf(source.Path())) {
        GTEST_SKIP() << "needs /dev/shm on a file system of its own";
    }
    const std::string target = (memory / ("tarnwick-move-" + std::to_string(::getpid()))).string();
    WriteFile(target, "old");
    const std::string content(100000, 'c');
    WriteFile(source.File("from.chm"), content);

    EXPECT_TRUE(MoveFileReplacing(source.File("from.chm"), target));
    EXPECT_EQ(ReadFile(target), content);
    EXPECT_FALSE(Exists(source.File("from.chm")));
    std::size_t leftovers = 0;
    for (const auto& entry : std::filesystem::directory_iterator(memory)) {
        leftovers += entry.path().string().starts_with(target + ".") ? 1 : 0;
    }
    EXPECT_EQ(leftovers, 0u);
    std::filesystem::remove(target);
}

}  // namespace
