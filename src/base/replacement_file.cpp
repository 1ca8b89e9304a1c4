#include "base/replacement_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>

#include "base/errors.h"

namespace {

std::string FolderOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
}

// A name in the target's folder that is hidden and cannot collide with a
// saved page: a dot, the target's name when it leaves room for the suffix,
// and six random characters from mkstemp.
std::string TemporaryPattern(const std::string& targetPath) {
    static constexpr std::size_t kMaxNameLength = 255;
    static constexpr std::string_view kSuffix = ".XXXXXX";
    const std::size_t slash = targetPath.rfind('/');
    const std::string name = targetPath.substr(slash == std::string::npos ? 0 : slash + 1);
    const std::string title =
        name.size() + 1 + kSuffix.size() <= kMaxNameLength ? name : std::string("tarnwick");
    return FolderOf(targetPath) + "/." + title + std::string(kSuffix);
}

void SyncFolderOf(const std::string& path) {
    const int fd = ::open(FolderOf(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        // The rename is on the disk once the folder is; a file system that
        // cannot sync folders still has the data itself synced.
        ::fsync(fd);
        ::close(fd);
    }
}

}  // namespace

CReplacementFile::CReplacementFile(std::string targetPath, unsigned newFileMode)
    : m_targetPath(std::move(targetPath)), m_temporaryPath(TemporaryPattern(m_targetPath)) {
    m_fd = ::mkostemp(m_temporaryPath.data(), O_CLOEXEC);
    if (m_fd < 0) {
        ThrowStreamException(ERR_FILE_STREAM_OPEN);
    }
    struct stat target {};
    const mode_t mode =
        ::stat(m_targetPath.c_str(), &target) == 0 ? target.st_mode & 07777 : newFileMode;
    try {
        if (::fchmod(m_fd, mode) != 0) {
            ThrowStreamException(ERR_FILE_STREAM_OPEN);
        }
        m_stream.Attach(m_fd, CFileStream::modeWriteCreate);
    } catch (const CStreamException&) {
        Discard();
        throw;
    }
}

CReplacementFile::~CReplacementFile() {
    Discard();
}

void CReplacementFile::Commit(bool syncToDisk) {
    try {
        m_stream.Close();
    } catch (const CStreamException&) {
        Discard();
        throw;
    }
    const bool synced = !syncToDisk || ::fsync(m_fd) == 0;
    const bool closed = ::close(m_fd) == 0;
    m_fd = -1;
    if (!synced || !closed || ::rename(m_temporaryPath.c_str(), m_targetPath.c_str()) != 0) {
        Discard();
        ThrowStreamException(ERR_FILE_STREAM_WRITE);
    }
    m_temporaryPath.clear();
    if (syncToDisk) {
        SyncFolderOf(m_targetPath);
    }
}

void CReplacementFile::Discard() {
    try {
        m_stream.Close();
    } catch (const CStreamException&) {
        // The file is thrown away: a failed flush no longer matters.
    }
    if (m_fd >= 0) {
        ::close(m_fd);
        m_fd = -1;
    }
    if (!m_temporaryPath.empty()) {
        ::unlink(m_temporaryPath.c_str());
        m_temporaryPath.clear();
    }
}
