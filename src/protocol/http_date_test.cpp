#include "protocol/http_date.h"

#include <gtest/gtest.h>

#include <ctime>
#include <optional>

#include "support/scoped_env.h"

namespace {

// Switches the process's local time zone for one test and puts it back after.
class ScopedTimeZone {
public:
    explicit ScopedTimeZone(const char* zone) : m_env(std::in_place, "TZ", zone) { ::tzset(); }
    ~ScopedTimeZone() {
        m_env.reset();
        ::tzset();
    }
    ScopedTimeZone(const ScopedTimeZone&) = delete;
    ScopedTimeZone& operator=(const ScopedTimeZone&) = delete;

private:
    std::optional<testing_support::ScopedEnv> m_env;
};

struct DateCase {
    const char* text;
    std::int64_t expected;
};

// Dates in winter and in summer, and one whose clock reading falls in the hour
// that Central Europe skips in spring, so that any use of a local offset shows.
const DateCase kValidDates[] = {
    {"Sun, 06 Nov 1994 08:49:37 GMT", 784111777},
    {"Sunday, 06-Nov-94 08:49:37 GMT", 784111777},
    {"Sun Nov  6 08:49:37 1994", 784111777},
    {"Wed, 06 Jul 1994 08:49:37 GMT", 773484577},
    {"Wednesday, 06-Jul-94 08:49:37 GMT", 773484577},
    {"Wed Jul  6 08:49:37 1994", 773484577},
    {"Sun, 31 Mar 2024 02:30:00 GMT", 1711852200},
    {"Sun, 31 Mar 2024 01:30:00 GMT", 1711848600},
    {"Tue, 19 Jan 2038 03:14:08 GMT", 2147483648LL},
    {"Fri, 31 Dec 9999 23:59:59 GMT", 253402300799LL},
    {"Mon, 01 Jan 1900 00:00:00 GMT", -2208988800LL},
    {"Wed, 31 Dec 1969 23:59:59 GMT", -1},
    // The zone text is not read, and the weekday need not match the date.
    {"Mon, 06 Nov 1994 08:49:37 PST", 784111777},
    // Out-of-range fields roll over into the next unit.
    {"Sun, 31 Nov 1994 08:49:37 GMT", 784111777 + 25 * 86400},
    // Before 1900 the result is 0, also when a day 0 rolls back into 1899.
    {"Sun, 06 Nov 1899 08:49:37 GMT", 0},
    {"Mon, 00 Jan 1900 00:00:00 GMT", 0},
};

TEST(HttpDateTest, EveryLayoutGivesTheSameInstantInEveryTimeZone) {
    const char* zones[] = {
        "UTC",
        "Europe/Berlin",
        "America/Los_Angeles",
        // Opposite seasons to Berlin, so that whatever the season at test time
        // one zone is in summer time and one is not.
        "Australia/Sydney",
        "Australia/Lord_Howe",
    };
    for (const char* zone : zones) {
        ScopedTimeZone scoped(zone);
        for (const DateCase& c : kValidDates) {
            std::int64_t time = 12345;
            ASSERT_TRUE(ParseHttpDate(c.text, time)) << zone << ": " << c.text;
            EXPECT_EQ(time, c.expected) << zone << ": " << c.text;
        }
    }
}

// A zone far from UTC would show a local time written as GMT.
TEST(HttpDateTest, FormatsTheImfFixdate) {
    ScopedTimeZone scoped("Australia/Lord_Howe");
    const DateCase cases[] = {
        {"Sun, 06 Nov 1994 08:49:37 GMT", 784111777},
        {"Tue, 19 Jan 2038 03:14:08 GMT", 2147483648LL},
        {"Fri, 31 Dec 9999 23:59:59 GMT", 253402300799LL},
        {"Wed, 31 Dec 1969 23:59:59 GMT", -1},
        {"", 253402300800LL},
    };
    for (const DateCase& c : cases) {
        EXPECT_EQ(FormatHttpDate(c.expected), c.text);
    }
}

TEST(HttpDateTest, MalformedDatesFail) {
    const char* texts[] = {
        "",
        "Sun",
        "sun, 06 Nov 1994 08:49:37 GMT",
        "Sun, 06 nov 1994 08:49:37 GMT",
        "SUNDAY, 06-Nov-94 08:49:37 GMT",
        "Sun Nov  6 08:49:37 94x",
        "Sun, 06 Nov 199 08:49:37 GMT",
        "Sun, 06 Nov 19945 08:49:37 GMT",
        "Sun, 06 Nov 1994",
        "Sun, 06 Nov",
        "Sun, xx Nov 1994 08:49:37 GMT",
        "Sun, 06 Nov 1994 08:mm:37 GMT",
        "Sun Nov  6 08:49:37",
        "Sun Nov  6 08:49:37 19945",
        "Sun Nov",
        "Son, 06 Nov 1994 08:49:37 GMT",
        "Sun, 06 Now 1994 08:49:37 GMT",
        "1994-11-06T08:49:37Z",
        ",",
        " , ",
    };
    for (const char* text : texts) {
        std::int64_t time = 12345;
        EXPECT_FALSE(ParseHttpDate(text, time)) << text;
        EXPECT_EQ(time, 12345) << text;
    }
}

}  // namespace
