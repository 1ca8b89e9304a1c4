#include "engine/crawl_journal.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "base/errors.h"
#include "support/temp_folder.h"

namespace {

using testing_support::ReadFile;
using testing_support::TempFolder;
using testing_support::WriteFile;

constexpr CJournalIdentity kProject{1234, 0xC0FFEE};
constexpr CJournalIdentity kNextProject{5678, 0xBEEF};
// Magic, version, size and CRC of the project file.
constexpr std::size_t kHeaderSize = 24;

std::string Payload(const std::string& text) {
    CStringStream payload;
    payload << text;
    return payload.Bytes();
}

std::vector<std::string> Texts(const CJournalContents& contents) {
    std::vector<std::string> texts;
    for (const CJournalEntry& record : contents.records) {
        CStringStream payload(record.payload);
        std::string text;
        payload >> text;
        texts.push_back(text);
    }
    return texts;
}

class CrawlJournalTest : public testing::Test {
protected:
    std::string Path() const { return m_folder.File("p.tkp.journal"); }

    // A journal of the project with one State record per text.
    void Write(const std::vector<std::string>& texts, std::uint64_t validLength = 0) {
        CCrawlJournal journal(Path(), kProject, validLength);
        for (const std::string& text : texts) {
            journal.Append(JournalRecord::Rewritten, Payload(text));
        }
        ASSERT_TRUE(journal.Sync());
    }

    TempFolder m_folder;
};

TEST_F(CrawlJournalTest, AJournalIsReadUpToItsFirstBadRecordAndOnlyBesideItsOwnProjectFile) {
    // Each record of "a", "bb", "ccc": 9 bytes of head, the text and its NUL.
    const std::size_t second = kHeaderSize + 9 + 2;
    const std::size_t third = second + 9 + 3;
    struct Case {
        const char* name;
        std::function<void(std::string&)> damage;
        CJournalIdentity identity;
        bool matches;
        std::vector<std::string> read;
    };
    const std::vector<Case> cases{
        {"whole", [](std::string&) {}, kProject, true, {"a", "bb", "ccc"}},
        {"torn tail", [](std::string& b) { b.resize(b.size() - 2); }, kProject, true, {"a", "bb"}},
        {"torn head", [&](std::string& b) { b.resize(third + 5); }, kProject, true, {"a", "bb"}},
        {"corrupt payload", [&](std::string& b) { b[second + 9] ^= 0x20; }, kProject, true, {"a"}},
        {"corrupt checksum", [&](std::string& b) { b[second + 5] ^= 1; }, kProject, true, {"a"}},
        {"absurd length", [&](std::string& b) { b[second + 3] = '\x7f'; }, kProject, true, {"a"}},
        {"unknown type",
         [&](std::string& b) { b[third + 8] = '\x60'; },
         kProject,
         true,
         {"a", "bb"}},
        {"another project", [](std::string&) {}, kNextProject, false, {}},
        {"another version", [](std::string& b) { b[8] = 2; }, kProject, false, {}},
        {"no magic", [](std::string& b) { b[0] = 'X'; }, kProject, false, {}},
        {"header only", [](std::string& b) { b.resize(kHeaderSize); }, kProject, true, {}},
        {"cut header", [](std::string& b) { b.resize(kHeaderSize - 1); }, kProject, false, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Write({"a", "bb", "ccc"});
        std::string bytes = ReadFile(Path());
        c.damage(bytes);
        WriteFile(Path(), bytes);
        const CJournalContents contents = ReadJournal(Path(), c.identity);
        EXPECT_EQ(contents.matches, c.matches);
        EXPECT_EQ(Texts(contents), c.read);
        if (c.matches) {
            EXPECT_EQ(contents.validLength,
                      contents.records.empty() ? kHeaderSize : contents.records.back().end);
        }
    }
}

TEST_F(CrawlJournalTest, RecordsAppendedAfterATornTailAreReadBack) {
    Write({"a", "bb"});
    std::string bytes = ReadFile(Path());
    WriteFile(Path(), bytes.substr(0, bytes.size() - 1));
    const CJournalContents torn = ReadJournal(Path(), kProject);
    Write({"dd"}, torn.validLength);
    EXPECT_EQ(Texts(ReadJournal(Path(), kProject)), (std::vector<std::string>{"a", "dd"}));
}

TEST_F(CrawlJournalTest, AFoldKeepsTheRecordsSinceTheSavedMomentUnderTheNewProjectFile) {
    struct Case {
        const char* name;
        bool commitFails;
    };
    for (const Case c : {Case{"saved", false}, Case{"save failed", true}}) {
        SCOPED_TRACE(c.name);
        CCrawlJournal journal(Path(), kProject, 0);
        journal.Append(JournalRecord::Rewritten, Payload("before"));
        ASSERT_TRUE(journal.Sync());
        journal.BeginFold();
        journal.Append(JournalRecord::Rewritten, Payload("during"));
        bool committed = false;
        const auto commit = [&] {
            // The project file goes in place while the old journal still
            // names the old one.
            EXPECT_EQ(Texts(ReadJournal(Path(), kProject)).front(), "before");
            if (c.commitFails) {
                ThrowStreamException(ERR_FILE_STREAM_WRITE);
            }
            committed = true;
        };
        if (c.commitFails) {
            EXPECT_THROW(journal.CompleteFold(Path(), kNextProject, commit), CStreamException);
            journal.AbandonFold();
        } else {
            journal.CompleteFold(Path(), kNextProject, commit);
        }
        journal.Append(JournalRecord::Rewritten, Payload("after"));
        ASSERT_TRUE(journal.Sync());

        const CJournalIdentity kept = c.commitFails ? kProject : kNextProject;
        const std::vector<std::string> expected =
            c.commitFails ? std::vector<std::string>{"before", "during", "after"}
                          : std::vector<std::string>{"during", "after"};
        EXPECT_EQ(committed, !c.commitFails);
        EXPECT_EQ(Texts(ReadJournal(Path(), kept)), expected);
        EXPECT_FALSE(ReadJournal(CCrawlJournal::TemporaryPathFor(Path()), kept).matches);
    }
}

TEST_F(CrawlJournalTest, TheIdentityIsThatOfTheBytesTheSaveWrote) {
    const std::string bytes = "Tarnwick\0001.0\0PROJECT_INFO" + std::string(3000000, 'x');
    WriteFile(m_folder.File("p.tkp"), bytes);
    CStringStream copy;
    CIdentityStream stream(copy);
    stream.Write(bytes.data(), 10);
    stream.Write(bytes.data() + 10, bytes.size() - 10);
    CJournalIdentity onDisk;
    ASSERT_TRUE(IdentityOfFile(m_folder.File("p.tkp"), onDisk));
    EXPECT_EQ(stream.GetIdentity(), onDisk);
    EXPECT_EQ(onDisk.size, bytes.size());
    EXPECT_EQ(copy.Bytes(), bytes);
}

}  // namespace
