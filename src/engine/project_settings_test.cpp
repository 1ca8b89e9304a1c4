#include "engine/project_settings.h"

#include <gtest/gtest.h>

#include "base/errors.h"
#include "support/memory_stream.h"

namespace {

using testing_support::ExpectedBytes;
using testing_support::MemoryStream;

// A settings record with the default rules, as the project file holds it.
std::string Record(const std::string& url, std::uint32_t reserved, std::uint32_t threads) {
    return ExpectedBytes()
        .Str(url)
        .Str("user")
        .Str("pass word")
        .Str("site.files")
        .Int(reserved)
        .Int(threads)
        .Int(0xFFFFFFFF)
        .Int(0)
        .Str("h")
        .Str("")
        .Int(1)
        .Str("Image")
        .Str("*.gif")
        .Int(0)
        .Int(0)
        .Bool(true)
        .Int(0)
        .Bytes();
}

ResultCode LoadCode(CProjectSettings& settings, const std::string& bytes) {
    MemoryStream input(bytes);
    try {
        settings.Load(input);
    } catch (const CStreamException& e) {
        return e.GetCode();
    }
    return ERR_SUCCESS;
}

TEST(ProjectSettingsTest, FreshSettingsAreEmpty) {
    const CProjectSettings settings;
    EXPECT_FALSE(settings.GetStartUrl().HasUrl());
    EXPECT_EQ(settings.GetThreadCount(), 0);
    EXPECT_EQ(settings.GetUser(), "");
    EXPECT_EQ(settings.GetDownloadFolder(), "");
    EXPECT_EQ(settings.GetStoredFolder(), "");
    EXPECT_EQ(settings.GetRules().GetInternalLevels(), -1);
    EXPECT_EQ(settings.GetRules().GetExternalLevels(), -1);
    EXPECT_FALSE(settings.GetRules().AnyFilterEnabled());
    EXPECT_EQ(settings.GetRules().GetLastReject(), RejectNone);
}

TEST(ProjectSettingsTest, StoresTheExactRecord) {
    CProjectSettings settings;
    CUrl url;
    ASSERT_TRUE(url.Parse("http://h/"));
    settings.SetStartUrl(url);
    settings.SetCredentials("user", "pass word");
    settings.SetThreadCount(3);
    settings.SetFolders("/dl/site.files", "site.files");
    settings.GetRules().SetLevels(-1, 0);
    settings.GetRules().SetScope("h");
    CFilterList filters;
    filters.Append("Image", ".gif", 0, 0, true);
    settings.GetRules().SetFilters(filters);
    MemoryStream stream;
    settings.Store(stream);
    EXPECT_EQ(stream.Bytes(), Record("http://h/", 0, 3));
}

TEST(ProjectSettingsTest, LoadValidatesTheFixedFields) {
    const struct {
        const char* url;
        std::uint32_t reserved, threads;
        ResultCode code;
    } cases[] = {
        {"http://h/", 0, 1, ERR_SUCCESS},
        {"http://h/", 100, 16, ERR_SUCCESS},
        {"", 0, 3, ERR_STREAM_DATA},
        {"no url", 0, 3, ERR_STREAM_DATA},
        {"http://h/", 101, 3, ERR_STREAM_DATA},
        {"http://h/", 0xFFFFFFFF, 3, ERR_STREAM_DATA},
        {"http://h/", 0, 0, ERR_STREAM_DATA},
        {"http://h/", 0, 17, ERR_STREAM_DATA},
        {"http://h/", 0, 0xFFFFFFFF, ERR_STREAM_DATA},
    };
    for (const auto& c : cases) {
        CProjectSettings settings;
        settings.SetFolders("/dl/x.files", "x.files");
        ASSERT_EQ(LoadCode(settings, Record(c.url, c.reserved, c.threads)), c.code)
            << c.url << " " << c.reserved << " " << c.threads;
        if (c.code != ERR_SUCCESS) {
            EXPECT_FALSE(settings.GetStartUrl().HasUrl());
            EXPECT_EQ(settings.GetStoredFolder(), "x.files");
            continue;
        }
        EXPECT_EQ(settings.GetStartUrl().GetSourceText(), c.url);
        EXPECT_EQ(settings.GetThreadCount(), static_cast<std::int32_t>(c.threads));
        EXPECT_EQ(settings.GetPassword(), "pass word");
        EXPECT_EQ(settings.GetStoredFolder(), "site.files");
        EXPECT_EQ(settings.GetDownloadFolder(), "/dl/x.files");  // not part of the record
        EXPECT_EQ(settings.GetRules().GetDomain(), "h");
        EXPECT_TRUE(settings.GetRules().AnyFilterEnabled());
    }
}

// The request rules after the record: one pattern, the cookies file, headers.
std::string RequestRules(const std::string& headerName, std::uint32_t headerCount = 1) {
    return ExpectedBytes()
        .Str("REQUEST_RULES")
        .Int(1)
        .Bool(false)
        .Str("*/ads/*")
        .Str("/home/u/cookies.txt")
        .Int(headerCount)
        .Str(headerName)
        .Str("de")
        .Bytes();
}

TEST(ProjectSettingsTest, RequestRulesFollowTheRecordOnlyWhenSet) {
    CProjectSettings settings;
    ASSERT_EQ(LoadCode(settings, Record("http://h/", 0, 3)), ERR_SUCCESS);
    std::string error;
    ASSERT_TRUE(settings.GetUrlPatterns().AddLine("-*/ads/*", error));
    settings.SetCookiesFile("/home/u/cookies.txt");
    CProjectSettings::Header header;
    ASSERT_TRUE(CProjectSettings::ParseHeaderLine("Accept-Language:  de ", header));
    ASSERT_TRUE(settings.SetHeaders({header}));
    MemoryStream stream;
    settings.Store(stream);
    EXPECT_EQ(stream.Bytes(), Record("http://h/", 0, 3) + RequestRules("Accept-Language"));

    CProjectSettings loaded;
    ASSERT_EQ(LoadCode(loaded, stream.Bytes()), ERR_SUCCESS);
    EXPECT_EQ(loaded.GetUrlPatterns().Decide("http://h/ads/x"), CUrlPatterns::Verdict::Exclude);
    EXPECT_EQ(loaded.GetCookiesFile(), "/home/u/cookies.txt");
    EXPECT_EQ(loaded.GetHeaders(), settings.GetHeaders());
}

TEST(ProjectSettingsTest, ARecordWrittenBeforeRequestRulesLoadsWithDefaults) {
    // The manager's tag that follows is left for the document to read.
    MemoryStream input(Record("http://h/", 0, 3) + ExpectedBytes().Str("MANAGER_INFO").Bytes());
    CProjectSettings settings;
    settings.Load(input);
    EXPECT_TRUE(settings.GetUrlPatterns().IsEmpty());
    EXPECT_EQ(settings.GetCookiesFile(), "");
    EXPECT_TRUE(settings.GetHeaders().empty());
    std::string tag;
    input >> tag;
    EXPECT_EQ(tag, "MANAGER_INFO");
}

TEST(ProjectSettingsTest, DamagedRequestRulesAreADataError) {
    const std::string damaged[] = {
        RequestRules("Bad Name"),
        RequestRules(""),
        RequestRules("X-Ok", 0xFFFFFFFF),
        RequestRules("X-Ok", 2),
        Record("http://h/", 0, 3) + ExpectedBytes().Str("REQUEST_RULES").Int(0xFFFFFFFF).Bytes(),
    };
    for (const std::string& rules : damaged) {
        CProjectSettings settings;
        const std::string bytes =
            rules.starts_with("REQUEST_RULES") ? Record("http://h/", 0, 3) + rules : rules;
        EXPECT_EQ(LoadCode(settings, bytes), ERR_STREAM_DATA);
        EXPECT_FALSE(settings.GetStartUrl().HasUrl());
    }
    CProjectSettings::Header header;
    for (const char* line : {"NoColon", ": v", "Na me: v", "X-Empty:  ", "X: a\r\nInjected: 1"}) {
        EXPECT_FALSE(CProjectSettings::ParseHeaderLine(line, header)) << line;
    }
}

TEST(ProjectSettingsTest, TruncatedRecordsFail) {
    const std::string bytes = Record("http://h/", 0, 2);
    for (std::size_t length = 0; length < bytes.size(); ++length) {
        CProjectSettings settings;
        EXPECT_EQ(LoadCode(settings, bytes.substr(0, length)), ERR_STREAM_DATA) << length;
        EXPECT_EQ(settings.GetThreadCount(), 0);
    }
}

}  // namespace
