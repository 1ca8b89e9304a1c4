#include "cli/mirror_options.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "base/url.h"
#include "cli/command_line.h"
#include "engine/project_settings.h"
#include "protocol/response_info.h"

namespace {

bool Parse(const std::vector<std::string>& arguments, CMirrorOptions& options, std::string& error) {
    CCommandLine line;
    return line.Parse("mirror", arguments, error) && ParseMirrorArguments(line, options, error);
}

bool ParseSet(const std::vector<std::string>& arguments, CMirrorOptions& options,
              std::string& error) {
    CCommandLine line;
    return line.Parse("set", arguments, error) && ParseSettingArguments(line, options, error);
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
        {"http://h/", "p.tkp", "third"},
        {"http://h/", "--user", "u"},
        {"http://h/", "--password", "p"},
        {"http://h/", "--ask-password"},
        {"http://h/", "--user", "u", "--password", "p", "--ask-password"},
        {"http://h/", "--user", "u", "--password", "p", "--netrc"},
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
    EXPECT_EQ(rules.GetDomain(), "www.example.org");
    EXPECT_EQ(rules.GetDirectory(), "/docs/index.html");
    EXPECT_TRUE(rules.AnyFilterEnabled());
    EXPECT_EQ(project.GetDownloadFolder(),
              (std::filesystem::current_path() / "www_example_org.files").string());

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
        {"mailto:a@h", nullptr},   {"file:///etc/", nullptr}, {"http://", nullptr},
        {"http://h/", "Pictures"}, {"ftp://h/pub/", nullptr}, {"ftp://h", nullptr},
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

TEST(MirrorOptionsTest, SetReadsOnlyTheRuleOptionsWithTheirRanges) {
    CMirrorOptions options;
    std::string error;
    ASSERT_TRUE(Parse({"http://h/"}, options, error));
    CMirrorOptions set = options;
    ASSERT_TRUE(ParseSet({"--threads", "9", "--filter", "all"}, set, error)) << error;
    EXPECT_EQ(set.threads, 9);
    EXPECT_TRUE(set.filtersGiven);
    EXPECT_TRUE(set.filterGroups.empty());
    EXPECT_FALSE(ParseSet({"--into", "x"}, set, error));
    EXPECT_FALSE(ParseSet({"--threads", "17"}, set, error));
    EXPECT_EQ(error, "--threads: Please enter an integer between 1 and 16.");
}

TEST(MirrorOptionsTest, CredentialsInTheUrlAreTheSitesUnlessGivenAndNeverShown) {
    const struct {
        const char* url;
        const char* user;
        const char* password;
        const char* startUrl;
        const char* user2;
        const char* password2;
    } cases[] = {
        {"http://bob:s%40cret@h:81/d/", "", "", "http://h:81/d/", "bob", "s@cret"},
        {"http://bob:secret@h/", "ann", "pw", "http://h/", "ann", "pw"},
        {"bob@h/x", "", "", "http://h/x", "bob", ""},
        {"http://h/a@b", "", "", "http://h/a@b", "", ""},
    };
    for (const auto& c : cases) {
        CMirrorOptions options;
        options.url = c.url;
        options.user = c.user;
        options.password = c.password;
        CProjectSettings project;
        std::string error;
        ASSERT_TRUE(BuildProject(options, project, error)) << c.url << ": " << error;
        EXPECT_EQ(project.GetStartUrl().GetSourceText(), c.startUrl);
        EXPECT_EQ(project.GetUser(), c.user2) << c.url;
        EXPECT_EQ(project.GetPassword(), c.password2) << c.url;
    }
    const std::pair<const char*, const char*> shown[] = {
        {"http://bob:secret@h/", "http://bob:***@h/"},
        {"ftp://bob:a:b@h:21/x@y", "ftp://bob:***@h:21/x@y"},
        {"http://bob@h/", "http://bob@h/"},
        {"http://h/a:b@c", "http://h/a:b@c"},
    };
    for (const auto& [text, hidden] : shown) {
        EXPECT_EQ(HideUrlPassword(text), hidden);
    }
}

TEST(MirrorOptionsTest, AnIpv6LiteralIsRefusedAndItsPasswordNotShown) {
    CMirrorOptions options;
    options.url = "http://u:secret@[::1]:8080/";
    CProjectSettings project;
    std::string error;
    EXPECT_FALSE(BuildProject(options, project, error));
    EXPECT_EQ(error, "IPv6 addresses are not supported yet: http://u:***@[::1]:8080/");
}

TEST(MirrorOptionsTest, AMirrorIsNamedAfterHostPortAndFirstFolder) {
    const std::pair<const char*, const char*> cases[] = {
        {"http://127.0.0.1:8080/docs/a.html", "127_0_0_1_8080_docs"},
        {"http://127.0.0.1:8080/a.html", "127_0_0_1_8080"},
        {"http://www.h.org:80/docs/x/y/", "www_h_org_docs"},
        {"https://h.org/", "h_org"},
        {"https://h.org:443/my%20docs/", "h_org_my_docs"},
        {"ftp://h.org:2121/pub/f", "h_org_2121_pub"},
    };
    for (const auto& [url, name] : cases) {
        CUrl parsed;
        ASSERT_TRUE(parsed.Parse(url)) << url;
        EXPECT_EQ(MirrorProjectName(parsed), name) << url;
    }
}

}  // namespace
