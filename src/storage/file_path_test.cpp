#include "storage/file_path.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "base/file_stream.h"
#include "support/temp_folder.h"

namespace {

using testing_support::TempFolder;

struct ComponentCase {
    const char* input;
    const char* fullPath;
    const char* directory;
    const char* title;
    const char* extension;
};

TEST(FilePathTest, SplitsIntoComponents) {
    const ComponentCase cases[] = {
        {"/dl/H/a/b.htm", "/dl/H/a/b.htm", "/dl/H/a/", "b", ".htm"},
        {"\\dl\\x.tar.gz", "/dl/x.tar.gz", "/dl/", "x.tar", ".gz"},
        {"/dl/H/.htaccess", "/dl/H/.htaccess", "/dl/H/", "", ".htaccess"},
        {"/dl/H/", "/dl/H/", "/dl/H/", "", ""},
        {"name", "name", "", "name", ""},
        {"/dl/a.b/c", "/dl/a.b/c", "/dl/a.b/", "c", ""},
        {"", "", "", "", ""},
    };
    for (const ComponentCase& c : cases) {
        SCOPED_TRACE(c.input);
        const CFilePath path(c.input);
        EXPECT_EQ(path.GetFullPath(), c.fullPath);
        EXPECT_EQ(path.GetDrive(), "");
        EXPECT_EQ(path.GetDir(), c.directory);
        EXPECT_EQ(path.GetTitle(), c.title);
        EXPECT_EQ(path.GetExt(), c.extension);
        EXPECT_EQ(path.GetName(), std::string(c.title) + c.extension);
    }
}

TEST(FilePathTest, ComposesFromParts) {
    EXPECT_EQ(CFilePath("", "/dl", "p", "files").GetFullPath(), "/dl/p.files");
    EXPECT_EQ(CFilePath("", "/dl/", "p", ".tkp").GetFullPath(), "/dl/p.tkp");
    EXPECT_EQ(CFilePath("", "/dl/", "", "").GetFullPath(), "/dl/");
    EXPECT_EQ(CFilePath("", "", "p", "").GetFullPath(), "p");
}

TEST(FilePathTest, FolderPathEndsInOneSeparator) {
    EXPECT_EQ(CFilePath().GetFolderPath(), "/");
    EXPECT_EQ(CFilePath("/dl").GetFolderPath(), "/dl/");
    EXPECT_EQ(CFilePath("/dl/").GetFolderPath(), "/dl/");
    EXPECT_EQ(CFilePath("\\dl\\").GetFolderPath(), "/dl/");
}

struct RelativeCase {
    const char* target;
    const char* base;
    const char* expected;
};

TEST(FilePathTest, MakeRelativeTo) {
    const RelativeCase cases[] = {
        {"/dl/H/a/x.htm", "/dl/H/b/y.htm", "../a/x.htm"},
        {"/dl/H/a/x.htm", "/dl/H/a/", "x.htm"},
        // The base's last segment counts as a file name.
        {"/dl/H/a/x.htm", "/dl/H/a", "a/x.htm"},
        {"/dl/H/sub/x.htm", "/dl/H/", "sub/x.htm"},
        {"/dl/x.htm", "/dl/H/", "../x.htm"},
        {"/dl/H/a/", "/dl/H/a/", "./"},
        {"/etc/passwd", "/dl/H/", "../../etc/passwd"},
        // Names differing only in case are different folders on Linux.
        {"/DL/H/x.htm", "/dl/H/", "../../DL/H/x.htm"},
        {"\\dl\\H\\x.htm", "/dl/", "H/x.htm"},
        // No common leading folder.
        {"x.htm", "/dl/", ""},
        {"/dl/x.htm", "dl.htm", ""},
        // A prefix must end at a separator: /dl2 is not inside /dl.
        {"/dl2/x.htm", "/dl/y.htm", "../dl2/x.htm"},
    };
    for (const RelativeCase& c : cases) {
        SCOPED_TRACE(std::string(c.target) + " from " + c.base);
        EXPECT_EQ(CFilePath(c.target).MakeRelativeTo(CFilePath(c.base)).GetFullPath(), c.expected);
    }
}

struct CombineCase {
    const char* base;
    const char* relative;
    const char* expected;
};

TEST(FilePathTest, Combine) {
    const CombineCase cases[] = {
        {"/dl/", "H/a/../b/./c.htm", "/dl/H/b/c.htm"},
        {"/dl/", "H\\a\\b.htm", "/dl/H/a/b.htm"},
        {"/dl/", "a/", "/dl/a/"},
        {"/dl/", "..", "/"},
        {"/dl/", "../x.htm", "/x.htm"},
        // Climbing above the root is an error, not clamped.
        {"/dl/", "../../../x.htm", ""},
        {"/dl/", "../..", ""},
        {"/", "a/../..", ""},
        // The base's file name is ignored, so a project file resolves its folder.
        {"/p/site.tkp", "site.files", "/p/site.files"},
        {"/dl/", "", "/dl/"},
        {"/dl/", "/etc/x", "/etc/x"},
        {"/dl/", "\\\\server\\share\\x", "//server/share/x"},
        // The base must be an absolute folder.
        {"dl/", "x", ""},
        {"dl", "x", ""},
        {"", "x", ""},
    };
    for (const CombineCase& c : cases) {
        SCOPED_TRACE(std::string(c.base) + " + " + c.relative);
        EXPECT_EQ(CFilePath::Combine(c.base, c.relative).GetFullPath(), c.expected);
    }
}

TEST(FilePathTest, HasDotSegment) {
    EXPECT_TRUE(HasDotSegment("/dl/../x"));
    EXPECT_TRUE(HasDotSegment("/dl/."));
    EXPECT_TRUE(HasDotSegment("..\\x"));
    EXPECT_FALSE(HasDotSegment("/dl/.../x"));
    EXPECT_FALSE(HasDotSegment("/dl/..x/.y"));
}

TEST(FilePathTest, StoresAsFullPathString) {
    TempFolder folder;
    const std::string file = folder.File("path.bin");
    {
        CFileStream stream;
        stream.Open(file, CFileStream::modeWriteCreate);
        CFilePath("site.files/").Store(stream);
    }
    EXPECT_EQ(testing_support::ReadFile(file), std::string("site.files/\0", 12));
    CFileStream stream;
    stream.Open(file, CFileStream::modeRead);
    CFilePath loaded("/old");
    loaded.Load(stream);
    EXPECT_EQ(loaded.GetFullPath(), "site.files/");
    EXPECT_EQ(loaded.GetDir(), "site.files/");
}

TEST(FolderHelpersTest, FolderExistsOnlyForDirectories) {
    TempFolder folder;
    testing_support::WriteFile(folder.File("file"), "x");
    EXPECT_TRUE(FolderExists(folder.Path().string()));
    EXPECT_TRUE(FolderExists(folder.Path().string() + "/"));
    EXPECT_FALSE(FolderExists(folder.File("file")));
    EXPECT_FALSE(FolderExists(folder.File("missing")));
    EXPECT_FALSE(FolderExists(""));
}

TEST(FolderHelpersTest, CreateFolderPathCreatesEveryMissingFolder) {
    TempFolder folder;
    const std::string deep = folder.File("a/b/c");
    EXPECT_TRUE(CreateFolderPath(deep));
    EXPECT_TRUE(FolderExists(deep));
    // Existing folders are fine, with or without a trailing separator.
    EXPECT_TRUE(CreateFolderPath(deep + "/"));
    EXPECT_TRUE(CreateFolderPath(folder.File("a\\b\\d")));
    EXPECT_TRUE(FolderExists(folder.File("a/b/d")));
    EXPECT_TRUE(CreateFolderPath("/"));
    EXPECT_FALSE(CreateFolderPath(""));
}

TEST(FolderHelpersTest, CreateFolderPathRefusesFilesAndDotSegments) {
    TempFolder folder;
    testing_support::WriteFile(folder.File("file"), "x");
    EXPECT_FALSE(CreateFolderPath(folder.File("file/sub")));
    EXPECT_FALSE(CreateFolderPath(folder.File("a/../../escaped")));
    EXPECT_FALSE(CreateFolderPath(folder.File("./a")));
    EXPECT_FALSE(std::filesystem::exists(folder.File("a")));
    EXPECT_FALSE(std::filesystem::exists(folder.Path().parent_path() / "escaped"));
}

}  // namespace
