#include "base/replacement_file.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <ctime>
#include <filesystem>
#include <random>
#include <utility>

#include "base/errors.h"

namespace {

std::string FolderOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
}

std::string NameOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    return path.substr(slash == std::string::npos ? 0 : slash + 1);
}

constexpr std::string_view kSuffix = ".XXXXXX";
// The characters that mkstemp puts in place of the X's.
constexpr std::size_t kRandomLength = kSuffix.size() - 1;

// What the temporary name holds of the target's name: all of it when it
// leaves room for the dot and the suffix.
std::string TemporaryTitle(const std::string& name) {
    static constexpr std::size_t kMaxNameLength = 255;
    return name.size() + 1 + kSuffix.size() <= kMaxNameLength ? name : std::string("tarnwick");
}

// A name in the target's folder that is hidden and cannot collide with a
// saved page: a dot, the target's name when it leaves room for the suffix,
// and six random characters in place of the X's.
std::string TemporaryPattern(const std::string& targetName) {
    return "." + TemporaryTitle(targetName) + std::string(kSuffix);
}

// What mkostemp does, within an open folder: the name is new, so nothing
// that stands there is followed.
CFileDescriptor CreateTemporaryIn(int folder, std::string& name) {
    static constexpr std::string_view kCharacters =
        "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";
    static constexpr int kTries = 100;
    thread_local std::mt19937 random{std::random_device{}()};
    std::uniform_int_distribution<std::size_t> pick(0, kCharacters.size() - 1);
    for (int i = 0; i < kTries; ++i) {
        for (std::size_t at = name.size() - kRandomLength; at < name.size(); ++at) {
            name[at] = kCharacters[pick(random)];
        }
        CFileDescriptor file(::openat(folder, name.c_str(),
                                      O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
        if (file.IsValid() || errno != EEXIST) {
            return file;
        }
    }
    return CFileDescriptor();
}

bool IsTemporaryName(std::string_view name, std::string_view prefix) {
    if (name.size() != prefix.size() + kRandomLength || !name.starts_with(prefix)) {
        return false;
    }
    for (const char c : name.substr(prefix.size())) {
        if (!(c >= '0' && c <= '9') && !(c >= 'A' && c <= 'Z') && !(c >= 'a' && c <= 'z')) {
            return false;
        }
    }
    return true;
}

// Whether path still names the file that was opened.
bool StillNames(const std::string& path, const struct stat& opened) {
    struct stat named {};
    return ::lstat(path.c_str(), &named) == 0 && named.st_dev == opened.st_dev &&
           named.st_ino == opened.st_ino;
}

void RemoveIfAbandoned(const std::string& path) {
    static constexpr time_t kQuietSeconds = 60;
    const int fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        return;
    }
    // The lock is the writer's sign of life; the quiet minute covers the
    // instant between a writer's creating its file and locking it.
    struct stat opened {};
    if (::flock(fd, LOCK_EX | LOCK_NB) == 0 && ::fstat(fd, &opened) == 0 &&
        S_ISREG(opened.st_mode) && opened.st_mtime + kQuietSeconds < ::time(nullptr) &&
        StillNames(path, opened)) {
        ::unlink(path.c_str());
    }
    ::close(fd);
}

CFileDescriptor OpenFolder(const std::string& path) {
    return CFileDescriptor(::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
}

}  // namespace

CReplacementFile::CReplacementFile(std::string targetPath, unsigned newFileMode)
    : m_folder(OpenFolder(FolderOf(targetPath))),
      m_folderPath(FolderOf(targetPath)),
      m_targetName(NameOf(targetPath)) {
    Create(newFileMode);
}

CReplacementFile::CReplacementFile(CFileDescriptor folder, std::string targetName,
                                   unsigned newFileMode)
    : m_folder(std::move(folder)), m_targetName(std::move(targetName)) {
    Create(newFileMode);
}

void CReplacementFile::Create(unsigned newFileMode) {
    m_temporaryName = TemporaryPattern(m_targetName);
    if (m_folder.IsValid()) {
        m_file = CreateTemporaryIn(m_folder.Get(), m_temporaryName);
    }
    if (!m_file.IsValid()) {
        m_temporaryName.clear();
        ThrowStreamException(ERR_FILE_STREAM_OPEN);
    }
    struct stat target {};
    const mode_t mode = ::fstatat(m_folder.Get(), m_targetName.c_str(), &target, 0) == 0
                            ? target.st_mode & 07777
                            : newFileMode;
    // The lock tells a later clean-up that the file's writer is alive; where
    // the file system has no locks, the file is still written.
    m_lock.Reset(::fcntl(m_file.Get(), F_DUPFD_CLOEXEC, 0));
    if (m_lock.IsValid()) {
        ::flock(m_lock.Get(), LOCK_EX);
    }
    try {
        if (::fchmod(m_file.Get(), mode) != 0) {
            ThrowStreamException(ERR_FILE_STREAM_OPEN);
        }
        m_stream.Attach(m_file.Get(), CFileStream::modeWriteCreate);
    } catch (const CStreamException&) {
        Discard();
        throw;
    }
}

CReplacementFile::~CReplacementFile() {
    Discard();
}

std::string CReplacementFile::GetTemporaryPath() const {
    if (m_folderPath.empty()) {
        return m_temporaryName;
    }
    return m_folderPath + (m_folderPath.back() == '/' ? "" : "/") + m_temporaryName;
}

void CReplacementFile::Commit(bool syncToDisk) {
    try {
        m_stream.Close();
    } catch (const CStreamException&) {
        Discard();
        throw;
    }
    if (m_modificationTime) {
        // A time that cannot be kept costs the file nothing but its date.
        const timespec times[2] = {{0, UTIME_OMIT}, *m_modificationTime};
        ::futimens(m_file.Get(), times);
    }
    const bool synced = !syncToDisk || ::fsync(m_file.Get()) == 0;
    const bool closed = ::close(m_file.Release()) == 0;
    if (!synced || !closed ||
        ::renameat(m_folder.Get(), m_temporaryName.c_str(), m_folder.Get(), m_targetName.c_str()) !=
            0) {
        Discard();
        ThrowStreamException(ERR_FILE_STREAM_WRITE);
    }
    m_temporaryName.clear();
    m_lock.Reset();
    if (syncToDisk) {
        // The rename is on the disk once the folder is; a file system that
        // cannot sync folders still has the data itself synced.
        ::fsync(m_folder.Get());
    }
}

void CReplacementFile::RemoveAbandoned(const std::string& targetPath) {
    const std::string name = NameOf(targetPath);
    if (TemporaryTitle(name) != name) {
        // Such temporary names do not tell whose they are.
        return;
    }
    const std::string prefix = "." + name + ".";
    std::error_code error;
    for (std::filesystem::directory_iterator entry(FolderOf(targetPath), error), end;
         !error && entry != end; entry.increment(error)) {
        if (IsTemporaryName(entry->path().filename().string(), prefix)) {
            RemoveIfAbandoned(entry->path().string());
        }
    }
}

void CReplacementFile::Discard() {
    try {
        m_stream.Close();
    } catch (const CStreamException&) {
        // The file is thrown away: a failed flush no longer matters.
    }
    m_file.Reset();
    if (!m_temporaryName.empty()) {
        ::unlinkat(m_folder.Get(), m_temporaryName.c_str(), 0);
        m_temporaryName.clear();
    }
    m_lock.Reset();
}
