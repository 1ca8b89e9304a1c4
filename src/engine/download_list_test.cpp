#include "engine/download_list.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "base/errors.h"
#include "support/memory_stream.h"
#include "support/parsed_url.h"

namespace {

using testing_support::ExpectedBytes;
using testing_support::MemoryStream;
using testing_support::ParsedUrl;

CLinkItem Item(const std::string& text, std::int32_t level = 0, bool internal = true) {
    return CLinkItem(ParsedUrl(text), level, internal);
}

std::string NextText(CDownloadList& list) {
    CLinkItem item;
    return list.Next(item) ? item.GetUrl().GetSourceText() : "<end>";
}

ResultCode LoadCode(CDownloadList& list, const std::string& bytes) {
    MemoryStream input(bytes);
    try {
        list.Load(input);
    } catch (const CStreamException& e) {
        return e.GetCode();
    }
    return ERR_SUCCESS;
}

std::string Stored(const CDownloadList& list) {
    MemoryStream stream;
    list.Store(stream);
    return stream.Bytes();
}

// Scheme and host name one server in any case; the path is the server's.
TEST(DownloadListTest, DuplicatesCountReferencesWhateverTheCaseOfSchemeAndHost) {
    CDownloadList list;
    EXPECT_TRUE(list.Add(Item("http://h/a", 1, true)));
    EXPECT_TRUE(list.Add(Item("http://h/a", 7, false)));
    EXPECT_TRUE(list.Add(Item("htTp://H/a")));
    EXPECT_TRUE(list.Add(Item("http://h:80/a")));
    EXPECT_TRUE(list.Add(Item("http://h/A")));
    ASSERT_EQ(list.GetCount(), 3u);
    const CDownloadEntry* first = list.Find(ParsedUrl("http://h/a"));
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(first->GetRefCount(), 3);
    EXPECT_EQ(first->GetLevel(), 1);  // a later find changes neither level nor flag
    EXPECT_TRUE(first->IsInternal());
    EXPECT_EQ(list.Find(ParsedUrl("HTTP://H/a")), first);
    EXPECT_EQ(list.Find(ParsedUrl("http://h/A"))->GetRefCount(), 1);
    EXPECT_FALSE(list.Add(CLinkItem()));  // nothing to fetch
    EXPECT_EQ(list.GetCount(), 3u);
}

TEST(DownloadListTest, CursorHandsOutInDiscoveryOrderAndPicksUpLateAdds) {
    CDownloadList list;
    EXPECT_EQ(NextText(list), "<end>");
    list.Add(Item("http://h/1"));
    EXPECT_EQ(NextText(list), "http://h/1");
    EXPECT_EQ(NextText(list), "<end>");
    list.Add(Item("http://h/1"));  // a duplicate is not handed out again
    EXPECT_EQ(NextText(list), "<end>");
    list.Add(Item("http://h/2"));
    list.Add(Item("http://h/3"));
    EXPECT_EQ(NextText(list), "http://h/2");
    list.Rewind();
    EXPECT_EQ(NextText(list), "http://h/1");

    CLinkItem item;
    list.Add(Item("http://h/4", 3, false));
    list.Rewind();
    for (int i = 0; i < 4; ++i) {
        ASSERT_TRUE(list.Next(item));
    }
    EXPECT_EQ(item.GetLevel(), 3);
    EXPECT_FALSE(item.IsInternal());

    list.Clear();
    EXPECT_EQ(list.GetCount(), 0u);
    EXPECT_EQ(NextText(list), "<end>");
    EXPECT_EQ(list.Find(ParsedUrl("http://h/1")), nullptr);
    list.Add(Item("http://h/1"));
    EXPECT_EQ(NextText(list), "http://h/1");
}

TEST(DownloadListTest, MarksAndLookups) {
    CDownloadList list;
    list.Add(Item("http://h/a"));
    const CUrl a = ParsedUrl("http://h/a");
    const CUrl missing = ParsedUrl("http://h/b");
    EXPECT_EQ(list.GetKnownModTime(a), -1);
    EXPECT_TRUE(list.MarkError(a, ERR_SOCKET_TIMEOUT));
    EXPECT_TRUE(list.SetRewritten(a, true));
    EXPECT_TRUE(list.MarkDone(a, "h/a.htm", 784111777, 512));
    const CDownloadEntry* entry = list.Find(a);
    EXPECT_EQ(entry->GetResultCode(), ERR_SUCCESS);
    EXPECT_FALSE(entry->IsRewritten());  // a new copy needs rewriting again
    EXPECT_EQ(list.GetKnownModTime(a), 784111777);
    EXPECT_EQ(list.GetStoredPath(a), "h/a.htm");
    EXPECT_EQ(entry->GetBytesReceived(), 512);

    EXPECT_FALSE(list.MarkDone(missing, "x", 1, 1));
    EXPECT_FALSE(list.MarkError(missing, 1));
    EXPECT_FALSE(list.SetRewritten(missing, true));
    EXPECT_EQ(list.GetStoredPath(missing), "");
    EXPECT_EQ(list.GetKnownModTime(missing), -1);
    EXPECT_EQ(list.GetCount(), 1u);
}

// A failed download removed the file it had cut: the entry must neither show
// it as saved nor let the next run take it for unchanged. A file the failure
// never touched (the URL now maps elsewhere) keeps its record.
TEST(DownloadListTest, AForgottenFileIsNoLongerSavedOrUnchanged) {
    CDownloadList list;
    list.Add(Item("http://h/a"));
    const CUrl a = ParsedUrl("http://h/a");
    list.MarkDone(a, "h/a.htm", 784111777, 512);
    EXPECT_FALSE(list.ForgetFile(a, "h/a.htm.htm"));
    EXPECT_EQ(list.GetStoredPath(a), "h/a.htm");
    EXPECT_TRUE(list.ForgetFile(a, "h/a.htm"));
    EXPECT_EQ(list.GetStoredPath(a), "");
    EXPECT_EQ(list.GetKnownModTime(a), -1);
    EXPECT_EQ(list.GetStats().bytes, 0);
}

TEST(DownloadListTest, Stats) {
    CDownloadList list;
    CDownloadList::Stats stats = list.GetStats();
    EXPECT_EQ(stats.queued, 0u);
    EXPECT_EQ(stats.requested, 0u);
    EXPECT_EQ(stats.written, 0u);
    EXPECT_EQ(stats.bytes, 0);

    for (const char* text : {"http://h/1", "http://h/2", "http://h/3"}) {
        list.Add(Item(text));
    }
    list.MarkDone(ParsedUrl("http://h/1"), "h/1", -1, 0x7FFFFFFF);
    list.MarkDone(ParsedUrl("http://h/3"), "h/3", -1, 0x7FFFFFFF);
    NextText(list);
    stats = list.GetStats();
    EXPECT_EQ(stats.queued, 3u);
    EXPECT_EQ(stats.requested, 1u);
    EXPECT_EQ(stats.written, 2u);
    EXPECT_EQ(stats.bytes, 2 * 0x7FFFFFFFll);  // the sum does not wrap
    while (NextText(list) != "<end>") {
    }
    EXPECT_EQ(list.GetStats().requested, 3u);

    // The sums follow a file saved again, forgotten, loaded and cleared.
    list.MarkDone(ParsedUrl("http://h/1"), "h/1", -1, 10);
    list.ForgetFile(ParsedUrl("http://h/3"), "h/3");
    list.MarkDone(ParsedUrl("http://h/2"), "h/2", -1, 5);
    MemoryStream stream;
    list.Store(stream);
    stream.Seek(0, CStream::kBegin);
    CDownloadList loaded;
    loaded.Load(stream);
    for (const CDownloadList* sums : {&list, &loaded}) {
        EXPECT_EQ(sums->GetStats().written, 2u);
        EXPECT_EQ(sums->GetStats().bytes, 15);
    }
    loaded.Clear();
    EXPECT_EQ(loaded.GetStats().written, 0u);
    EXPECT_EQ(loaded.GetStats().bytes, 0);
}

TEST(DownloadListTest, ViewAndRewriteIterationsLeaveTheCrawlCursorAlone) {
    CDownloadList list;
    for (const char* text : {"http://h/1", "http://h/2", "http://h/3", "http://h/4"}) {
        list.Add(Item(text));
    }
    list.MarkDone(ParsedUrl("http://h/2"), "h/2", -1, 1);
    list.MarkDone(ParsedUrl("http://h/3"), "h/3", -1, 1);
    list.MarkDone(ParsedUrl("http://h/4"), "h/4", -1, 1);
    list.SetRewritten(ParsedUrl("http://h/3"), true);
    list.MarkError(ParsedUrl("http://h/1"), ERR_HTTP_CLIENT_ERROR);
    NextText(list);

    std::vector<std::string> seen;
    list.RewindView();
    while (const CDownloadEntry* entry = list.NextViewEntry()) {
        seen.push_back(entry->GetUrlText());
    }
    EXPECT_EQ(seen,
              (std::vector<std::string>{"http://h/1", "http://h/2", "http://h/3", "http://h/4"}));

    EXPECT_EQ(list.CountToRewrite(), 2u);
    std::vector<std::string> toRewrite;
    list.RewindView();
    while (const CDownloadEntry* entry = list.NextToRewrite()) {
        toRewrite.push_back(entry->GetStoredPath());
    }
    EXPECT_EQ(toRewrite, (std::vector<std::string>{"h/2", "h/4"}));
    EXPECT_EQ(NextText(list), "http://h/2");
}

TEST(DownloadListTest, StoresOneEntryInItsExactLayout) {
    CDownloadList list;
    list.Add(Item("http://h/a b", 2, false));
    list.Add(Item("http://h/a b"));
    list.MarkDone(ParsedUrl("http://h/a b"), "h/a b.htm", -2, 300, PageWriting::OwnMarkupUtf8);
    list.MarkError(ParsedUrl("http://h/a b"), 0x30010002);
    list.SetRewritten(ParsedUrl("http://h/a b"), true);
    const std::string expected = ExpectedBytes()
                                     .Int(1)
                                     .Str("http://h/a b")  // the source text, not the printed form
                                     .Int(2)
                                     .Bool(false)
                                     .Str("h/a b.htm")
                                     .Int(0xFFFFFFFE)
                                     .Int(0x30010002)
                                     .Int(300)
                                     .Int(2)
                                     .Bool(true)
                                     .Int(0)
                                     .Bytes();
    EXPECT_EQ(Stored(list), expected);
    // How the page was written holds for the run that wrote it only.
    CDownloadList loaded;
    ASSERT_EQ(LoadCode(loaded, expected), ERR_SUCCESS);
    EXPECT_EQ(list.Find(ParsedUrl("http://h/a b"))->GetPageWriting(), PageWriting::OwnMarkupUtf8);
    EXPECT_EQ(loaded.Find(ParsedUrl("http://h/a b"))->GetPageWriting(), PageWriting::Unknown);
}

TEST(DownloadListTest, EmptyListStoresTwoZeros) {
    CDownloadList list;
    EXPECT_EQ(Stored(list), ExpectedBytes().Int(0).Int(0).Bytes());
    CDownloadList loaded;
    loaded.Add(Item("http://h/old"));
    EXPECT_EQ(LoadCode(loaded, Stored(list)), ERR_SUCCESS);
    EXPECT_EQ(loaded.GetCount(), 0u);
}

TEST(DownloadListTest, CursorSurvivesStoreAndLoad) {
    const struct {
        int handedOut;
        std::uint32_t storedCursor;
        const char* next;
    } cases[] = {{0, 0, "http://h/0"}, {1, 1, "http://h/1"}, {3, 3, "<end>"}};
    for (const auto& c : cases) {
        CDownloadList list;
        for (int i = 0; i < 3; ++i) {
            list.Add(Item("http://h/" + std::to_string(i)));
        }
        for (int i = 0; i < c.handedOut; ++i) {
            NextText(list);
        }
        const std::string bytes = Stored(list);
        ASSERT_GE(bytes.size(), 4u);
        EXPECT_EQ(bytes.substr(bytes.size() - 4), ExpectedBytes().Int(c.storedCursor).Bytes());
        CDownloadList loaded;
        ASSERT_EQ(LoadCode(loaded, bytes), ERR_SUCCESS);
        EXPECT_EQ(NextText(loaded), c.next) << c.handedOut;
        if (c.handedOut == 3) {
            loaded.Add(Item("http://h/late"));
            EXPECT_EQ(NextText(loaded), "http://h/late");
        }
    }
}

TEST(DownloadListTest, CursorBeyondTheEntriesLoadsAtEnd) {
    CDownloadList list;
    list.Add(Item("http://h/a"));
    std::string bytes = Stored(list);
    bytes.replace(bytes.size() - 4, 4, ExpectedBytes().Int(0xFFFFFFFF).Bytes());
    CDownloadList loaded;
    ASSERT_EQ(LoadCode(loaded, bytes), ERR_SUCCESS);
    EXPECT_EQ(NextText(loaded), "<end>");
    EXPECT_EQ(loaded.GetStats().requested, 1u);
}

TEST(DownloadListTest, ManyEntriesRoundTrip) {
    CDownloadList list;
    constexpr int kCount = 3000;
    for (int i = 0; i < kCount; ++i) {
        const std::string text = "http://host" + std::to_string(i % 7) + "/p/" + std::to_string(i);
        list.Add(Item(text, i % 5, i % 3 == 0));
        if (i % 4 == 0) {
            list.MarkDone(ParsedUrl(text), "host/p/" + std::to_string(i), i * 1000, i);
        }
        if (i % 6 == 0) {
            list.MarkError(ParsedUrl(text), ERR_SOCKET_CONNECT);
        }
        if (i % 8 == 0) {
            list.SetRewritten(ParsedUrl(text), true);
            list.Add(Item(text));
        }
    }
    for (int i = 0; i < kCount / 2; ++i) {
        NextText(list);
    }
    const std::string bytes = Stored(list);
    CDownloadList loaded;
    ASSERT_EQ(LoadCode(loaded, bytes), ERR_SUCCESS);
    EXPECT_EQ(Stored(loaded), bytes);

    list.RewindView();
    loaded.RewindView();
    while (const CDownloadEntry* expected = list.NextViewEntry()) {
        const CDownloadEntry* actual = loaded.NextViewEntry();
        ASSERT_NE(actual, nullptr);
        EXPECT_EQ(actual->GetUrlText(), expected->GetUrlText());
        EXPECT_EQ(actual->GetLevel(), expected->GetLevel());
        EXPECT_EQ(actual->IsInternal(), expected->IsInternal());
        EXPECT_EQ(actual->GetStoredPath(), expected->GetStoredPath());
        EXPECT_EQ(actual->GetModificationTime(), expected->GetModificationTime());
        EXPECT_EQ(actual->GetResultCode(), expected->GetResultCode());
        EXPECT_EQ(actual->GetBytesReceived(), expected->GetBytesReceived());
        EXPECT_EQ(actual->GetRefCount(), expected->GetRefCount());
        EXPECT_EQ(actual->IsRewritten(), expected->IsRewritten());
    }
    EXPECT_EQ(loaded.NextViewEntry(), nullptr);
    // The index was rebuilt: lookups and duplicates work on the loaded list.
    EXPECT_EQ(loaded.GetKnownModTime(ParsedUrl("http://host4/p/4")), 4000);
    loaded.Add(Item("http://host1/p/1"));
    EXPECT_EQ(loaded.GetCount(), static_cast<std::size_t>(kCount));
    EXPECT_EQ(NextText(loaded), "http://host" + std::to_string(1500 % 7) + "/p/1500");
}

// A project file of an earlier version lists a URL once per spelling of its
// host; each spelling now names the same entry, which keeps the saved file.
TEST(DownloadListTest, RecordsThatSpellOneUrlApartLoadAsOneEntry) {
    const auto record = [](const char* url, const char* storedPath, std::int32_t refs) {
        return ExpectedBytes()
            .Str(url)
            .Int(1)
            .Bool(true)
            .Str(storedPath)
            .Int(7)
            .Int(0)
            .Int(100)
            .Int(static_cast<std::uint32_t>(refs))
            .Bool(true)
            .Bytes();
    };
    const std::string bytes = ExpectedBytes().Int(5).Bytes() + record(" http://H/a", "", 1) +
                              record("http://h/b", "h/b.htm", 1) +
                              record("HTTP://h/a", "H/a.htm", 2) + record("http://h/a", "", 1) +
                              record("http://h/c", "", 1) + ExpectedBytes().Int(4).Bytes();
    CDownloadList list;
    ASSERT_EQ(LoadCode(list, bytes), ERR_SUCCESS);
    ASSERT_EQ(list.GetCount(), 3u);
    const CDownloadEntry* a = list.Find(ParsedUrl("http://h/a"));
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(a->GetUrlText(), "http://h/a");
    EXPECT_EQ(a->GetStoredPath(), "H/a.htm");
    EXPECT_EQ(a->GetRefCount(), 4);
    // Four records had been handed out, two entries now.
    EXPECT_EQ(NextText(list), "http://h/c");
}

TEST(DownloadListTest, BadRecordsFailTheLoadAndKeepTheList) {
    const auto tail = [](std::uint32_t bytesReceived) {
        return ExpectedBytes()
            .Int(0)
            .Bool(true)
            .Str("")
            .Int(0xFFFFFFFF)
            .Int(0)
            .Int(bytesReceived)
            .Int(1)
            .Bool(false)
            .Bytes();
    };
    const std::string entryTail = tail(0);
    const struct {
        const char* what;
        std::string bytes;
    } cases[] = {
        {"unparsable URL", ExpectedBytes().Int(1).Str("not a url").Bytes() + entryTail +
                               ExpectedBytes().Int(0).Bytes()},
        {"empty URL",
         ExpectedBytes().Int(1).Str("").Bytes() + entryTail + ExpectedBytes().Int(0).Bytes()},
        {"string without terminator", ExpectedBytes().Int(1).Bytes() + std::string(1024, 'a')},
        {"huge count", ExpectedBytes().Int(0xFFFFFFFF).Bytes()},
        {"negative byte count", ExpectedBytes().Int(1).Str("http://h/a").Bytes() +
                                    tail(0xFFFFFFFF) + ExpectedBytes().Int(0).Bytes()},
    };
    for (const auto& c : cases) {
        CDownloadList list;
        list.Add(Item("http://h/kept"));
        EXPECT_EQ(LoadCode(list, c.bytes), ERR_STREAM_DATA) << c.what;
        EXPECT_EQ(list.GetCount(), 1u) << c.what;
        EXPECT_NE(list.Find(ParsedUrl("http://h/kept")), nullptr) << c.what;
    }
}

TEST(DownloadListTest, TruncatedOrScrambledDataNeverLoadsHalfway) {
    CDownloadList list;
    list.Add(Item("http://h/a"));
    list.Add(Item("ftp://f/b.zip", 1, false));
    list.MarkDone(ParsedUrl("http://h/a"), "h/a", 5, 6);
    const std::string bytes = Stored(list);
    for (std::size_t length = 0; length < bytes.size(); ++length) {
        CDownloadList loaded;
        EXPECT_EQ(LoadCode(loaded, bytes.substr(0, length)), ERR_STREAM_DATA) << length;
        EXPECT_EQ(loaded.GetCount(), 0u);
    }
    std::mt19937 random(20261207);
    for (int round = 0; round < 2000; ++round) {
        std::string scrambled = bytes;
        scrambled[random() % scrambled.size()] = static_cast<char>(random());
        CDownloadList loaded;
        const ResultCode code = LoadCode(loaded, scrambled);
        EXPECT_TRUE(code == ERR_SUCCESS || code == ERR_STREAM_DATA) << code;
    }
}

}  // namespace
