#include "engine/journal_replay.h"

#include <gtest/gtest.h>

#include <deque>
#include <string>
#include <utility>
#include <vector>

#include "support/parsed_url.h"

namespace {

using testing_support::ParsedUrl;

std::string Url(int n) {
    return "http://h/" + std::to_string(n);
}

CDownloadTask Task(int n, std::int32_t bytes = 0) {
    CDownloadTask task;
    task.item = CLinkItem(ParsedUrl(Url(n)), 1, true);
    task.bytesReceived = bytes;
    task.localPath = bytes > 0 ? "/dl/" + std::to_string(n) : "";
    return task;
}

CJournalEntry Record(JournalRecord type, std::string payload = {}) {
    return {type, std::move(payload), 0};
}

CJournalEntry Added(int n) {
    CStringStream payload;
    payload << Url(n) << std::int32_t{2} << true;
    return Record(JournalRecord::Added, payload.Bytes());
}

CJournalEntry Referenced(std::uint32_t index) {
    CStringStream payload;
    payload << index;
    return Record(JournalRecord::Referenced, payload.Bytes());
}

CJournalEntry Saved(int n) {
    CDownloadTask task = Task(n, 9);
    task.success = true;
    task.storedPath = "saved/" + std::to_string(n);
    return Record(JournalRecord::Collected, CollectedRecord(task, 1700000000, false));
}

CJournalEntry Requeued(int n, std::int32_t bytes) {
    CDownloadTask task = Task(n, bytes);
    task.resultCode = ERR_ATTEMPT_INTERRUPTED;
    return Record(JournalRecord::Collected, CollectedRecord(task, -1, true));
}

CJournalEntry Progress(int n, std::int32_t bytes) {
    CStringStream payload;
    Task(n, bytes).Store(payload);
    return Record(JournalRecord::Progress, payload.Bytes());
}

CJournalEntry TakenFromQueue(int n) {
    CStringStream payload;
    payload << Url(n);
    return Record(JournalRecord::TakenFromQueue, payload.Bytes());
}

CJournalEntry State(ProjectRunState state) {
    CStringStream payload;
    payload << static_cast<std::int32_t>(state);
    return Record(JournalRecord::State, payload.Bytes());
}

using Queue = std::vector<std::pair<std::string, std::int32_t>>;

// The project file's crawl: URLs 0 to 3 listed, 0 and 1 handed out, 0 saved,
// and 1 under way when it was saved (so queued, 100 bytes in).
struct Base {
    Base() {
        for (int n = 0; n < 4; ++n) {
            list.Add(Url(n), 1, true);
        }
        CLinkItem item;
        list.Next(item);
        list.Next(item);
        list.MarkDone(ParsedUrl(Url(0)), "saved/0", 1, 1);
        queue.push_back(Task(1, 100));
    }
    Queue QueueNow() const {
        Queue now;
        for (const CDownloadTask& task : queue) {
            now.emplace_back(task.item.GetUrl().GetSourceText(), task.bytesReceived);
        }
        return now;
    }

    CDownloadList list;
    std::deque<CDownloadTask> queue;
    ProjectRunState state = Paused;
};

TEST(JournalReplayTest, TheJournalIsMadeAgainOverTheProjectFilesCrawl) {
    struct Case {
        const char* name;
        std::vector<CJournalEntry> records;
        std::size_t made;
        Queue queue;
        std::size_t requested;
        std::vector<std::string> saved;
        ProjectRunState state = Paused;
    };
    const std::string u1 = Url(1), u2 = Url(2);
    const std::vector<Case> cases{
        {"nothing", {}, 0, {{u1, 100}}, 2, {Url(0)}},
        {"handed out and lost: fetched first",
         {Record(JournalRecord::HandedOut)},
         1,
         {{u2, 0}, {u1, 100}},
         3,
         {Url(0)}},
        {"saved settles the task the file held", {Saved(1)}, 1, {}, 2, {Url(0), u1}},
        {"taken from the queue and saved", {TakenFromQueue(1), Saved(1)}, 2, {}, 2, {Url(0), u1}},
        {"progress tells where a cut file ends",
         {Record(JournalRecord::HandedOut), Progress(2, 50), Progress(1, 300)},
         3,
         {{u2, 50}, {u1, 300}},
         3,
         {Url(0)}},
        {"requeued goes behind the tasks held",
         {Record(JournalRecord::HandedOut), TakenFromQueue(1), Requeued(1, 120)},
         3,
         {{u2, 0}, {u1, 120}},
         3,
         {Url(0)}},
        {"reopened: what was held is queued first and taken from there",
         {Record(JournalRecord::HandedOut), Record(JournalRecord::Reopened), TakenFromQueue(2)},
         3,
         {{u2, 0}, {u1, 100}},
         3,
         {Url(0)}},
        {"rewound crawl",
         {Record(JournalRecord::QueueCleared), Record(JournalRecord::Rewound),
          Record(JournalRecord::HandedOut), Saved(0)},
         4,
         {},
         1,
         {Url(0)}},
        {"a record that does not fit ends the replay",
         {Added(4), Referenced(99), Added(5)},
         1,
         {{u1, 100}},
         2,
         {Url(0)}},
        {"a running crawl comes back paused", {State(Running)}, 1, {{u1, 100}}, 2, {Url(0)}},
        {"a finished one stopped",
         {State(Running), State(Stopped)},
         2,
         {{u1, 100}},
         2,
         {Url(0)},
         Stopped},
        {"an unknown state ends it",
         {State(static_cast<ProjectRunState>(9))},
         0,
         {{u1, 100}},
         2,
         {Url(0)}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Base base;
        CJournalReplay replay(base.list, base.queue, base.state);
        std::size_t made = 0;
        while (made < c.records.size() && replay.Apply(c.records[made])) {
            ++made;
        }
        replay.Finish();
        EXPECT_EQ(made, c.made);
        EXPECT_EQ(base.QueueNow(), c.queue);
        EXPECT_EQ(base.list.GetStats().requested, c.requested);
        std::vector<std::string> saved;
        base.list.ForEachEntry([&](const CDownloadEntry& entry) {
            if (entry.HasStoredPath()) {
                saved.push_back(entry.GetUrlText());
            }
        });
        EXPECT_EQ(saved, c.saved);
        EXPECT_EQ(base.state, c.state);
    }
}

TEST(JournalReplayTest, AddedAndFoundAgainListOnceWithTheirReferences) {
    Base base;
    CJournalReplay replay(base.list, base.queue, base.state);
    for (const CJournalEntry& record : {Added(4), Referenced(0), Referenced(4)}) {
        ASSERT_TRUE(replay.Apply(record));
    }
    EXPECT_EQ(base.list.GetCount(), 5u);
    EXPECT_EQ(base.list.Find(ParsedUrl(Url(0)))->GetRefCount(), 2);
    const CDownloadEntry* added = base.list.Find(ParsedUrl(Url(4)));
    ASSERT_NE(added, nullptr);
    EXPECT_EQ(added->GetRefCount(), 2);
    EXPECT_EQ(added->GetLevel(), 2);
}

}  // namespace
