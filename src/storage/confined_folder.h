// The files below the download folder, reached without following a
// symbolic link: every folder on the way is opened relative to the one above
// it with O_DIRECTORY|O_NOFOLLOW, and the file itself with O_NOFOLLOW, so
// that a link placed in the folder between two runs (a page that names a
// file elsewhere, a host folder that names another folder) cannot carry a
// write, or a read of what the crawl saved, outside it. The download folder
// itself is the user's choice and may be a link.
#pragma once

#include <sys/stat.h>

#include <string>
#include <string_view>

#include "base/file_descriptor.h"
#include "storage/file_path.h"

class CConfinedFolder {
public:
    explicit CConfinedFolder(const CFilePath& root);

    // The folder that holds path, open for the *at calls, and path's last
    // name in name. With create, the folders missing on the way are made,
    // the root too. An invalid descriptor on failure, with errno set: ELOOP
    // when a symbolic link stands on the way, EPERM when path does not lie
    // below the root or holds "." or ".." segments.
    CFileDescriptor OpenFolderOf(std::string_view path, bool create, std::string& name) const;
    // Opens the file at path with the flags of open(2), mode 0666 when it
    // is created. Besides the failures above, ELOOP when path itself is a
    // link or anything other than a file or folder, such as a pipe, and
    // EISDIR when it is a folder.
    CFileDescriptor OpenFile(std::string_view path, int flags, bool createFolders) const;
    // The same for the file name in a folder that OpenFolderOf opened; info
    // gets the file's status, so that a caller need not ask again.
    static CFileDescriptor OpenFileIn(int folder, const std::string& name, int flags,
                                      struct stat& info);
    // Removes the file at path, or the link that stands there.
    bool RemoveFile(std::string_view path) const;
    // True when path names something strictly below the root.
    bool IsInside(std::string_view path) const;

private:
    std::string m_root;  // ends in '/'
};
