// The journal beside a project file: every change that a crawl makes to the
// download list and the task queue, appended as it happens, so that a killed
// program reopens its project with everything but the work in flight.
//
// Layout of "<project file>.journal": a header of the magic "TKJOURNL", the
// version (int 1) and the identity of the project file it continues (its
// size, 64 bits, and its CRC-32); then records, each an int payload length,
// the CRC-32 of its type and payload, one type byte and the payload. A
// journal whose identity is not that of the project file beside it belongs
// to another save and is never read.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "base/file_descriptor.h"
#include "base/stream.h"
#include "base/string_stream.h"
#include "engine/download_list.h"

// What ties a journal to the one project file whose changes it holds.
struct CJournalIdentity {
    std::uint64_t size = 0;
    std::uint32_t crc = 0;
    bool operator==(const CJournalIdentity&) const = default;
};

// Where a test kills the program (TARNWICK_CRASH_AT=name, or name:N for its
// Nth passage), to see what a crash at that moment leaves; nothing otherwise.
void CrashPoint(const char* name);

// False when the file cannot be read.
bool IdentityOfFile(const std::string& path, CJournalIdentity& identity);

enum class JournalRecord : std::uint8_t {
    Added = 1,       // string URL, int level, bool internal
    Referenced,      // int entry index
    HandedOut,       // the list's next entry went to a worker
    Rewound,         // the list's cursor went back to its first entry
    Cleared,         // list and queue emptied
    Rewritten,       // string URL, bool flag
    TakenFromQueue,  // string URL: the queue's task for it went to a worker
    QueueCleared,    // the queue emptied
    Collected,       // string URL, then the outcome (see CJournalReplay)
    Progress,        // a task record: how far a worker got
    State,           // int run state
    Reopened,        // the project was opened again after these records
};

struct CJournalEntry {
    JournalRecord type;
    std::string payload;
    // Where the record ends in the journal.
    std::uint64_t end = 0;
};

// A journal's records up to the first one that is cut short or damaged.
struct CJournalContents {
    bool matches = false;  // the header names the project file
    std::vector<CJournalEntry> records;
    std::uint64_t validLength = 0;  // header and whole records
};
CJournalContents ReadJournal(const std::string& path, const CJournalIdentity& identity);

// Passes a project file's bytes on while it takes their identity.
class CIdentityStream : public CStream {
public:
    explicit CIdentityStream(CStream& target) : m_target(target) {}
    // Of everything written so far.
    const CJournalIdentity& GetIdentity();

    std::size_t Read(void* buffer, std::size_t count) override;
    std::size_t Write(const void* buffer, std::size_t count) override;
    bool ReadByte(std::uint8_t& byte) override { return Read(&byte, 1) == 1; }
    bool WriteByte(std::uint8_t byte) override { return Write(&byte, 1) == 1; }
    bool Seek(std::int64_t offset, int origin) override;
    std::int64_t GetPosition() override { return m_target.GetPosition(); }
    void Flush() override { m_target.Flush(); }
    std::int64_t GetLength() override { return m_target.GetLength(); }
    void SetLength(std::int64_t length) override;

private:
    void TakeChecksum();

    CStream& m_target;
    CJournalIdentity m_identity;
    // The checksum is taken over larger pieces than the values written.
    std::string m_unsummed;
};

// Appends from any thread; one writer thread of its own writes the records
// out, so that no thread that records a change waits for the disk. A batch
// goes out as soon as a file was saved, or a second after its first record;
// the data reach the disk (fdatasync) at most once a second, so a killed
// process loses nothing it recorded, and a power cut about a second.
class CCrawlJournal : public CListChanges {
public:
    static constexpr std::chrono::milliseconds kBatchDelay{1000};
    static constexpr std::chrono::milliseconds kSyncInterval{1000};

    // The journal of the project file whose identity is given; validLength
    // is how much of the journal at path continues it (0: none, the first
    // write starts a new one). matchedTemporary: the journal that continues
    // it is the one that a killed save left under its temporary name.
    CCrawlJournal(std::string path, const CJournalIdentity& identity, std::uint64_t validLength,
                  bool matchedTemporary = false);
    // Writes and syncs what is left.
    ~CCrawlJournal() override;
    CCrawlJournal(const CCrawlJournal&) = delete;
    CCrawlJournal& operator=(const CCrawlJournal&) = delete;

    static std::string PathFor(const std::string& projectPath);
    static std::string TemporaryPathFor(const std::string& journalPath);

    void OnAdded(const CDownloadEntry& entry) override;
    void OnReferenced(std::size_t index) override;
    void OnHandedOut() override;
    void OnRewound() override;
    void OnCleared() override;
    void OnRewritten(const std::string& urlText, bool rewritten) override;

    // The records read back were made again over the project file: the
    // first record appended says so, so that those after it are made over
    // what the reopened project held.
    void NoteReplayed() { m_replayed = true; }
    // An urgent record goes out without waiting for the batch delay.
    void Append(JournalRecord type, std::string payload = {}, bool urgent = false);

    // Writes what waits and syncs it; false when the journal cannot be
    // written, whereupon the project file is all that lasts.
    bool Sync();
    bool IsHealthy() const;
    std::uint64_t GetSize() const;

    // A save of the project file folds the journal in. BeginFold marks the
    // moment the saved state was taken (under the lock that orders the
    // records); CompleteFold writes the new journal of the records since,
    // under its temporary name, then lets commit put the project file in
    // place, then renames the new journal over the old. A kill at any step
    // leaves the old pair, or the new project file whose journal is the new
    // one or none. commit throws to keep the old pair.
    void BeginFold();
    void CompleteFold(const std::string& path, const CJournalIdentity& identity,
                      const std::function<void()>& commit);
    void AbandonFold();

private:
    void WriterLoop();
    // Writes what waits, synced when asked or when the last sync is a
    // second old.
    bool Flush(bool sync);
    // With the file lock held.
    bool WriteBatch(const std::string& batch, bool sync);
    bool OpenForAppend();
    static bool CreateTemporary(const std::string& path, const std::string& bytes,
                                CFileDescriptor& file);
    static std::string Header(const CJournalIdentity& identity);

    std::string m_path;
    CJournalIdentity m_identity;
    std::uint64_t m_validLength;
    bool m_matchedTemporary;

    // Orders the file's writes and a fold; taken before m_mutex.
    mutable std::mutex m_fileMutex;
    CFileDescriptor m_file;
    std::atomic<std::uint64_t> m_size{0};
    std::atomic<bool> m_failed{false};

    mutable std::mutex m_mutex;
    std::condition_variable m_wake;
    std::string m_pending;
    std::chrono::steady_clock::time_point m_firstPending;
    std::chrono::steady_clock::time_point m_lastSync;
    bool m_unsynced = false;
    bool m_urgent = false;
    bool m_folding = false;
    std::string m_sinceFold;
    bool m_stopping = false;
    bool m_replayed = false;
    std::thread m_writer;
};
