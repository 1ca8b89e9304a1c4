#include "cli/mirror_options.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "engine/project_settings.h"
#include "protocol/response_info.h"

namespace {

bool Parse(const std::vector<std::string>& arguments, CMirrorOptions& options, std::string& error) {
    return ParseMirrorArguments(arguments, options, error);
}

TEST(MirrorOptionsTest, ReadsEveryOption) {
    CMirrorOptions options;
    std::string error;
    ASSERT_TRUE(Parse({"http://h/d/", "--into", "out", "--threads", "8", "--levels", "2",
                       "--external", "1", "--scope", "domain", "--user", "u", "--password", "p",
                       "--filter", "image", "--filter", "Archive"},
                      options, error))
        << error;
    EXPECT_EQ(options.url, "http://h/d/");
    EXPECT_EQ(options.folder, "out");
    EXPECT_EQ(options.threads, 8);
    EXPECT_EQ(options.internalLevels, 2);
    EXPECT_EQ(options.externalLevels, 1);
    EXPECT_FALSE(options.directoryScope);
    EXPECT_EQ(options.user, "u");
    EXPECT_EQ(options.password, "p");
    EXPECT_EQ(options.filterGroups, (std::vector<std::string>{"image", "Archive"}));
}

TEST(MirrorOptionsTest, DefaultsAreThoseOfANewProject) {
    CMirrorOptions options;
    std::string error;
    ASSERT_TRUE(Parse({"h"}, options, error));
    EXPECT_EQ(options.threads, 3);
    EXPECT_EQ(options.internalLevels, -1);
    EXPECT_EQ(options.externalLevels, 0);
    EXPECT_TRUE(options.directoryScope);
    EXPECT_TRUE(options.filterGroups.empty());
}

TEST(MirrorOptionsTest, RefusesWhatItCannotUse) {
    const std::vector<std::vector<std::string>> cases = {
        {},
        {"--threads", "3"},
        {"http://h/", "--threads", "0"},
        {"http://h/", "--threads", "17"},
        {"http://h/", "--threads", "3x"},
        {"http://h/", "--levels", "101"},
        {"http://h/", "--levels", "-1"},
        {"http://h/", "--external", "all"},
        {"http://h/", "--scope", "site"},
        {"http://h/", "--into"},
        {"http://h/", "--colour", "red"},
        {"http://h/", "http://g/"},
    };
    for (const auto& arguments : cases) {
        CMirrorOptions options;
        std::string error;
        EXPECT_FALSE(Parse(arguments, options, error)) << testing::PrintToString(arguments);
        EXPECT_FALSE(error.empty());
    }
}

TEST(MirrorOptionsTest, BuildsTheProjectRules) {
    CMirrorOptions options;
    options.url = "http://Www.Example.org:8080/docs/index.html";
    options.threads = 5;
    options.internalLevels = 2;
    options.externalLevels = 1;
    options.filterGroups = {"IMAGE"};
    CProjectSettings project;
    std::string error;
    ASSERT_TRUE(BuildProject(options, project, error)) << error;
    EXPECT_EQ(project.GetThreadCount(), 5);
    const CCrawlRules& rules = project.GetRules();
    EXPECT_EQ(rules.GetInternalLevels(), 2);
    EXPECT_EQ(rules.GetExternalLevels(), 1);
    EXPECT_EQ(rules.GetDomain(), "Www.Example.org");
    EXPECT_EQ(rules.GetDirectory(), "/docs/index.html");
    EXPECT_TRUE(rules.AnyFilterEnabled());
    EXPECT_EQ(project.GetDownloadFolder(),
              (std::filesystem::current_path() / "Www_Example_org.files").string());

    options.url = "example.org";  // no scheme: http is assumed
    options.directoryScope = false;
    options.filterGroups.clear();
    options.folder = "/tmp/mirror/";
    CProjectSettings second;
    ASSERT_TRUE(BuildProject(options, second, error)) << error;
    EXPECT_EQ(second.GetStartUrl().GetSourceText(), "http://example.org");
    EXPECT_EQ(second.GetRules().GetDirectory(), "");
    EXPECT_FALSE(second.GetRules().AnyFilterEnabled());
    EXPECT_EQ(second.GetDownloadFolder(), "/tmp/mirror");
}

TEST(MirrorOptionsTest, BuildRefusesBadUrlsAndUnknownGroups) {
    const struct {
        const char* url;
        const char* group;
    } cases[] = {
        {"mailto:a@h", nullptr},
        {"file:///etc/", nullptr},
        {"http://", nullptr},
        {"http://h/", "Pictures"},
    };
    for (const auto& c : cases) {
        CMirrorOptions options;
        options.url = c.url;
        if (c.group != nullptr) {
            options.filterGroups.push_back(c.group);
        }
        CProjectSettings project;
        std::string error;
        EXPECT_FALSE(BuildProject(options, project, error)) << c.url;
        EXPECT_FALSE(error.empty());
    }
}

}  // namespace
