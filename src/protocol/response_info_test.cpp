#include "protocol/response_info.h"

#include <gtest/gtest.h>

#include "base/errors.h"
#include "support/memory_stream.h"

namespace {

using testing_support::ExpectedBytes;
using testing_support::MemoryStream;

TEST(ResponseInfoTest, StoresTimesAsLowWordsAndReadsThemSignExtended) {
    CResponseInfo info;
    info.valid = true;
    ASSERT_TRUE(info.url.Parse("http://h/a.htm"));
    info.reservedTimeBefore = 0x100000005;
    info.modificationTime = 0x1FFFFFFFE;  // low word 0xFFFFFFFE reads back as -2
    info.modificationTimeKnown = true;
    info.contentLength = 0xFFFFFFF0;
    info.contentLengthKnown = true;
    info.contentType = 3;
    info.contentTypeKnown = true;
    info.reservedFlag = true;
    MemoryStream stream;
    info.Store(stream);
    EXPECT_EQ(stream.Bytes(), ExpectedBytes()
                                  .Bool(true)
                                  .Str("http://h/a.htm")
                                  .Int(5)
                                  .Int(0xFFFFFFFE)
                                  .Int(0)
                                  .Int(0xFFFFFFF0)
                                  .Bool(true)
                                  .Int(3)
                                  .Bool(false)
                                  .Bool(true)
                                  .Bool(false)
                                  .Bool(true)
                                  .Bool(false)
                                  .Bool(true)
                                  .Bytes());

    MemoryStream input(stream.Bytes());
    CResponseInfo loaded;
    loaded.Load(input);
    EXPECT_TRUE(loaded.valid);
    EXPECT_EQ(loaded.url.GetSourceText(), "http://h/a.htm");
    EXPECT_EQ(loaded.reservedTimeBefore, 5);
    EXPECT_EQ(loaded.modificationTime, -2);
    EXPECT_EQ(loaded.contentLength, 0xFFFFFFF0u);
    EXPECT_TRUE(loaded.modificationTimeKnown && loaded.contentLengthKnown &&
                loaded.contentTypeKnown && loaded.reservedFlag);
    EXPECT_FALSE(loaded.reservedTimeBeforeKnown || loaded.reservedFlagKnown);
}

TEST(ResponseInfoTest, ClearedRecordRoundTripsAndTruncationFails) {
    const CResponseInfo cleared;
    MemoryStream stream;
    cleared.Store(stream);
    EXPECT_EQ(stream.Bytes().size(), 1 + 1 + 4 * 4 + 1 + 4 + 6u);

    CResponseInfo loaded;
    loaded.valid = true;
    ASSERT_TRUE(loaded.url.Parse("http://h/"));
    MemoryStream input(stream.Bytes());
    loaded.Load(input);
    EXPECT_FALSE(loaded.valid);
    EXPECT_FALSE(loaded.url.HasUrl());

    for (std::size_t length = 0; length < stream.Bytes().size(); ++length) {
        MemoryStream truncated(stream.Bytes().substr(0, length));
        CResponseInfo target;
        target.valid = true;
        try {
            target.Load(truncated);
            ADD_FAILURE() << "loaded from " << length << " bytes";
        } catch (const CStreamException& e) {
            EXPECT_EQ(e.GetCode(), ERR_STREAM_DATA);
        }
        EXPECT_TRUE(target.valid);
    }
}

}  // namespace
