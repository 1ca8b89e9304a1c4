#include "cli/project_lock.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <functional>

#include "support/temp_folder.h"

namespace {

using testing_support::ReadFile;
using testing_support::TempFolder;
using testing_support::WriteFile;

TEST(ProjectLockTest, TakesAPlainFileAndRemovesItOnRelease) {
    TempFolder folder;
    const std::string project = folder.File("p.tkp");
    {
        CProjectLock lock;
        pid_t holder = 0;
        ASSERT_TRUE(lock.Acquire(project, holder));
        EXPECT_EQ(ReadFile(CProjectLock::LockPathOf(project)), std::to_string(::getpid()) + "\n");
        CProjectLock second;
        EXPECT_FALSE(second.Acquire(project, holder));
        EXPECT_EQ(holder, ::getpid());
    }
    EXPECT_FALSE(std::filesystem::exists(CProjectLock::LockPathOf(project)));
}

// Whatever a planted link names would be truncated and written by any
// locking command; a pipe would hold the command up.
TEST(ProjectLockTest, ALockNameThatIsNotAPlainFileIsRefusedAndLeftAlone) {
    TempFolder folder;
    const std::string project = folder.File("p.tkp");
    const std::string lockPath = CProjectLock::LockPathOf(project);
    const std::string target = folder.File("precious");
    const std::function<void()> plants[] = {
        [&] { std::filesystem::create_symlink(target, lockPath); },
        [&] { std::filesystem::create_symlink(folder.File("missing"), lockPath); },
        [&] { ASSERT_EQ(::mkfifo(lockPath.c_str(), 0644), 0); },
        [&] { std::filesystem::create_directory(lockPath); },
    };
    for (const auto& plant : plants) {
        WriteFile(target, "keep me");
        plant();
        CProjectLock lock;
        pid_t holder = 0;
        EXPECT_FALSE(lock.Acquire(project, holder));
        EXPECT_EQ(holder, CProjectLock::kNotAFile);
        EXPECT_EQ(ReadFile(target), "keep me");
        EXPECT_FALSE(std::filesystem::exists(folder.File("missing")));
        std::filesystem::remove(lockPath);
    }
}

}  // namespace
