#include "engine/download_task.h"

#include <gtest/gtest.h>

#include <string>

#include "support/memory_stream.h"
#include "support/parsed_url.h"

namespace {

using testing_support::ExpectedBytes;
using testing_support::MemoryStream;
using testing_support::ParsedUrl;

CDownloadTask FilledTask() {
    CDownloadTask task;
    task.item = CLinkItem(ParsedUrl("http://h/d/p.html"), 4, false);
    task.followLinks = false;
    task.response.valid = true;
    task.response.url = ParsedUrl("http://h/d/q.html");
    task.response.modificationTime = 0x1'2345'6789LL;
    task.response.modificationTimeKnown = true;
    task.response.contentLength = 4321;
    task.response.contentLengthKnown = true;
    task.response.contentType = 3;
    task.response.contentTypeKnown = true;
    task.localUrl = "http://h/d/q.html";
    task.localPath = "/dl/h/d/q.html";
    task.storedPath = "h/d/q.html";
    task.bytesReceived = 1000;
    task.knownModificationTime = -1;
    task.success = true;
    task.resultCode = ERR_PAGE_NOT_PARSED;
    return task;
}

TEST(DownloadTaskTest, StoresTheRecordFieldByField) {
    MemoryStream stream;
    FilledTask().Store(stream);
    const std::string expected = ExpectedBytes()
                                     .Str("http://h/d/p.html")
                                     .Int(4)
                                     .Bool(false)
                                     .Bool(false)
                                     // the response summary
                                     .Bool(true)
                                     .Str("http://h/d/q.html")
                                     .Int(0)
                                     .Int(0x23456789)  // the low 32 bits of the time
                                     .Int(0)
                                     .Int(4321)
                                     .Bool(false)
                                     .Int(3)
                                     .Bool(false)
                                     .Bool(true)
                                     .Bool(false)
                                     .Bool(true)
                                     .Bool(false)
                                     .Bool(true)
                                     // the task's own fields
                                     .Str("http://h/d/q.html")
                                     .Str("/dl/h/d/q.html")
                                     .Str("h/d/q.html")
                                     .Int(1000)
                                     .Int(0xFFFFFFFF)
                                     .Bool(true)
                                     .Int(0x30010002)
                                     .Bytes();
    EXPECT_EQ(stream.Bytes(), expected);
}

TEST(DownloadTaskTest, LoadsWhatItStored) {
    MemoryStream stream;
    FilledTask().Store(stream);
    stream.Seek(0, CStream::kBegin);
    CDownloadTask loaded;
    loaded.Load(stream);
    const CDownloadTask original = FilledTask();
    EXPECT_EQ(loaded.item.GetUrl().GetSourceText(), "http://h/d/p.html");
    EXPECT_EQ(loaded.item.GetLevel(), 4);
    EXPECT_FALSE(loaded.item.IsInternal());
    EXPECT_FALSE(loaded.followLinks);
    EXPECT_EQ(loaded.response.url.GetSourceText(), "http://h/d/q.html");
    EXPECT_EQ(loaded.response.modificationTime, 0x23456789);
    EXPECT_EQ(loaded.response.contentLength, 4321u);
    EXPECT_EQ(loaded.localPath, original.localPath);
    EXPECT_EQ(loaded.storedPath, original.storedPath);
    EXPECT_EQ(loaded.bytesReceived, 1000);
    EXPECT_EQ(loaded.knownModificationTime, -1);
    EXPECT_TRUE(loaded.success);
    EXPECT_EQ(loaded.resultCode, ERR_PAGE_NOT_PARSED);
}

TEST(DownloadTaskTest, ATruncatedOrDamagedRecordFailsAndChangesNothing) {
    MemoryStream full;
    FilledTask().Store(full);
    std::string damagedUrl = full.Bytes();
    damagedUrl.replace(0, 4, "zz:/");  // a URL that does not parse
    CDownloadTask negative = FilledTask();
    negative.bytesReceived = -1;
    MemoryStream negativeCount;
    negative.Store(negativeCount);
    for (const std::string& bytes :
         {full.Bytes().substr(0, full.Bytes().size() - 1), full.Bytes().substr(0, 30), damagedUrl,
          negativeCount.Bytes()}) {
        CDownloadTask task;
        task.item = CLinkItem(ParsedUrl("http://keep/"), 1, true);
        MemoryStream input(bytes);
        try {
            task.Load(input);
            ADD_FAILURE() << "no exception";
        } catch (const CStreamException& e) {
            EXPECT_EQ(e.GetCode(), ERR_STREAM_DATA);
        }
        EXPECT_EQ(task.item.GetUrl().GetSourceText(), "http://keep/");
    }
}

TEST(DownloadTaskTest, ClearedTaskHoldsNoUrlAndFollowsLinks) {
    CDownloadTask task = FilledTask();
    EXPECT_TRUE(task.HasUrl());
    task.Clear();
    EXPECT_FALSE(task.HasUrl());
    EXPECT_TRUE(task.followLinks);
    EXPECT_FALSE(task.success);
    EXPECT_EQ(task.bytesReceived, 0);
    EXPECT_EQ(task.knownModificationTime, -1);
    EXPECT_TRUE(task.localPath.empty());
}

TEST(DownloadTaskTest, RemoveFragmentCutsAtTheFirstHash) {
    const struct {
        const char* input;
        const char* expected;
    } cases[] = {
        {"http://h/a.html#top", "http://h/a.html"},
        {"http://h/a?q=1#x#y", "http://h/a?q=1"},
        {"http://h/#", "http://h/"},
        {"http://h/plain", "http://h/plain"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(RemoveFragment(ParsedUrl(c.input)).GetSourceText(), c.expected) << c.input;
    }
    EXPECT_FALSE(RemoveFragment(CUrl()).HasUrl());
}

}  // namespace
