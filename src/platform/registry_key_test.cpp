#include "platform/registry_key.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <string>

#include "platform/registry_file.h"
#include "support/scoped_env.h"
#include "support/temp_folder.h"

namespace {

using testing_support::ReadFile;
using testing_support::ScopedEnv;
using testing_support::TempFolder;
using testing_support::WriteFile;

class RegistryKeyTest : public testing::Test {
protected:
    std::string StorePath() const { return m_folder.File("Tarnwick.reg"); }
    void WriteStore(const std::string& values) {
        WriteFile(StorePath(),
                  "Windows Registry Editor Version 5.00\n\n[Software\\Ostrevane\\Tarnwick\\T]\n" +
                      values);
    }

    TempFolder m_folder;
    ScopedEnv m_configDir{"TARNWICK_CONFIG_DIR", m_folder.Path().c_str()};
};

TEST_F(RegistryKeyTest, ReadsCheckTypeAndSizeExactly) {
    WriteStore(
        "\"Dword\"=dword:0000002a\n"
        "\"DwordAsHex\"=hex(4):2a,00,00,00\n"
        "\"ShortDword\"=hex(4):2a,00\n"
        "\"LongDword\"=hex(4):2a,00,00,00,00\n"
        "\"Text\"=\"abc\"\n"
        "\"Expand\"=hex(2):61,00\n"
        "\"Unterminated\"=hex(1):61,62\n"
        "\"Max\"=\"" +
        std::string(511, 'x') +
        "\"\n"
        "\"TooLong\"=\"" +
        std::string(512, 'x') +
        "\"\n"
        "\"Bin8\"=hex:01,00,00,00,02,00,00,00\n");
    const CRegistryKey key = GetSectionKey("T");

    struct DwordCase {
        const char* name;
        bool ok;
    };
    const DwordCase dwords[] = {
        {"Dword", true}, {"DwordAsHex", true}, {"ShortDword", false}, {"LongDword", false},
        {"Text", false}, {"Bin8", false},      {"Missing", false},
    };
    for (const DwordCase& c : dwords) {
        std::uint32_t value = 7;
        EXPECT_EQ(key.ReadDword(c.name, value), c.ok) << c.name;
        EXPECT_EQ(value, c.ok ? 42u : 7u) << c.name;
    }

    struct StringCase {
        const char* name;
        bool ok;
        std::string text;
    };
    const StringCase strings[] = {
        {"Text", true, "abc"},  {"Unterminated", true, "ab"}, {"Max", true, std::string(511, 'x')},
        {"TooLong", false, ""}, {"Expand", false, ""},        {"Dword", false, ""},
        {"Missing", false, ""},
    };
    for (const StringCase& c : strings) {
        std::string text = "untouched";
        EXPECT_EQ(key.ReadString(c.name, text), c.ok) << c.name;
        EXPECT_EQ(text, c.ok ? c.text : "untouched") << c.name;
    }

    std::uint32_t widths[2] = {0, 0};
    EXPECT_TRUE(key.ReadBinary("Bin8", widths, sizeof widths));
    EXPECT_EQ(widths[0], 1u);
    EXPECT_EQ(widths[1], 2u);
    std::uint32_t four[4] = {};
    EXPECT_FALSE(key.ReadBinary("Bin8", four, sizeof four));
    EXPECT_FALSE(key.ReadBinary("Bin8", four, 4));
    EXPECT_FALSE(key.ReadBinary("Dword", four, 4));
}

TEST_F(RegistryKeyTest, WritesRoundTripAndKeepOtherValues) {
    CRegistryKey key = GetSectionKey("Settings");
    const std::uint8_t blob[] = {0, 1, 2, 0xff};
    ASSERT_TRUE(key.WriteDword("Retry", 0xfffffffe));
    ASSERT_TRUE(key.WriteString("Proxy", "a\"b\\c\nd"));
    ASSERT_TRUE(key.WriteBinary("View", blob, sizeof blob));
    ASSERT_TRUE(GetSectionKey("Layout").WriteDword("Row Height", 400));
    ASSERT_TRUE(key.WriteString("Empty", ""));

    std::uint32_t retry = 0, height = 0;
    std::string proxy, empty = "x";
    std::uint8_t readBlob[4] = {};
    EXPECT_TRUE(key.ReadDword("RETRY", retry));
    EXPECT_EQ(retry, 0xfffffffeu);
    EXPECT_TRUE(key.ReadString("Proxy", proxy));
    EXPECT_EQ(proxy, "a\"b\\c\nd");
    EXPECT_TRUE(key.ReadString("Empty", empty));
    EXPECT_EQ(empty, "");
    EXPECT_TRUE(key.ReadBinary("View", readBlob, sizeof readBlob));
    EXPECT_EQ(std::memcmp(readBlob, blob, sizeof blob), 0);
    EXPECT_TRUE(GetSectionKey("Layout").ReadDword("Row Height", height));
    EXPECT_EQ(height, 400u);

    // Overwriting changes the type as well as the value.
    ASSERT_TRUE(key.WriteString("Retry", "3"));
    EXPECT_FALSE(key.ReadDword("Retry", retry));
    EXPECT_NE(ReadFile(StorePath()).find("\"Retry\"=\"3\""), std::string::npos);
}

TEST_F(RegistryKeyTest, OpenNeedsAnExistingKeyAndClosedKeysFail) {
    CRegistryKey root = CRegistryKey::CurrentUser();
    CRegistryKey key;
    EXPECT_FALSE(key.Open(root, "Software\\Ostrevane\\Tarnwick\\Settings"));
    EXPECT_FALSE(key.IsOpen());

    ASSERT_TRUE(GetSectionKey("Settings").WriteDword("Retry", 3));
    EXPECT_TRUE(key.Open(root, "Software\\Ostrevane\\Tarnwick\\Settings"));
    std::uint32_t retry = 0;
    EXPECT_TRUE(key.ReadDword("Retry", retry));
    EXPECT_TRUE(key.Open(root, "software\\ostrevane"));
    EXPECT_FALSE(key.Open(root, "Software\\Ostrevane\\Tarnwick\\Set"));

    const char* badNames[] = {"", "\\Software", "Software\\", "a\\\\b", "line\nbreak"};
    for (const char* name : badNames) {
        EXPECT_FALSE(key.Open(root, name)) << name;
        EXPECT_FALSE(root.CreateSubKey(name).IsOpen()) << name;
    }

    key.Close();
    EXPECT_FALSE(key.ReadDword("Retry", retry));
    EXPECT_FALSE(key.WriteDword("Retry", 4));
    EXPECT_FALSE(key.CreateSubKey("Sub").IsOpen());
    EXPECT_FALSE(CRegistryKey().WriteString("x", "y"));
    // The root holds keys, not values; a name that the file cannot hold is refused.
    EXPECT_FALSE(root.WriteDword("Retry", 4));
    EXPECT_FALSE(GetSectionKey("Settings").WriteDword("a\nb", 4));
    ASSERT_TRUE(GetSectionKey("Settings").ReadDword("Retry", retry));
    EXPECT_EQ(retry, 3u);
}

TEST_F(RegistryKeyTest, CreatingAKeyWritesNothingUntilAValueIsSet) {
    const CRegistryKey key = GetSectionKey("Settings");
    EXPECT_TRUE(key.IsOpen());
    std::uint32_t value = 0;
    EXPECT_FALSE(key.ReadDword("Retry", value));
    EXPECT_FALSE(std::filesystem::exists(StorePath()));
}

TEST(RegistryPathTest, FolderComesFromTheEnvironment) {
    struct Case {
        const char* configDir;
        const char* xdg;
        const char* home;
        const char* expected;
    };
    const Case cases[] = {
        {"/c", "/x", "/h", "/c/Tarnwick.reg"},
        {nullptr, "/x", "/h", "/x/Ostrevane/Tarnwick.reg"},
        {"", "/x", "/h", "/x/Ostrevane/Tarnwick.reg"},
        {nullptr, nullptr, "/h", "/h/.config/Ostrevane/Tarnwick.reg"},
        {nullptr, "", "/h", "/h/.config/Ostrevane/Tarnwick.reg"},
        {nullptr, "relative", "/h", "/h/.config/Ostrevane/Tarnwick.reg"},
    };
    for (const Case& c : cases) {
        ScopedEnv configDir("TARNWICK_CONFIG_DIR", c.configDir);
        ScopedEnv xdg("XDG_CONFIG_HOME", c.xdg);
        ScopedEnv home("HOME", c.home);
        EXPECT_EQ(CRegistryFile::DefaultPath().string(), c.expected);
    }
}

}  // namespace
