#include "storage/local_file_mapping.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "base/url.h"
#include "support/parsed_url.h"
#include "support/temp_folder.h"

namespace {

using testing_support::ParsedUrl;
constexpr int kNoType = 0;
constexpr int kCss = 1;
constexpr int kHtml = 3;
constexpr int kOctetStream = 5;
constexpr int kJavaScript = 6;

class LocalFileMappingTest : public testing::Test {
protected:
    CLocalFileMapping m_mapping{CFilePath("/dl")};
};

struct HttpCase {
    const char* url;
    int contentType;
    const char* storedPath;       // the local path is "/dl/" and this
    const char* scheme = "http";  // the local URL is this, "://" and the stored path
};

// CRC-32 values were computed independently: "?x=1" e8d84687, "?id=7"
// 3ef6ee8e, "?p=181185" 15b (short, to show that the hash is not padded).
const HttpCase kHttpCases[] = {
    {"http://h", kHtml, "h/index.htm"},
    {"http://h/", kNoType, "h/index.htm"},
    {"http://h/x/", kNoType, "h/x/index.htm"},
    {"http://h/dir/", kOctetStream, "h/dir/default"},
    {"http://h/dir/.htaccess", kOctetStream, "h/dir/default.htaccess"},
    {"http://h:8080/a.asp", kHtml, "h_8080/a.asp.htm"},
    {"http://h:80/a.htm", kHtml, "h_80/a.htm"},
    {"http://h/a.HTML", kHtml, "h/a.HTML"},
    {"http://h/page", kHtml, "h/page.htm"},
    {"http://h/page.php", kHtml, "h/page.php.htm"},
    {"http://h/a/b.css", kCss, "h/a/b.css"},
    // A style sheet or script read from the disk is known by its extension.
    {"http://h/a/B.CSS", kCss, "h/a/B.CSS"},
    {"http://h/theme.php?c=green", kCss, "h/theme082dcdc58f.php.css"},
    {"http://h/css/", kCss, "h/css/default.css"},
    {"http://h/j.js", kJavaScript, "h/j.js"},
    {"http://h/m.mjs", kJavaScript, "h/m.mjs"},
    {"http://h/loader", kJavaScript, "h/loader.js"},
    {"http://h/b.css", kJavaScript, "h/b.css.js"},
    {"http://h/s.js", kNoType, "h/s.js"},
    {"http://h/a/b.php", kOctetStream, "h/a/b.php"},
    {"http://h/?x=1", kHtml, "h/08e8d84687.htm"},
    {"http://h/?p=181185", kHtml, "h/0815b.htm"},
    {"http://h/p.php?id=7", kHtml, "h/p083ef6ee8e.php.htm"},
    {"http://h/index.html?x=1", kHtml, "h/index08e8d84687.html"},
    {"http://h/a%20b/c%41.htm", kHtml, "h/a b/cA.htm"},
    {"https://h:8443/a/b.gif", kNoType, "h_8443/a/b.gif", "https"},
    // A host names one folder whatever its case.
    {"http://Host.Example/A/B", kHtml, "host.example/A/B.htm"},
    // Kept unescaped on the wire, ";" and ":" name the same file as escaped.
    {"http://h/site;sub:.html?a=b;c", kHtml, "h/site;sub:0841a7aace.html"},
    {"http://h/site%3Bsub%3A.html?a=b%3Bc", kHtml, "h/site;sub:0841a7aace.html"},
};

TEST_F(LocalFileMappingTest, MapsHttpResponsesByTheNamingRules) {
    for (const HttpCase& c : kHttpCases) {
        SCOPED_TRACE(c.url);
        const CUrl url = ParsedUrl(c.url);
        std::string localUrl, localPath, storedPath;
        m_mapping.MapUrlToLocal(url, c.contentType, localUrl, localPath, storedPath);
        EXPECT_EQ(storedPath, c.storedPath);
        EXPECT_EQ(localPath, std::string("/dl/") + c.storedPath);
        EXPECT_EQ(localUrl, std::string(c.scheme) + "://" + c.storedPath);
    }
}

// The names of a saved file lead back to it: the views and the rewriting
// pass find files through these reverse operations.
TEST_F(LocalFileMappingTest, ReverseOperationsFindTheMappedFile) {
    for (const HttpCase& c : kHttpCases) {
        SCOPED_TRACE(c.url);
        const CUrl url = ParsedUrl(c.url);
        std::string localUrl, localPath, storedPath;
        m_mapping.MapUrlToLocal(url, c.contentType, localUrl, localPath, storedPath);

        std::string back;
        m_mapping.StoredToLocalPath(url, storedPath, back);
        EXPECT_EQ(back, localPath);
        EXPECT_EQ(m_mapping.StoredToSlashPath(storedPath), localPath);
        m_mapping.LocalPathToLocalUrl(url, localPath, back);
        EXPECT_EQ(back, localUrl);
        m_mapping.GetLocalPathOfUrl(ParsedUrl(localUrl), back);
        EXPECT_EQ(back, localPath);
    }
}

// Names for a URL whose plain name another URL owns: "08" and a CRC-32 of
// the URL's text after the title, as a query's mark, taken once more for each
// further name. CRC-32 of
// "http://h/page.php" is c012968e, taken again fcdf29b3; of
// "ftp://h/pub/a%2Fb.zip" 99e129d9.
TEST_F(LocalFileMappingTest, DistinctNamesKeepTheFolderAndTheExtension) {
    std::string localUrl, localPath, storedPath;
    const CUrl page = ParsedUrl("http://h/page.php");
    const char* const expected[] = {"h/page.php.htm", "h/page08c012968e.php.htm",
                                    "h/page08fcdf29b3.php.htm"};
    for (unsigned distinction = 0; distinction < 3; ++distinction) {
        m_mapping.MapUrlToLocal(page, kHtml, localUrl, localPath, storedPath, distinction);
        EXPECT_EQ(storedPath, expected[distinction]);
        EXPECT_EQ(localUrl, std::string("http://") + expected[distinction]);
    }
    m_mapping.MapUrlToLocal(ParsedUrl("http://h/d/?q=1"), kHtml, localUrl, localPath, storedPath,
                            1);
    EXPECT_TRUE(storedPath.starts_with("h/d/08e7097d0808")) << storedPath;
    EXPECT_TRUE(storedPath.ends_with(".htm")) << storedPath;
    m_mapping.MapFtpUrlToLocal(ParsedUrl("ftp://h/pub/a%2Fb.zip"), localUrl, localPath, storedPath,
                               1);
    EXPECT_EQ(localPath, "/dl/ftp_h/pub/a/b0899e129d9.zip");
    // An empty path names the host entry, which gets the mark and stays one
    // name short enough to create.
    const CUrl longHost = ParsedUrl("ftp://" + std::string(300, 'h'));
    m_mapping.MapFtpUrlToLocal(longHost, localUrl, localPath, storedPath, 1);
    EXPECT_EQ(localPath.find('/', 4), std::string::npos) << localPath;
    EXPECT_LE(localPath.size(), 4 + CLocalFileMapping::kMaxNameLength);
}

struct FtpCase {
    const char* url;
    const char* localPath;
};

TEST_F(LocalFileMappingTest, MapsFtpUrls) {
    const FtpCase cases[] = {
        {"ftp://h/pub/f.zip", "/dl/ftp_h/pub/f.zip"},
        {"ftp://h:2121/pub/", "/dl/ftp_h_2121/pub/"},
        {"ftp://h/f?x=1", "/dl/ftp_h/f"},
        {"ftp://h/page", "/dl/ftp_h/page"},
        // An empty path names the host entry itself.
        {"ftp://h", "/dl/ftp_h"},
    };
    for (const FtpCase& c : cases) {
        SCOPED_TRACE(c.url);
        const CUrl url = ParsedUrl(c.url);
        std::string localUrl, localPath, storedPath;
        m_mapping.MapFtpUrlToLocal(url, localUrl, localPath, storedPath);
        EXPECT_EQ(localPath, c.localPath);
        EXPECT_EQ(storedPath, c.localPath);
        EXPECT_EQ(localUrl, c.url);

        std::string back;
        m_mapping.GetLocalPathOfUrl(url, back);
        EXPECT_EQ(back, c.localPath);
        m_mapping.StoredToLocalPath(url, storedPath, back);
        EXPECT_EQ(back, c.localPath);
        m_mapping.LocalPathToLocalUrl(url, localPath, back);
        EXPECT_EQ(back, c.url);
    }
}

TEST_F(LocalFileMappingTest, PlainRuleIgnoresPortQueryAndDefaults) {
    const std::pair<const char*, const char*> cases[] = {
        {"http://h:8080/a/", "/dl/h/a/"},
        {"http://h/a.asp?x=1", "/dl/h/a.asp"},
        {"https://h", "/dl/h"},
    };
    for (const auto& [text, expected] : cases) {
        std::string localPath;
        m_mapping.GetLocalPathOfUrl(ParsedUrl(text), localPath);
        EXPECT_EQ(localPath, expected) << text;
    }
}

TEST_F(LocalFileMappingTest, OtherSchemesLeaveTheOutputAlone) {
    const CUrl url = ParsedUrl("mailto:joe@h");
    std::string output = "kept";
    m_mapping.GetLocalPathOfUrl(url, output);
    m_mapping.StoredToLocalPath(url, "H/a.htm", output);
    m_mapping.LocalPathToLocalUrl(url, "/dl/H/a.htm", output);
    EXPECT_EQ(output, "kept");
}

TEST_F(LocalFileMappingTest, StoredAndLocalPathConversions) {
    EXPECT_EQ(m_mapping.LocalToStoredPath("/dl/H/a/b.htm"), "H/a/b.htm");
    EXPECT_EQ(m_mapping.StoredToSlashPath("H\\a\\b.htm"), "/dl/H/a/b.htm");
    EXPECT_EQ(m_mapping.StoredToSlashPath("H/x/../b.htm"), "/dl/H/b.htm");

    const CUrl http = ParsedUrl("http://H/");
    std::string localUrl = "stale";
    m_mapping.LocalPathToLocalUrl(http, "/dl/H/a.htm", localUrl);
    EXPECT_EQ(localUrl, "http://H/a.htm");
    // The prefix test is exact: a folder differing in case is another folder.
    m_mapping.LocalPathToLocalUrl(http, "/DL/H/a.htm", localUrl);
    EXPECT_EQ(localUrl, "");
    m_mapping.LocalPathToLocalUrl(http, "/dl2/H/a.htm", localUrl);
    EXPECT_EQ(localUrl, "");
}

// A stored path comes from the project file; one that leads out of the
// download folder must not make the rewriting pass write elsewhere.
TEST_F(LocalFileMappingTest, StoredPathsOutsideTheFolderGiveNothing) {
    const CUrl http = ParsedUrl("http://H/");
    const CUrl ftp = ParsedUrl("ftp://H/");
    const std::pair<const CUrl*, const char*> cases[] = {
        {&http, "../etc/passwd"},    {&http, "H/../../x"}, {&http, "/etc/passwd"},
        {&http, "../../../../../x"}, {&http, ""},          {&ftp, "/etc/passwd"},
        {&ftp, "/dl/ftp_H/../../x"}, {&ftp, "/dl"},
    };
    for (const auto& [url, stored] : cases) {
        SCOPED_TRACE(stored);
        std::string localPath = "stale";
        m_mapping.StoredToLocalPath(*url, stored, localPath);
        EXPECT_EQ(localPath, "");
        if (url == &http) {
            EXPECT_EQ(m_mapping.StoredToSlashPath(stored), "");
        }
    }
}

TEST(NeutraliseNameTest, ChangesOnlyNamesThatCouldEscapeOrFail) {
    const std::pair<std::string, std::string> cases[] = {
        {".", "_"},
        {"..", "__"},
        {"a/b", "a_b"},
        {"a\\..\\b", "a_.._b"},
        {std::string("a\0b.htm", 7), "a_b.htm"},
        {"...", "..."},
        {"..a", "..a"},
        {".htaccess", ".htaccess"},
        {"index.htm", "index.htm"},
        {"H_8080", "H_8080"},
        {"", ""},
    };
    for (const auto& [name, expected] : cases) {
        EXPECT_EQ(NeutraliseName(name), expected) << name;
    }
    EXPECT_EQ(NeutralisePath("/a/../b/./c/"), "/a/__/b/_/c/");
    EXPECT_EQ(NeutralisePath("/a/b.htm"), "/a/b.htm");
}

// A CR or LF breaks a listing's line; a right-to-left override shows
// "photo\u202Egpj.exe" as "photoexe.jpg"; the others are just as invisible.
TEST(NeutraliseNameTest, ControlAndFormatCharactersBecomeOneUnderscoreEach) {
    const std::pair<std::string, std::string> cases[] = {
        {"a\r\nb.htm", "a__b.htm"},
        {"a\tb\x1b[1m\x7f", "a_b_[1m_"},
        {"photo\xE2\x80\xAEgpj.exe", "photo_gpj.exe"},    // U+202E
        {"\xE2\x81\xA6x\xE2\x81\xA9", "_x_"},             // U+2066, U+2069
        {"\xD8\x9Cx\xE2\x80\x8Fy\xE2\x80\x8B", "_x_y_"},  // U+061C, U+200F, U+200B
        {"a\xE2\x80\xA8"
         "b\xEF\xBB\xBF",
         "a_b_"},  // U+2028, U+FEFF
        {"a\xC2\x85\xC2\xAD"
         "b",
         "a__b"},                     // U+0085, U+00AD
        {"a\xF3\xA0\x81\x81", "a_"},  // U+E0041, a tag
        // Printable characters stay, and so do bytes that are not UTF-8.
        {"caf\xC3\xA9 \xE2\x80\x94 \xE6\x97\xA5\xF0\x9F\x98\x80",
         "caf\xC3\xA9 \xE2\x80\x94 \xE6\x97\xA5\xF0\x9F\x98\x80"},
        {"\x85\xE2\x80", "\x85\xE2\x80"},
    };
    for (const auto& [name, expected] : cases) {
        EXPECT_EQ(NeutraliseName(name), expected) << name;
    }
}

TEST(NeutraliseNameTest, ShortensOverLongNamesDistinctly) {
    const std::string stem(300, 'x');
    const std::string first = NeutraliseName(stem + "1.html");
    const std::string second = NeutraliseName(stem + "2.html");
    EXPECT_EQ(first.size(), CLocalFileMapping::kMaxNameLength);
    EXPECT_TRUE(first.ends_with(".html"));
    EXPECT_NE(first, second);
    EXPECT_EQ(NeutraliseName(first), first);
    const std::string longExtension = NeutraliseName("a." + stem);
    EXPECT_EQ(longExtension.size(), CLocalFileMapping::kMaxNameLength);
    EXPECT_EQ(NeutraliseName(std::string(255, 'y')), std::string(255, 'y'));
}

TEST(NeutraliseNameTest, ShortenedNamesDoNotSplitUtf8Characters) {
    // After the leading "a", every two-byte character starts at an odd offset.
    std::string name = "a";
    while (name.size() < 300) {
        name += "\xC3\xA9";  // e with acute accent
    }
    const std::string shortened = NeutraliseName(name);
    EXPECT_LE(shortened.size(), CLocalFileMapping::kMaxNameLength);
    const std::size_t hash = shortened.rfind('_');
    ASSERT_NE(hash, std::string::npos);
    EXPECT_EQ(hash % 2, 1u) << "cut inside a two-byte character";
}

bool IsInsideDownloadFolder(const std::string& path) {
    if (!path.starts_with("/dl/") || path.find('\0') != std::string::npos || HasDotSegment(path)) {
        return false;
    }
    for (const auto& segment : std::filesystem::path(path)) {
        if (segment.native().size() > CLocalFileMapping::kMaxNameLength) {
            return false;
        }
    }
    return true;
}

struct HostileCase {
    const char* url;
    const char* hostFolder;  // the folder below /dl/ that must hold the file
    // A host that the URL parser may refuse outright, which is safe too: such
    // a text is never fetched.
    bool mayBeRefused = false;
};

// URLs that a page or a redirect could use to write outside the download
// folder, or to a name cut short. Each must land below its host's folder.
const HostileCase kHostileCases[] = {
    {"http://h/a/../../../../home/u/.bashrc", "h"},
    {"http://h/%2e%2e/%2e%2e/%2E%2E/etc/passwd", "h"},
    {"http://h/a%2F..%2F..%2F..%2Fx", "h"},
    {"http://h/..%5C..%5C..%5Cx", "h"},
    {"http://h/..", "h"},
    {"http://h/.", "h"},
    {"http://h/a%00b.htm", "h"},
    {"http://h/%00", "h"},
    {"http://..:8080/x", ".._8080", true},
    {"http://h/"
     "xxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxx"
     "xxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxx"
     "xxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxx/y",
     "h"},
    {"ftp://h/../../etc/passwd", "ftp_h"},
    {"ftp://h/%2e%2e/%2e%2e/x", "ftp_h"},
    {"http://h%2F..%2F..%2Fetc/x", "h_.._.._etc", true},
    {"http://%2e%2e/x", "__", true},
    {"http://./x", "_", true},
    {"http://h%00.evil/x", "h_.evil", true},
    {"http://h\\..\\..\\x/y", "h_.._.._x", true},
    {"ftp://%2e%2e/../x", "ftp_..", true},
    {"ftp://h%2F..%2F../x", "ftp_h_.._..", true},
};

TEST_F(LocalFileMappingTest, HostileUrlsStayInsideTheDownloadFolder) {
    for (const HostileCase& c : kHostileCases) {
        SCOPED_TRACE(c.url);
        CUrl url;
        if (!url.Parse(c.url)) {
            EXPECT_TRUE(c.mayBeRefused) << "an ordinary host was refused";
            continue;
        }
        const std::string hostFolder = std::string("/dl/") + c.hostFolder + "/";
        std::string localUrl, localPath, storedPath, plainPath;
        for (int type : {kNoType, kHtml, kOctetStream}) {
            if (url.GetScheme() == SchemeFtp) {
                m_mapping.MapFtpUrlToLocal(url, localUrl, localPath, storedPath);
            } else {
                m_mapping.MapUrlToLocal(url, type, localUrl, localPath, storedPath);
            }
            EXPECT_TRUE(IsInsideDownloadFolder(localPath)) << localPath;
            EXPECT_TRUE(localPath.starts_with(hostFolder)) << localPath;
            std::string back;
            m_mapping.StoredToLocalPath(url, storedPath, back);
            EXPECT_EQ(back, localPath);
        }
        m_mapping.GetLocalPathOfUrl(url, plainPath);
        EXPECT_TRUE(IsInsideDownloadFolder(plainPath)) << plainPath;
    }
}

TEST(LocalFileMappingFolderTest, CreatesParentFoldersOnlyInsideTheDownloadFolder) {
    testing_support::TempFolder temp;
    const std::string folder = temp.File("site.files");
    const CLocalFileMapping mapping{CFilePath(folder)};
    std::string localUrl, localPath, storedPath;
    mapping.MapUrlToLocal(ParsedUrl("http://h/a/b/c.htm"), kHtml, localUrl, localPath, storedPath);
    EXPECT_TRUE(mapping.CreateParentFolder(localPath));
    EXPECT_TRUE(FolderExists(folder + "/h/a/b"));

    EXPECT_FALSE(mapping.CreateParentFolder(folder + "/h/../../escaped/x.htm"));
    EXPECT_FALSE(mapping.CreateParentFolder(temp.File("escaped/x.htm")));
    EXPECT_FALSE(std::filesystem::exists(temp.File("escaped")));
}

}  // namespace
