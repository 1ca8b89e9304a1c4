#include "protocol/ftp_reply.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

TEST(FtpReplyCode, ReadsThreeDigitsBeforeASpaceOrADash) {
    const std::vector<std::pair<std::string, std::optional<unsigned>>> cases = {
        {"220 Service ready\r\n", 220}, {"230-Welcome\r\n", 230},    {"550 \r\n", 550},
        {"22\r\n", std::nullopt},  // two characters: the CR sits where the space belongs
        {"22", std::nullopt},           {"", std::nullopt},          {"220\r\n", std::nullopt},
        {"2200 x\r\n", std::nullopt},   {"2x0 x\r\n", std::nullopt}, {" 220 x\r\n", std::nullopt},
    };
    for (const auto& [line, code] : cases) {
        EXPECT_EQ(ReadReplyCode(line), code) << line;
    }
}

TEST(FtpReplyCode, AMultiLineReplyEndsOnlyWithItsOwnCodeAndASpace) {
    const std::string first = "230-Welcome\r\n";
    EXPECT_TRUE(OpensMultiLineReply(first));
    EXPECT_FALSE(OpensMultiLineReply("230 Done\r\n"));
    EXPECT_TRUE(EndsMultiLineReply("230 Done\r\n", first));
    EXPECT_FALSE(EndsMultiLineReply("230-more\r\n", first));
    EXPECT_FALSE(EndsMultiLineReply("220 other code\r\n", first));
    EXPECT_FALSE(EndsMultiLineReply(" 230 indented\r\n", first));
    EXPECT_FALSE(EndsMultiLineReply("230", first));
}

struct PassiveCase {
    std::string reply;
    std::string host;  // empty: the reply does not parse
    int port;
};

TEST(FtpPassiveReply, GivesTheHostAndPortOfTheSixNumbers) {
    const std::vector<PassiveCase> cases = {
        {"227 Entering Passive Mode (192,0,2,10,19,137)\r\n", "192.0.2.10", 5001},
        {"227 Entering Passive Mode 127,0,0,1,255,255\r\n", "127.0.0.1", 65535},
        {"227 =10,0,,1,0,21", "10.0.0.1", 21},
        {"227 (1,2,3,4,5,)\r\n", "1.2.3.4", 1280},
        {"227 Entering Passive Mode\r\n", "", 0},
        {"227 (1,2,3,4,5)\r\n", "", 0},
        {"227 (1,2,3,4;5,6)\r\n", "", 0},
        {"227 (1,2,3,4,256,6)\r\n", "", 0},
        {"227 (1,2,3,4,5,99999999999999999999999)\r\n", "", 0},
        {"227", "", 0},
    };
    for (const PassiveCase& c : cases) {
        const auto address = ParsePassiveReply(c.reply);
        ASSERT_EQ(address.has_value(), !c.host.empty()) << c.reply;
        if (address) {
            EXPECT_EQ(address->GetHost(), c.host) << c.reply;
            EXPECT_EQ(address->GetPort(), c.port) << c.reply;
        }
    }
}

TEST(FtpSizeReply, IsTheDecimalAfterTheCode) {
    const std::vector<std::pair<std::string, std::optional<std::uint32_t>>> cases = {
        {"213 1000\r\n", 1000},
        {"213 0\r\n", 0},
        {"213 4294967295\r\n", 4294967295u},
        {"213 4294967296\r\n", std::nullopt},
        {"213 \r\n", std::nullopt},
        {"213 size unknown\r\n", std::nullopt},
        {"213", std::nullopt},
    };
    for (const auto& [reply, size] : cases) {
        EXPECT_EQ(ParseSizeReply(reply), size) << reply;
    }
}

TEST(FtpModificationTimeReply, IsTheUtcTimeToTheSecond) {
    const std::vector<std::pair<std::string, std::optional<std::int64_t>>> cases = {
        {"213 20200105093000\r\n", 1578216600},
        {"213 20200105093000.987\r\n", 1578216600},
        {"213 19700101000000", 0},
        {"213 20261231235960\r\n", 1798761600},
        {"213 2020010509300\r\n", std::nullopt},
        {"213 202001050930001\r\n", std::nullopt},
        {"213 20201305093000\r\n", std::nullopt},
        {"213 20200100093000\r\n", std::nullopt},
        {"213 20200105243000\r\n", std::nullopt},
        {"213 2020-01-05 09:30\r\n", std::nullopt},
        {"213", std::nullopt},
    };
    for (const auto& [reply, time] : cases) {
        EXPECT_EQ(ParseModificationTimeReply(reply), time) << reply;
    }
}

}  // namespace
