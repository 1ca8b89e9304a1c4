#include "storage/file_path.h"

#include <sys/stat.h>

#include <cerrno>
#include <optional>

#include "base/path_segments.h"
#include "base/stream.h"

namespace {

constexpr char kSlash = CFilePath::kSeparator;

bool IsSeparator(char c) {
    return c == '/' || c == '\\';
}

bool IsDotSegment(std::string_view segment) {
    return segment == "." || segment == "..";
}

bool MakeFolder(const std::string& path) {
    // Another worker may create the same folder between our test and our call.
    return ::mkdir(path.c_str(), 0777) == 0 || (errno == EEXIST && FolderExists(path));
}

std::string WithTrailingSeparator(std::string path) {
    if (path.empty() || path.back() != kSlash) {
        path += kSlash;
    }
    return path;
}

}  // namespace

std::string ToSlashes(std::string_view text) {
    std::string result(text);
    for (char& c : result) {
        if (c == '\\') {
            c = kSlash;
        }
    }
    return result;
}

CFilePath::CFilePath(std::string_view path) : m_fullPath(ToSlashes(path)) {
    const std::size_t lastSeparator = m_fullPath.rfind(kSlash);
    const std::size_t nameStart = lastSeparator == std::string::npos ? 0 : lastSeparator + 1;
    m_directory = m_fullPath.substr(0, nameStart);
    m_name = m_fullPath.substr(nameStart);
    const std::size_t dot = m_name.rfind('.');
    m_title = m_name.substr(0, dot);
    m_extension = dot == std::string::npos ? std::string() : m_name.substr(dot);
}

CFilePath::CFilePath(std::string_view drive, std::string_view directory, std::string_view title,
                     std::string_view extension)
    : CFilePath([&] {
          std::string composed(drive);
          composed += directory;
          if (!directory.empty() && !IsSeparator(directory.back())) {
              composed += kSlash;
          }
          composed += title;
          if (!extension.empty() && extension.front() != '.') {
              composed += '.';
          }
          composed += extension;
          return composed;
      }()) {}

CFilePath CFilePath::Combine(std::string_view base, std::string_view relative) {
    // Not const: either may be returned, and a const local is copied out.
    CFilePath basePath(base);
    CFilePath relativePath(relative);
    if (basePath.m_directory.empty() || basePath.m_fullPath.front() != kSlash) {
        return {};
    }
    if (relativePath.IsEmpty()) {
        return basePath;
    }
    if (relativePath.m_fullPath.front() == kSlash) {
        return relativePath;
    }
    const std::optional<std::string> resolved =
        RemoveDotSegments(basePath.m_directory + relativePath.m_fullPath, false);
    if (!resolved) {
        return {};
    }
    return CFilePath(resolved->empty() ? std::string(1, kSlash) : *resolved);
}

std::string CFilePath::GetFolderPath() const {
    return WithTrailingSeparator(m_fullPath);
}

CFilePath CFilePath::MakeRelativeTo(const CFilePath& base) const {
    const std::string relative = RelativePath(m_fullPath, base.m_directory);
    return relative.empty() ? CFilePath() : CFilePath(relative);
}

std::string CFilePath::RelativePath(std::string_view fullPath, std::string_view baseFolder) {
    std::size_t up = 0;
    for (std::size_t end = baseFolder.size(); end > 0; --end) {
        if (!IsSeparator(baseFolder[end - 1])) {
            continue;
        }
        if (fullPath.substr(0, end) == baseFolder.substr(0, end)) {
            std::string relative;
            relative.reserve(up * 3 + fullPath.size() - end);
            for (std::size_t i = 0; i < up; ++i) {
                relative += "../";
            }
            relative += fullPath.substr(end);
            return relative.empty() ? std::string("./") : relative;
        }
        ++up;
    }
    return {};
}

void CFilePath::Store(CStream& stream) const {
    stream << m_fullPath;
}

void CFilePath::Load(CStream& stream) {
    std::string text;
    stream >> text;
    *this = CFilePath(text);
}

bool HasDotSegment(std::string_view path) {
    const std::string text = ToSlashes(path);
    for (std::string_view segment : SplitPathSegments(text)) {
        if (IsDotSegment(segment)) {
            return true;
        }
    }
    return false;
}

bool FolderExists(std::string_view path) {
    struct stat info {};
    const std::string text = ToSlashes(path);
    return !text.empty() && ::stat(text.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

bool CreateFolderPath(std::string_view path) {
    const std::string folder = WithTrailingSeparator(ToSlashes(path));
    if (path.empty() || HasDotSegment(folder)) {
        return false;
    }
    // A relative path starts at its first folder, which must exist already.
    const std::size_t first = folder.find(kSlash);
    if (first > 0 && !FolderExists(folder.substr(0, first))) {
        return false;
    }
    bool creating = false;
    for (std::size_t end = folder.find(kSlash, first + 1); end != std::string::npos;
         end = folder.find(kSlash, end + 1)) {
        const std::string prefix = folder.substr(0, end);
        creating = creating || !FolderExists(prefix);
        if (creating && !MakeFolder(prefix)) {
            return false;
        }
    }
    return true;
}
