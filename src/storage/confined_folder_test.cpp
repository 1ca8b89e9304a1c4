#include "storage/confined_folder.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cerrno>
#include <filesystem>

#include "support/temp_folder.h"

namespace {

using testing_support::ReadFile;
using testing_support::TempFolder;
using testing_support::WriteFile;

// A download folder with the things a hostile neighbour could place in it
// between two runs: links to a file and to a folder outside, a dangling
// link, a pipe, and a file where a folder belongs.
class ConfinedFolderTest : public testing::Test {
protected:
    void SetUp() override {
        std::filesystem::create_directories(m_root + "/h/real");
        WriteFile(Outside("secret"), "outside");
        std::filesystem::create_symlink(Outside("secret"), m_root + "/h/x.html");
        std::filesystem::create_directory_symlink(m_outside.Path(), m_root + "/sub");
        std::filesystem::create_symlink(Outside("missing"), m_root + "/h/dangling.html");
        ASSERT_EQ(::mkfifo((m_root + "/h/pipe.html").c_str(), 0644), 0);
        WriteFile(m_root + "/h/file", "a file");
    }

    std::string Outside(const std::string& name) const { return m_outside.File(name); }

    TempFolder m_temp;
    TempFolder m_outside;
    const std::string m_root = m_temp.File("site.files");
    const CConfinedFolder m_folder{CFilePath(m_root)};
};

TEST_F(ConfinedFolderTest, WritesReachOnlyPlainFilesBelowTheRoot) {
    const struct {
        std::string path;
        int error;  // 0: opens
    } cases[] = {
        {m_root + "/h/new/deep/page.html", 0},
        {m_root + "/h//real/page.html", 0},
        {m_root + "/h/x.html", ELOOP},
        {m_root + "/h/dangling.html", ELOOP},
        {m_root + "/sub/page.html", ELOOP},
        {m_root + "/sub/new/page.html", ELOOP},
        {m_root + "/h/pipe.html", ELOOP},
        {m_root + "/h/real", EISDIR},
        {m_root + "/h/file/page.html", ENOTDIR},
        {m_root + "/h/../../escaped/page.html", EPERM},
        {m_root + "/./page.html", EPERM},
        // A sibling whose name starts like the root is not inside it.
        {m_root + "2/page.html", EPERM},
        {Outside("page.html"), EPERM},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        errno = 0;
        const CFileDescriptor file = m_folder.OpenFile(c.path, O_RDWR | O_CREAT, true);
        EXPECT_EQ(file.IsValid(), c.error == 0);
        EXPECT_EQ(file.IsValid() ? 0 : errno, c.error);
    }
    EXPECT_EQ(ReadFile(Outside("secret")), "outside");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(m_outside.Path()), {}), 1);
    EXPECT_FALSE(std::filesystem::exists(m_temp.File("escaped")));
    EXPECT_FALSE(std::filesystem::exists(m_root + "2"));
}

TEST_F(ConfinedFolderTest, AMissingRootIsMadeWhenFoldersAreCreated) {
    const CConfinedFolder fresh{CFilePath(m_temp.File("new.files"))};
    std::string name;
    EXPECT_FALSE(fresh.OpenFolderOf(m_temp.File("new.files/h/a.html"), false, name).IsValid());
    EXPECT_TRUE(fresh.OpenFolderOf(m_temp.File("new.files/h/a.html"), true, name).IsValid());
    EXPECT_EQ(name, "a.html");
    EXPECT_TRUE(std::filesystem::is_directory(m_temp.File("new.files/h")));
}

TEST_F(ConfinedFolderTest, RemovingALinkLeavesItsTarget) {
    EXPECT_TRUE(m_folder.RemoveFile(m_root + "/h/x.html"));
    EXPECT_FALSE(std::filesystem::is_symlink(m_root + "/h/x.html"));
    EXPECT_EQ(ReadFile(Outside("secret")), "outside");
    EXPECT_FALSE(m_folder.RemoveFile(m_root + "/sub/secret"));
    EXPECT_TRUE(std::filesystem::exists(Outside("secret")));
}

}  // namespace
