#include "protocol/ftp_list_entry.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// 2024-06-15 12:00:00 UTC: the moment every listing below is read at.
constexpr std::int64_t kNow = 1718452800;
using P = FtpTimePrecision;

struct ParsedLine {
    std::string line;
    std::string name;
    std::uint32_t size;
    bool isDirectory;
    std::int64_t listedTime;
    FtpTimePrecision precision;
};

void PrintTo(const ParsedLine& c, std::ostream* os) {
    *os << '"' << c.line << '"';
}

class ParsedListLineTest : public testing::TestWithParam<ParsedLine> {};

TEST_P(ParsedListLineTest, GivesNameSizeKindAndListedTime) {
    const ParsedLine& c = GetParam();
    CFtpListEntry entry;
    ASSERT_TRUE(ParseListLine(c.line, entry, kNow));
    EXPECT_EQ(entry.name, c.name);
    EXPECT_EQ(entry.size, c.size);
    EXPECT_EQ(entry.isDirectory, c.isDirectory);
    EXPECT_EQ(entry.listedTime, c.listedTime);
    EXPECT_EQ(entry.listedPrecision, c.precision);
    // Only an exact time may decide whether a file changed.
    EXPECT_EQ(entry.modificationTime, c.precision == P::Exact ? c.listedTime : -1);
}

INSTANTIATE_TEST_SUITE_P(
    Eplf, ParsedListLineTest,
    testing::Values(
        ParsedLine{"+i8388621.48594,m825718503,r,s280,\tdjb.html\r\n", "djb.html", 280, false,
                   825718503, P::Exact},
        ParsedLine{"+i8388621.29609,m824255902,/,\tdev", "dev", 0, true, 824255902, P::Exact},
        ParsedLine{"+s100,\tname with spaces\r\n", "name with spaces", 100, false, -1, P::Unknown},
        ParsedLine{"+m12x,s99999999999,\tbad facts", "bad facts", 0xFFFFFFFF, false, -1,
                   P::Unknown},
        ParsedLine{"  \t+m0,\tepoch", "epoch", 0, false, 0, P::Exact}));

INSTANTIATE_TEST_SUITE_P(
    Unix, ParsedListLineTest,
    testing::Values(
        // A time of day: the year is this one, the year before, or the next.
        ParsedLine{"-rw-r--r--   1 owner group      1234 Jan  5 12:34 notes.txt\r\n", "notes.txt",
                   1234, false, 1704458040, P::Minute},
        ParsedLine{"-rw-r--r--   1 owner group  10 Dec 20 10:00 old", "old", 10, false, 1703066400,
                   P::Minute},
        ParsedLine{"-rw-r--r--   1 owner group  10 Jun 20 12:00 skewed", "skewed", 10, false,
                   1718884800, P::Minute},
        // Exactly 350 days before now is no longer recent; a minute later is.
        ParsedLine{"-rw-r--r--   1 owner group  1 Jul  1 12:00 edge", "edge", 1, false, 1719835200,
                   P::Minute},
        ParsedLine{"-rw-r--r--   1 owner group  1 jul  1 12:01 edge", "edge", 1, false, 1688212860,
                   P::Minute},
        ParsedLine{"drwxr-xr-x   2 owner group      4096 Mar 12  2019 pub", "pub", 4096, true,
                   1552348800, P::Day},
        ParsedLine{"lrwxrwxrwx   1 owner group   11 Feb 29  2020 latest -> pub/v2.tar", "latest",
                   11, false, 1582934400, P::Day},
        ParsedLine{"-rw-r--r--   1 owner group  5 Jan  5  2020  leading", " leading", 5, false,
                   1578182400, P::Day},
        ParsedLine{"-rw-r--r--   1 owner group  5 Jan  5  2020 a -> b", "a -> b", 5, false,
                   1578182400, P::Day},
        ParsedLine{"-rw-r--r--   1 ftp   512 Nov  3 2001 no group", "no group", 512, false,
                   1004745600, P::Day},
        ParsedLine{"-rw-r--r--   1 jan dec 77 Oct 9 2010 f", "f", 77, false, 1286582400, P::Day},
        ParsedLine{"crw-rw-rw-   1 root root   1,   3 Jan  1  2000 null", "null", 3, false,
                   946684800, P::Day},
        // NetWare and NetPresenz pad names with three extra spaces.
        ParsedLine{"d [R----F--] supervisor            512       Jan 16 18:53    login", "login",
                   512, true, 1705431180, P::Minute},
        ParsedLine{"-[R----F--] owner 100 Jan 16 2000    notes", "notes", 100, false, 947980800,
                   P::Day},
        ParsedLine{"-------r--         326  1391972  1392298 Nov 22  1995 MegaPhone.sit",
                   "MegaPhone.sit", 1392298, false, 816998400, P::Day}));

INSTANTIATE_TEST_SUITE_P(
    MultiNet, ParsedListLineTest,
    testing::Values(ParsedLine{"CORE.DIR;1          1  8-SEP-1996 16:09 [SYSTEM] (RWE,RWE,RE,RE)",
                               "CORE", 0, true, 842198940, P::Minute},
                    ParsedLine{
                        "00README.TXT;1      2 30-DEC-1996 17:44:02 [SYSTEM] (RWED,RWED,RE,RE)\r\n",
                        "00README.TXT", 0, false, 851967840, P::Minute}));

INSTANTIATE_TEST_SUITE_P(
    MsDos, ParsedListLineTest,
    testing::Values(ParsedLine{"04-27-00  09:09PM       <DIR>          licensed", "licensed", 0,
                               true, 956869740, P::Minute},
                    ParsedLine{"04-14-99  12:47AM                  589 read me.htm\r\n",
                               "read me.htm", 589, false, 924050820, P::Minute},
                    ParsedLine{"11-05-2021  12:00pm   42 new.txt", "new.txt", 42, false, 1636113600,
                               P::Minute}));

class UnparsedListLineTest : public testing::TestWithParam<std::string> {};

TEST_P(UnparsedListLineTest, IsRefused) {
    CFtpListEntry entry;
    EXPECT_FALSE(ParseListLine(GetParam(), entry, kNow));
}

INSTANTIATE_TEST_SUITE_P(
    Lines, UnparsedListLineTest,
    testing::Values("", "\r\n", " \t ", "total 1234\r\n", "+i1.2,m1", "+m1,\t",
                    "drwxr-xr-x 2 owner group 4096 Foo 12 2019 x",
                    "-rw-r--r-- 1 o g 5 Jan 32 2019 x", "-rw-r--r-- 1 o g 5 Jan 0 2019 x",
                    "-rw-r--r-- 1 o g 5 Jan 5 25:00 x", "-rw-r--r-- 1 o g 5 Jan 5 12:5 x",
                    "-rw-r--r-- 1 o g 5 Jan 5 2019", "-rw-r--r-- 1 o g 5 Jan 5 2019 ",
                    "-rw-r--r-- 1 o g x5 Jan 5 2019 name", "lrwxrwxrwx 1 o g 5 Jan 5 2019  -> t",
                    "BROKEN.TXT;1 2 30-XYZ-1996 17:44", ";1 2 30-DEC-1996 17:44",
                    "NOTIME.TXT;1 2 30-DEC-1996", "13-01-00 09:09PM 5 x", "04-27-00 09:09 5 x",
                    "04-27-00 13:09PM 5 x", "04-27-00 09:09PM 5", "04-27-00 09:09PM 5x name",
                    "04-27-200 09:09PM 5 name", "Jan 5 2019 name"));

TEST(ListYearInference, LooksBackAcrossTheTurnOfTheYear) {
    // 2024-01-01 00:30 UTC: a file listed as Dec 31 23:00 was written last year.
    CFtpListEntry entry;
    ASSERT_TRUE(ParseListLine("-rw-r--r-- 1 o g 5 Dec 31 23:00 x", entry, 1704069000));
    EXPECT_EQ(entry.listedTime, 1704063600);
}

struct CivilDay {
    std::int64_t year;
    int month;
    int day;
    std::int64_t days;
};

TEST(DaysSinceEpoch, CountsTheProlepticGregorianCalendar) {
    const std::vector<CivilDay> cases = {
        {1970, 1, 1, 0},      {1969, 12, 31, -1},    {2000, 2, 29, 11016}, {2000, 3, 1, 11017},
        {1900, 3, 1, -25508}, {1600, 1, 1, -135140}, {1, 1, 1, -719162},   {2400, 12, 31, 157419},
    };
    for (const CivilDay& c : cases) {
        EXPECT_EQ(DaysSinceEpoch(c.year, c.month, c.day), c.days)
            << c.year << '-' << c.month << '-' << c.day;
    }
}

}  // namespace
