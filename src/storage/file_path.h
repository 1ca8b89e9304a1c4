// A local file-system path split into its components, with the two path
// computations the rest of the system relies on: the relative path from one
// folder to a file and the resolution of a relative path against a folder.
//
// Paths are POSIX paths: the separator is '/', a '\' in the input is read as
// a separator too (stored paths and URLs written elsewhere may carry them),
// and there is no drive: the root '/' stands where a drive would.
#pragma once

#include <string>
#include <string_view>

class CStream;

class CFilePath {
public:
    static constexpr char kSeparator = '/';

    CFilePath() = default;
    explicit CFilePath(std::string_view path);
    // Composes the parts as the platform composes a path: a separator is
    // added after a directory that lacks one, a dot before an extension
    // that lacks one, and missing parts are left out.
    CFilePath(std::string_view drive, std::string_view directory, std::string_view title,
              std::string_view extension);

    // The path of relative resolved against the folder named by base (whose
    // file-name part is ignored, so callers pass GetFolderPath). Empty when
    // base is not an absolute folder or when ".." segments climb above the
    // root; an absolute relative part is returned as it is.
    static CFilePath Combine(std::string_view base, std::string_view relative);

    void Clear() { *this = CFilePath(); }

    const std::string& GetFullPath() const { return m_fullPath; }
    const std::string& GetDrive() const { return m_drive; }
    const std::string& GetDir() const { return m_directory; }
    const std::string& GetName() const { return m_name; }
    const std::string& GetTitle() const { return m_title; }
    const std::string& GetExt() const { return m_extension; }
    bool IsEmpty() const { return m_fullPath.empty(); }

    // The full path with a trailing separator; "/" for an empty path.
    std::string GetFolderPath() const;

    // This path relative to the folder of base (base's file name is ignored),
    // compared byte for byte as Linux file systems compare names. Empty when
    // the two share no leading folder.
    CFilePath MakeRelativeTo(const CFilePath& base) const;
    // The same on the texts: fullPath as GetFullPath gives it, baseFolder as
    // GetDir does, so that a caller relating many paths to one folder splits
    // neither.
    static std::string RelativePath(std::string_view fullPath, std::string_view baseFolder);

    // A path travels in the project file as its full-path string.
    void Store(CStream& stream) const;
    void Load(CStream& stream);

    bool operator==(const CFilePath& other) const { return m_fullPath == other.m_fullPath; }

private:
    std::string m_fullPath;
    std::string m_drive;
    std::string m_directory;
    std::string m_name;
    std::string m_title;
    std::string m_extension;
};

// The text with every '\' turned into '/'.
std::string ToSlashes(std::string_view text);

// True when a segment of path is "." or "..".
bool HasDotSegment(std::string_view path);

// True when path names an existing directory.
bool FolderExists(std::string_view path);

// Creates every missing folder along path, starting at the root. Refuses a
// path with "." or ".." segments, whose folders would not be the ones named.
bool CreateFolderPath(std::string_view path);
