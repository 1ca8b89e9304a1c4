#include "storage/confined_folder.h"

#include <fcntl.h>
#include <linux/openat2.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>

namespace {

constexpr int kFolderFlags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;

bool IsLinkAt(int folder, const std::string& name) {
    struct stat info {};
    return ::fstatat(folder, name.c_str(), &info, AT_SYMLINK_NOFOLLOW) == 0 &&
           S_ISLNK(info.st_mode);
}

// O_DIRECTORY|O_NOFOLLOW reports a link as "not a directory"; a link is
// told apart from a file that stands where a folder belongs, since only the
// link is something placed in the way.
CFileDescriptor OpenSubfolder(int parent, const std::string& name, bool create) {
    CFileDescriptor folder(::openat(parent, name.c_str(), kFolderFlags));
    if (!folder.IsValid() && errno == ENOENT && create) {
        // Another worker may make the same folder at the same moment.
        if (::mkdirat(parent, name.c_str(), 0777) != 0 && errno != EEXIST) {
            return folder;
        }
        folder.Reset(::openat(parent, name.c_str(), kFolderFlags));
    }
    if (!folder.IsValid() && errno == ENOTDIR && IsLinkAt(parent, name)) {
        errno = ELOOP;
    }
    return folder;
}

// A pipe or a device where the crawl writes would take the bytes elsewhere or
// block the worker, so it counts as something placed in the way, as a link
// does.
bool IsPlainFile(int fd, struct stat& info) {
    if (::fstat(fd, &info) != 0) {
        return false;
    }
    if (!S_ISREG(info.st_mode)) {
        errno = S_ISDIR(info.st_mode) ? EISDIR : ELOOP;
        return false;
    }
    return true;
}

// The folder relativePath names below root, in one call where the kernel
// resolves it with the same rules as the walk (no link followed on the way,
// nothing outside root); none, with errno, where it cannot, and then the
// walk decides.
CFileDescriptor OpenFolderBeneath(int root, const std::string& relativePath) {
    open_how how{};
    how.flags = static_cast<std::uint64_t>(kFolderFlags);
    how.resolve = RESOLVE_BENEATH | RESOLVE_NO_SYMLINKS | RESOLVE_NO_MAGICLINKS;
    return CFileDescriptor(
        static_cast<int>(::syscall(SYS_openat2, root, relativePath.c_str(), &how, sizeof how)));
}

// Whether the walk would come to the same end as OpenFolderBeneath's
// failure: a missing folder stays missing unless it is to be made, and a
// link or a file on the way fails both ways. The walk alone tells a file
// standing in the way (ENOTDIR) from a link (ELOOP), and runs where the
// kernel lacks the call.
bool WalkWouldAgree(bool create) {
    return (errno == ENOENT && !create) || errno == ELOOP;
}

}  // namespace

CConfinedFolder::CConfinedFolder(const CFilePath& root) : m_root(root.GetFolderPath()) {}

CFileDescriptor CConfinedFolder::OpenFolderOf(std::string_view path, bool create,
                                              std::string& name) const {
    if (!IsInside(path) || m_root.front() != CFilePath::kSeparator) {
        errno = EPERM;
        return {};
    }
    CFileDescriptor folder(::open(m_root.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!folder.IsValid() && errno == ENOENT && create && CreateFolderPath(m_root)) {
        folder.Reset(::open(m_root.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    }
    std::size_t start = m_root.size();
    const std::size_t lastSeparator = path.rfind(CFilePath::kSeparator);
    if (folder.IsValid() && lastSeparator > start) {
        CFileDescriptor beneath =
            OpenFolderBeneath(folder.Get(), std::string(path.substr(start, lastSeparator - start)));
        if (beneath.IsValid() || WalkWouldAgree(create)) {
            name = path.substr(lastSeparator + 1);
            return beneath;
        }
        // A new file mostly needs one new folder: the walk that makes it
        // starts from the folder above when that one is there.
        const std::size_t above = path.rfind(CFilePath::kSeparator, lastSeparator - 1);
        if (errno == ENOENT && above > start && above != std::string_view::npos) {
            beneath =
                OpenFolderBeneath(folder.Get(), std::string(path.substr(start, above - start)));
            if (beneath.IsValid()) {
                folder = std::move(beneath);
                start = above + 1;
            }
        }
    }
    for (std::size_t end = path.find(CFilePath::kSeparator, start);
         folder.IsValid() && end != std::string_view::npos;
         start = end + 1, end = path.find(CFilePath::kSeparator, start)) {
        // "a//b" names the folder that "a/b" names.
        if (end > start) {
            folder =
                OpenSubfolder(folder.Get(), std::string(path.substr(start, end - start)), create);
        }
    }
    name = path.substr(start);
    return folder;
}

CFileDescriptor CConfinedFolder::OpenFile(std::string_view path, int flags,
                                          bool createFolders) const {
    std::string name;
    const CFileDescriptor folder = OpenFolderOf(path, createFolders, name);
    if (!folder.IsValid()) {
        return {};
    }
    struct stat info {};
    return OpenFileIn(folder.Get(), name, flags, info);
}

CFileDescriptor CConfinedFolder::OpenFileIn(int folder, const std::string& name, int flags,
                                            struct stat& info) {
    if (name.empty()) {
        errno = EISDIR;
        return {};
    }
    CFileDescriptor file(
        ::openat(folder, name.c_str(), flags | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0666));
    if (!file.IsValid() || !IsPlainFile(file.Get(), info)) {
        return {};
    }
    // Only the open had to be spared a pipe's wait for its other end. Reads
    // of a plain file take no notice of the flag; writes get their waits
    // back, which some file systems would otherwise refuse.
    if ((flags & O_ACCMODE) != O_RDONLY) {
        ::fcntl(file.Get(), F_SETFL, ::fcntl(file.Get(), F_GETFL) & ~O_NONBLOCK);
    }
    return file;
}

bool CConfinedFolder::RemoveFile(std::string_view path) const {
    std::string name;
    const CFileDescriptor folder = OpenFolderOf(path, false, name);
    return folder.IsValid() && !name.empty() && ::unlinkat(folder.Get(), name.c_str(), 0) == 0;
}

bool CConfinedFolder::IsInside(std::string_view path) const {
    return path.size() > m_root.size() && path.starts_with(m_root) &&
           path.find('\0') == std::string_view::npos && !HasDotSegment(path.substr(m_root.size()));
}
