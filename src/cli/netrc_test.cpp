#include "cli/netrc.h"

#include <gtest/gtest.h>

#include "support/scoped_env.h"

namespace {

using testing_support::ScopedEnv;

// "login:password", or "none".
std::string Lookup(const char* text, const char* host, const char* login = "") {
    NetrcCredentials found;
    return FindNetrcCredentials(text, host, login, found) ? found.login + ":" + found.password
                                                          : "none";
}

TEST(NetrcTest, FindsTheEntryForTheHost) {
    const struct {
        const char* text;
        const char* host;
        const char* login;
        const char* expected;
    } cases[] = {
        {"machine a.x login ann password pw", "a.x", "", "ann:pw"},
        {"machine a.x login ann password pw", "A.X", "", "ann:pw"},
        {"machine a.x login ann password pw", "b.x", "", "none"},
        // Tokens may spread over lines and come in any order.
        {"machine a.x\n\tpassword pw\n\tlogin ann\n", "a.x", "", "ann:pw"},
        {"machine a.x login ann password pw machine b.x login bob password qq", "b.x", "",
         "bob:qq"},
        // The first entry for the host wins, unless a login is asked for.
        {"machine a.x login ann password 1 machine a.x login bob password 2", "a.x", "", "ann:1"},
        {"machine a.x login ann password 1 machine a.x login bob password 2", "a.x", "bob",
         "bob:2"},
        {"machine a.x login ann password 1", "a.x", "bob", "none"},
        // default stands for every host that no machine names.
        {"machine a.x login ann password 1 default login anonymous password me@", "c.x", "",
         "anonymous:me@"},
        // Quoted values hold blanks and escapes.
        {"machine a.x login \"ann b\" password \"p w\\\"\\\\x\"", "a.x", "", "ann b:p w\"\\x"},
        {"machine a.x login ann password \"tab\\there\"", "a.x", "", "ann:tab\there"},
        // A macro's body is skipped up to the empty line; account values too.
        {"macdef init\nmachine a.x login evil password evil\n\nmachine a.x account acc login "
         "ann password pw",
         "a.x", "", "ann:pw"},
        // An entry without a password gives nothing; nor does a cut-off file.
        {"machine a.x login ann", "a.x", "", "none"},
        {"machine a.x login ann password", "a.x", "", "none"},
        {"machine a.x login ann password \"unterminated", "a.x", "", "ann:unterminated"},
        {"", "a.x", "", "none"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Lookup(c.text, c.host, c.login), c.expected) << c.text;
    }
}

TEST(NetrcTest, TheFileIsInTheHomeFolder) {
    {
        const ScopedEnv home("HOME", "/home/ann");
        EXPECT_EQ(NetrcPath(), "/home/ann/.netrc");
    }
    const ScopedEnv none("HOME", nullptr);
    EXPECT_EQ(NetrcPath(), "");
}

}  // namespace
