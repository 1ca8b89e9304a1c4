#include "platform/move_file.h"

#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <system_error>

namespace {

// A copy of from under a fresh name in the folder of to; empty on failure.
std::string CopyBeside(const std::string& from, const std::string& to) {
    std::string temporary = to + ".XXXXXX";
    const int fd = ::mkstemp(temporary.data());
    if (fd < 0) {
        return {};
    }
    ::close(fd);
    std::error_code error;
    std::filesystem::copy_file(from, temporary, std::filesystem::copy_options::overwrite_existing,
                               error);
    if (error) {
        std::remove(temporary.c_str());
        return {};
    }
    return temporary;
}

// The moved file is made where another program put it, in a folder others may
// write to: a link placed there would be moved to where the user wants a file,
// or across file systems the file it names would be copied there.
bool IsPlainFile(const std::string& path) {
    struct stat info {};
    return ::lstat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

}  // namespace

bool MoveFileReplacing(const std::string& from, const std::string& to) {
    if (!IsPlainFile(from)) {
        return false;
    }
    if (std::rename(from.c_str(), to.c_str()) == 0) {
        return true;
    }
    if (errno != EXDEV) {
        return false;
    }
    const std::string copy = CopyBeside(from, to);
    if (copy.empty()) {
        return false;
    }
    if (std::rename(copy.c_str(), to.c_str()) != 0) {
        std::remove(copy.c_str());
        return false;
    }
    std::remove(from.c_str());
    return true;
}
