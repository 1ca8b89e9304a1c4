#include "platform/move_file.h"

#include <stdlib.h>
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

}  // namespace

bool MoveFileReplacing(const std::string& from, const std::string& to) {
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
