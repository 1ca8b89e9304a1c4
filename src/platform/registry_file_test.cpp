#include "platform/registry_file.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>

#include <filesystem>
#include <string>

#include "support/temp_folder.h"

namespace {

using testing_support::ReadFile;
using testing_support::TempFolder;
using testing_support::WriteFile;

constexpr const char* kKey = "Software\\Ostrevane\\Tarnwick\\Settings";

CRegistryValue Text(const std::string& text) {
    CRegistryValue value{REG_SZ, {text.begin(), text.end()}};
    value.data.push_back(0);
    return value;
}

CRegistryFile Parsed(const std::string& text) {
    CRegistryFile file;
    file.Parse(text);
    return file;
}

TEST(RegistryFileTest, FormatsTheExportLayout) {
    CRegistryFile file;
    file.SetValue(kKey, "Retry", {REG_DWORD, {0x03, 0x00, 0x00, 0x00}});
    file.SetValue(kKey, "Port", {REG_DWORD, {0x90, 0x1f, 0x01, 0xff}});
    file.SetValue(kKey, "Proxy", Text("a\\b \"c\""));
    file.SetValue(kKey, "Password", Text("line\nbreak"));
    file.SetValue("Software\\Ostrevane\\Tarnwick\\Layout", "File View",
                  {REG_BINARY, {0x1e, 0x00, 0xff}});
    file.SetValue("Software\\Ostrevane\\Tarnwick\\Layout", "Empty", {REG_BINARY, {}});
    file.SetValue("Software\\Ostrevane\\Tarnwick\\Layout", "Odd", {7, {0x61, 0x00, 0x00}});
    EXPECT_EQ(file.Format(),
              "Windows Registry Editor Version 5.00\n"
              "\n"
              "[Software\\Ostrevane\\Tarnwick\\Layout]\n"
              "\"Empty\"=hex:\n"
              "\"File View\"=hex:1e,00,ff\n"
              "\"Odd\"=hex(7):61,00,00\n"
              "\n"
              "[Software\\Ostrevane\\Tarnwick\\Settings]\n"
              "\"Password\"=hex(1):6c,69,6e,65,0a,62,72,65,61,6b,00\n"
              "\"Port\"=dword:ff011f90\n"
              "\"Proxy\"=\"a\\\\b \\\"c\\\"\"\n"
              "\"Retry\"=dword:00000003\n"
              "\n");
}

TEST(RegistryFileTest, ParsesWhatItFormatsAndHandWrittenFiles) {
    CRegistryFile original;
    original.SetValue(kKey, "Proxy", Text("h\\\"x\""));
    original.SetValue(kKey, "Tab", Text("a\tb\r\n"));
    original.SetValue(kKey, "Retry", {REG_DWORD, {1, 2, 3, 4}});
    original.SetValue("A\\B", "Blob", {REG_BINARY, std::vector<std::uint8_t>(44, 0xab)});
    CRegistryFile copy;
    ASSERT_TRUE(copy.Parse(original.Format()));
    EXPECT_EQ(copy.Format(), original.Format());

    // CR LF line ends, comments, blank lines, continued hex lists, upper case,
    // an empty key and a later duplicate that wins.
    const CRegistryFile file = Parsed(
        "Windows Registry Editor Version 5.00\r\n\r\n"
        "; settings\r\n"
        "[Software\\Ostrevane]\r\n\r\n"
        "[software\\ostrevane\\tarnwick\\settings]\r\n"
        "\"Retry\"=DWORD:7\r\n"
        "\"View\"=hex:01,02,\\\r\n"
        "  03,04\r\n"
        "\"retry\"=dword:00000009\r\n");
    const CRegistryValue* retry = file.FindValue(kKey, "RETRY");
    ASSERT_NE(retry, nullptr);
    EXPECT_EQ(*retry, (CRegistryValue{REG_DWORD, {9, 0, 0, 0}}));
    const CRegistryValue* view = file.FindValue(kKey, "View");
    ASSERT_NE(view, nullptr);
    EXPECT_EQ(*view, (CRegistryValue{REG_BINARY, {1, 2, 3, 4}}));
    EXPECT_TRUE(file.HasKey("Software\\Ostrevane"));
    EXPECT_TRUE(file.HasKey("Software"));
    EXPECT_FALSE(file.HasKey("Soft"));
    EXPECT_FALSE(file.HasKey("Software\\Ostrevane\\Other"));
}

TEST(RegistryFileTest, AnyMalformedLineLeavesTheStoreEmpty) {
    const std::string header = "Windows Registry Editor Version 5.00\n";
    const std::string key = "[A]\n";
    const std::string good = "\"Good\"=dword:00000001\n";
    const std::string bad[] = {
        "",
        "garbage",
        key + good,                             // no header
        header + good,                          // value before any key
        header + key + good + "\"Retry\"=dwo",  // truncated while saving
        header + key + good + "\"X\"=dword:123456789\n",
        header + key + good + "\"X\"=dword:\n",
        header + key + good + "\"X\"=dword:12g\n",
        header + key + good + "\"X\"=hex:1,02\n",
        header + key + good + "\"X\"=hex:01,\n",
        header + key + good + "\"X\"=hex:01,,02\n",
        header + key + good + "\"X\"=hex(zz):01\n",
        header + key + good + "\"X\"=hex(1:01\n",
        header + key + good + "\"X\"=\"open\n",
        header + key + good + "\"X\"=\"a\" tail\n",
        header + key + good + "\"X\"=\"bad \\n escape\"\n",
        header + key + good + "\"X\"\n",
        header + key + good + "X=dword:1\n",
        header + key + good + "[A\n",
        header + key + good + "[]\n",
        header + key + good + "[\\A]\n",
        header + key + good + "[A\\\\B]\n",
        std::string("\0\xff\x01", 3),
    };
    for (const std::string& text : bad) {
        CRegistryFile file = Parsed(header + key + good);
        ASSERT_NE(file.FindValue("A", "Good"), nullptr);
        EXPECT_FALSE(file.Parse(text)) << text;
        EXPECT_EQ(file.FindValue("A", "Good"), nullptr) << text;
        EXPECT_FALSE(file.HasKey("A")) << text;
    }
}

TEST(RegistryFileTest, LoadTreatsMissingAndOversizedFilesAsEmpty) {
    TempFolder folder;
    EXPECT_FALSE(CRegistryFile::Load(folder.File("missing.reg")).HasKey("A"));

    const std::string text = "Windows Registry Editor Version 5.00\n[A]\n\"X\"=dword:1\n";
    WriteFile(folder.File("small.reg"), text);
    EXPECT_NE(CRegistryFile::Load(folder.File("small.reg")).FindValue("A", "X"), nullptr);

    WriteFile(folder.File("big.reg"), text + std::string(CRegistryFile::kMaxFileSize, ';'));
    EXPECT_FALSE(CRegistryFile::Load(folder.File("big.reg")).HasKey("A"));
}

TEST(RegistryFileTest, SaveCreatesTheFolderAndReplacesTheFileWhole) {
    TempFolder folder;
    const std::filesystem::path path = folder.Path() / "new" / "sub" / "Tarnwick.reg";
    CRegistryFile file;
    file.SetValue("A", "X", {REG_DWORD, {1, 0, 0, 0}});
    ASSERT_TRUE(file.Save(path));
    EXPECT_EQ(ReadFile(path.string()), file.Format());
    EXPECT_EQ(std::filesystem::status(path).permissions() & std::filesystem::perms::all,
              std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);

    file.SetValue("A", "Y", Text("second"));
    ASSERT_TRUE(file.Save(path));
    EXPECT_EQ(ReadFile(path.string()), file.Format());
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(path.parent_path()),
                            std::filesystem::directory_iterator()),
              1);
}

// A save that dies while writing (here: the file size limit is hit) must leave
// the previous file as it was and no temporary file behind.
TEST(RegistryFileTest, SaveThatFailsBeforeTheRenameKeepsTheOldFile) {
    TempFolder folder;
    const std::string path = folder.File("Tarnwick.reg");
    CRegistryFile old;
    old.SetValue("A", "X", {REG_DWORD, {1, 0, 0, 0}});
    ASSERT_TRUE(old.Save(path));
    const std::string before = ReadFile(path);

    CRegistryFile bigger = old;
    bigger.SetValue("A", "Blob", {REG_BINARY, std::vector<std::uint8_t>(4096, 7)});
    rlimit saved{};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
    const auto oldHandler = ::signal(SIGXFSZ, SIG_IGN);
    rlimit limited = saved;
    limited.rlim_cur = 1024;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &limited), 0);
    const bool savedWhole = bigger.Save(path);
    ::setrlimit(RLIMIT_FSIZE, &saved);
    ::signal(SIGXFSZ, oldHandler);

    EXPECT_FALSE(savedWhole);
    EXPECT_EQ(ReadFile(path), before);
    EXPECT_NE(CRegistryFile::Load(path).FindValue("A", "X"), nullptr);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder.Path()),
                            std::filesystem::directory_iterator()),
              1);
}

}  // namespace
