#include "engine/crawl_journal.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string_view>
#include <utility>

#include "base/errors.h"

namespace {

constexpr std::string_view kMagic = "TKJOURNL";
constexpr std::uint32_t kVersion = 1;
constexpr std::size_t kHeaderSize = kMagic.size() + 4 + 8 + 4;
constexpr std::size_t kRecordHeadSize = 4 + 4 + 1;
// The longest record holds one task; anything longer is damage.
constexpr std::uint32_t kMaxPayload = 64 * 1024;
// The URLs may carry the site's credentials, as the project file does.
constexpr mode_t kJournalMode = 0600;
constexpr std::size_t kReadChunk = 1 << 20;

void PutU32(std::string& out, std::uint32_t value) {
    for (int shift = 0; shift < 32; shift += 8) {
        out += static_cast<char>((value >> shift) & 0xff);
    }
}

void PutU64(std::string& out, std::uint64_t value) {
    PutU32(out, static_cast<std::uint32_t>(value));
    PutU32(out, static_cast<std::uint32_t>(value >> 32));
}

std::uint32_t GetU32(std::string_view bytes, std::size_t at) {
    std::uint32_t value = 0;
    for (int i = 3; i >= 0; --i) {
        value = value << 8 | static_cast<std::uint8_t>(bytes[at + static_cast<std::size_t>(i)]);
    }
    return value;
}

std::uint64_t GetU64(std::string_view bytes, std::size_t at) {
    return GetU32(bytes, at) | std::uint64_t{GetU32(bytes, at + 4)} << 32;
}

std::uint32_t Crc(std::uint32_t crc, std::string_view bytes) {
    return static_cast<std::uint32_t>(
        crc32(crc, reinterpret_cast<const Bytef*>(bytes.data()), static_cast<uInt>(bytes.size())));
}

bool WriteAll(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t written = ::write(fd, bytes.data(), bytes.size());
        if (written < 0 && errno == EINTR) {
            continue;
        }
        if (written <= 0) {
            return false;
        }
        bytes.remove_prefix(static_cast<std::size_t>(written));
    }
    return true;
}

// Hands a file's bytes to `take` chunk by chunk; false when it cannot be read.
template <typename Take>
bool ReadChunks(const std::string& path, Take take) {
    const CFileDescriptor file(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (!file.IsValid()) {
        return false;
    }
    std::string chunk(kReadChunk, '\0');
    while (true) {
        const ssize_t count = ::read(file.Get(), chunk.data(), chunk.size());
        if (count < 0 && errno == EINTR) {
            continue;
        }
        if (count < 0) {
            return false;
        }
        if (count == 0) {
            return true;
        }
        take(std::string_view(chunk.data(), static_cast<std::size_t>(count)));
    }
}

bool ReadWhole(const std::string& path, std::string& bytes) {
    return ReadChunks(path, [&](std::string_view chunk) { bytes += chunk; });
}

bool IsKnownType(std::uint8_t type) {
    return type >= static_cast<std::uint8_t>(JournalRecord::Added) &&
           type <= static_cast<std::uint8_t>(JournalRecord::Reopened);
}

std::string EncodeRecord(JournalRecord type, const std::string& payload) {
    std::string record;
    record.reserve(kRecordHeadSize + payload.size());
    PutU32(record, static_cast<std::uint32_t>(payload.size()));
    const char typeByte = static_cast<char>(type);
    PutU32(record, Crc(Crc(0, std::string_view(&typeByte, 1)), payload));
    record += typeByte;
    record += payload;
    return record;
}

// name, or name:N for its Nth passage.
bool CrashPointArmed(const char* name, unsigned& passage) {
    const char* setting = std::getenv("TARNWICK_CRASH_AT");
    if (setting == nullptr) {
        return false;
    }
    const std::string_view text(setting);
    const std::size_t colon = text.find(':');
    if (text.substr(0, colon) != name) {
        return false;
    }
    passage = colon == std::string_view::npos
                  ? 1
                  : static_cast<unsigned>(std::strtoul(setting + colon + 1, nullptr, 10));
    return true;
}

}  // namespace

void CrashPoint(const char* name) {
    static std::atomic<unsigned> s_passages{0};
    unsigned passage = 0;
    if (CrashPointArmed(name, passage) && ++s_passages >= passage) {
        ::kill(::getpid(), SIGKILL);
    }
}

bool IdentityOfFile(const std::string& path, CJournalIdentity& identity) {
    identity = {};
    return ReadChunks(path, [&](std::string_view chunk) {
        identity.size += chunk.size();
        identity.crc = Crc(identity.crc, chunk);
    });
}

CJournalContents ReadJournal(const std::string& path, const CJournalIdentity& identity) {
    CJournalContents contents;
    std::string bytes;
    if (!ReadWhole(path, bytes) || bytes.size() < kHeaderSize ||
        std::string_view(bytes).substr(0, kMagic.size()) != kMagic ||
        GetU32(bytes, kMagic.size()) != kVersion ||
        GetU64(bytes, kMagic.size() + 4) != identity.size ||
        GetU32(bytes, kMagic.size() + 12) != identity.crc) {
        return contents;
    }
    contents.matches = true;
    std::size_t at = kHeaderSize;
    while (bytes.size() - at >= kRecordHeadSize) {
        const std::uint32_t length = GetU32(bytes, at);
        if (length > kMaxPayload || bytes.size() - at - kRecordHeadSize < length) {
            break;
        }
        const std::string_view body = std::string_view(bytes).substr(at + 8, 1 + length);
        const auto type = static_cast<std::uint8_t>(body[0]);
        if (Crc(0, body) != GetU32(bytes, at + 4) || !IsKnownType(type)) {
            break;
        }
        at += kRecordHeadSize + length;
        contents.records.push_back(
            {static_cast<JournalRecord>(type), std::string(body.substr(1)), at});
    }
    contents.validLength = at;
    return contents;
}

std::size_t CIdentityStream::Read(void* /*buffer*/, std::size_t /*count*/) {
    return 0;
}

std::size_t CIdentityStream::Write(const void* buffer, std::size_t count) {
    const std::size_t written = m_target.Write(buffer, count);
    m_unsummed.append(static_cast<const char*>(buffer), written);
    if (m_unsummed.size() >= kReadChunk) {
        TakeChecksum();
    }
    return written;
}

const CJournalIdentity& CIdentityStream::GetIdentity() {
    TakeChecksum();
    return m_identity;
}

void CIdentityStream::TakeChecksum() {
    m_identity.size += m_unsummed.size();
    m_identity.crc = Crc(m_identity.crc, m_unsummed);
    m_unsummed.clear();
}

// The identity holds for bytes written in one go from the start.
bool CIdentityStream::Seek(std::int64_t /*offset*/, int /*origin*/) {
    return false;
}

void CIdentityStream::SetLength(std::int64_t /*length*/) {
    ThrowStreamException(ERR_STREAM_DATA);
}

CCrawlJournal::CCrawlJournal(std::string path, const CJournalIdentity& identity,
                             std::uint64_t validLength, bool matchedTemporary)
    : m_path(std::move(path)),
      m_identity(identity),
      m_validLength(validLength),
      m_matchedTemporary(matchedTemporary),
      m_lastSync(std::chrono::steady_clock::now()) {}

CCrawlJournal::~CCrawlJournal() {
    {
        std::scoped_lock lock(m_mutex);
        m_stopping = true;
    }
    m_wake.notify_one();
    if (m_writer.joinable()) {
        m_writer.join();
    }
}

std::string CCrawlJournal::PathFor(const std::string& projectPath) {
    return projectPath + ".journal";
}

std::string CCrawlJournal::TemporaryPathFor(const std::string& journalPath) {
    return journalPath + ".tmp";
}

void CCrawlJournal::OnAdded(const CDownloadEntry& entry) {
    CStringStream payload;
    payload << entry.GetUrlText() << entry.GetLevel() << entry.IsInternal();
    Append(JournalRecord::Added, std::move(payload.Bytes()));
}

void CCrawlJournal::OnReferenced(std::size_t index) {
    CStringStream payload;
    payload << static_cast<std::uint32_t>(index);
    Append(JournalRecord::Referenced, std::move(payload.Bytes()));
}

void CCrawlJournal::OnHandedOut() {
    Append(JournalRecord::HandedOut);
}

void CCrawlJournal::OnRewound() {
    Append(JournalRecord::Rewound);
}

void CCrawlJournal::OnCleared() {
    Append(JournalRecord::Cleared);
}

void CCrawlJournal::OnRewritten(const std::string& urlText, bool rewritten) {
    CStringStream payload;
    payload << urlText << rewritten;
    Append(JournalRecord::Rewritten, std::move(payload.Bytes()));
}

void CCrawlJournal::Append(JournalRecord type, std::string payload, bool urgent) {
    if (m_failed) {
        return;
    }
    std::string record = EncodeRecord(type, payload);
    bool wake = urgent;
    {
        std::scoped_lock lock(m_mutex);
        if (std::exchange(m_replayed, false)) {
            record = EncodeRecord(JournalRecord::Reopened, {}) + record;
        }
        if (m_pending.empty()) {
            m_firstPending = std::chrono::steady_clock::now();
            wake = true;
        }
        m_pending += record;
        if (m_folding) {
            m_sinceFold += record;
        }
        m_urgent = m_urgent || urgent;
        if (!m_writer.joinable()) {
            m_writer = std::thread([this] { WriterLoop(); });
        }
    }
    if (wake) {
        m_wake.notify_one();
    }
}

void CCrawlJournal::WriterLoop() {
    std::unique_lock lock(m_mutex);
    while (true) {
        const auto now = std::chrono::steady_clock::now();
        const auto batchDue = m_firstPending + kBatchDelay;
        const auto syncDue = m_lastSync + kSyncInterval;
        const bool due = m_stopping || m_urgent || (!m_pending.empty() && now >= batchDue) ||
                         (m_unsynced && now >= syncDue);
        if (!due) {
            if (!m_pending.empty() || m_unsynced) {
                m_wake.wait_until(lock, m_pending.empty() ? syncDue
                                        : m_unsynced      ? std::min(batchDue, syncDue)
                                                          : batchDue);
            } else {
                m_wake.wait(lock);
            }
            continue;
        }
        const bool stopping = m_stopping;
        lock.unlock();
        Flush(stopping);
        lock.lock();
        if (stopping) {
            return;
        }
    }
}

bool CCrawlJournal::Flush(bool sync) {
    std::scoped_lock fileLock(m_fileMutex);
    std::string batch;
    {
        std::scoped_lock lock(m_mutex);
        batch.swap(m_pending);
        m_urgent = false;
    }
    sync = sync || std::chrono::steady_clock::now() - m_lastSync >= kSyncInterval;
    return WriteBatch(batch, sync);
}

bool CCrawlJournal::Sync() {
    return Flush(true);
}

bool CCrawlJournal::IsHealthy() const {
    return !m_failed;
}

std::uint64_t CCrawlJournal::GetSize() const {
    return m_size;
}

bool CCrawlJournal::WriteBatch(const std::string& batch, bool sync) {
    if (m_failed) {
        return false;
    }
    if (batch.empty() && !m_file.IsValid()) {
        return true;
    }
    if (!m_file.IsValid() && !OpenForAppend()) {
        m_failed = true;
        return false;
    }
    unsigned passage = 0;
    // A test cuts a batch in two to see a kill tear the journal's tail.
    const std::size_t firstPart =
        CrashPointArmed("journal-write", passage) ? batch.size() / 2 : batch.size();
    bool written = WriteAll(m_file.Get(), std::string_view(batch).substr(0, firstPart));
    if (written && firstPart < batch.size()) {
        CrashPoint("journal-write");
        written = WriteAll(m_file.Get(), std::string_view(batch).substr(firstPart));
    }
    if (!written) {
        m_failed = true;
        return false;
    }
    m_size += batch.size();
    const bool synced = sync && (m_unsynced || !batch.empty());
    if (synced && ::fdatasync(m_file.Get()) != 0) {
        m_failed = true;
        return false;
    }
    std::scoped_lock lock(m_mutex);
    if (synced) {
        m_lastSync = std::chrono::steady_clock::now();
    }
    m_unsynced = !synced && (m_unsynced || !batch.empty());
    return true;
}

bool CCrawlJournal::OpenForAppend() {
    if (m_validLength == 0) {
        const std::string temporary = TemporaryPathFor(m_path);
        if (!CreateTemporary(temporary, Header(m_identity), m_file) ||
            ::rename(temporary.c_str(), m_path.c_str()) != 0) {
            m_file.Reset();
            return false;
        }
        m_size = kHeaderSize;
        return true;
    }
    // A save that was killed between its renames left the journal of the
    // project file under its temporary name.
    if (m_matchedTemporary && ::rename(TemporaryPathFor(m_path).c_str(), m_path.c_str()) != 0) {
        return false;
    }
    m_file.Reset(::open(m_path.c_str(), O_WRONLY | O_CLOEXEC));
    // Records after a torn one would never be read.
    if (!m_file.IsValid() || ::ftruncate(m_file.Get(), static_cast<off_t>(m_validLength)) != 0 ||
        ::lseek(m_file.Get(), 0, SEEK_END) < 0) {
        m_file.Reset();
        return false;
    }
    m_size = m_validLength;
    return true;
}

bool CCrawlJournal::CreateTemporary(const std::string& path, const std::string& bytes,
                                    CFileDescriptor& file) {
    file.Reset(::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, kJournalMode));
    if (!file.IsValid() || !WriteAll(file.Get(), bytes) || ::fdatasync(file.Get()) != 0) {
        file.Reset();
        ::unlink(path.c_str());
        return false;
    }
    return true;
}

std::string CCrawlJournal::Header(const CJournalIdentity& identity) {
    std::string header(kMagic);
    PutU32(header, kVersion);
    PutU64(header, identity.size);
    PutU32(header, identity.crc);
    return header;
}

void CCrawlJournal::BeginFold() {
    std::scoped_lock lock(m_mutex);
    m_folding = true;
    m_sinceFold.clear();
}

void CCrawlJournal::AbandonFold() {
    std::scoped_lock lock(m_mutex);
    m_folding = false;
    m_sinceFold.clear();
}

void CCrawlJournal::CompleteFold(const std::string& path, const CJournalIdentity& identity,
                                 const std::function<void()>& commit) {
    std::scoped_lock fileLock(m_fileMutex);
    std::scoped_lock lock(m_mutex);
    const std::string temporary = TemporaryPathFor(path);
    const std::string records = m_folding ? m_sinceFold : std::string();
    CFileDescriptor file;
    bool journalReady = CreateTemporary(temporary, Header(identity) + records, file);
    CrashPoint("save-before-commit");
    try {
        commit();
    } catch (...) {
        ::unlink(temporary.c_str());
        throw;
    }
    CrashPoint("save-between-renames");
    journalReady = journalReady && ::rename(temporary.c_str(), path.c_str()) == 0;
    if (!journalReady) {
        ::unlink(temporary.c_str());
    }
    // What the project file holds leaves the journal; what came after it
    // is in the new one.
    m_pending.clear();
    m_folding = false;
    m_sinceFold.clear();
    m_urgent = false;
    m_unsynced = false;
    m_lastSync = std::chrono::steady_clock::now();
    m_path = path;
    m_identity = identity;
    m_matchedTemporary = false;
    m_file = std::move(file);
    m_validLength = journalReady ? kHeaderSize + records.size() : 0;
    m_size = m_validLength;
    m_failed = !journalReady;
}
