// Builds a compiled help file from a downloaded site: counts its files,
// writes the contents (.hhc), index (.hhk) and project (.hhp) files beside
// them and runs the HTML Help compiler, reporting each phase to a window.
#pragma once

#include <cstddef>
#include <cstdint>
#include <exception>
#include <string>
#include <vector>

#include "base/errors.h"
#include "platform/message_queue.h"
#include "platform/stop_flag.h"
#include "storage/file_path.h"

class CHtmlNode;
class CMessageTarget;

// Sent: wParam is the range of the phase's progress, lParam the phase.
constexpr UINT WM_CHM_BEGIN = 0x500;
// Posted once per step: wParam 0, lParam the phase.
constexpr UINT WM_CHM_STEP = 0x501;
// Posted: wParam is the phase's result code (0 success), lParam the phase.
constexpr UINT WM_CHM_END = 0x502;

enum ChmPhase : LPARAM {
    kChmPhaseCount = 1,    // counting the files
    kChmPhaseWrite = 2,    // writing the contents, index and project files
    kChmPhaseCompile = 3,  // compiling
};

class CChmBuilder {
public:
    // Thrown by every step of a build once a stop has been requested.
    class CStopped : public std::exception {
    public:
        const char* what() const noexcept override { return "CHM build stopped"; }
    };

    // The language written into every project.
    static constexpr std::uint32_t kLanguage = 0x800;

    CChmBuilder() = default;
    virtual ~CChmBuilder() = default;
    CChmBuilder(const CChmBuilder&) = delete;
    CChmBuilder& operator=(const CChmBuilder&) = delete;

    // The download folder: every page below it goes into the help file.
    void SetSourceFolder(const CFilePath& folder) { m_sourceFolder = folder; }
    void SetContentsFile(const CFilePath& file) { m_contentsFile = file; }
    void SetIndexFile(const CFilePath& file) { m_indexFile = file; }
    void SetProjectFile(const CFilePath& file) { m_projectFile = file; }
    void SetCompiledFile(const CFilePath& file) { m_compiledFile = file; }
    // The page that the help file opens with.
    void SetDefaultTopic(const CFilePath& file) { m_defaultTopic = file; }
    // Empty: the project has no title line.
    void SetTitle(const std::string& title) { m_title = title; }
    // Null: the build reports to nobody.
    void SetReportWindow(CMessageTarget* window) { m_reportWindow = window; }

    const CFilePath& GetSourceFolder() const { return m_sourceFolder; }
    const CFilePath& GetContentsFile() const { return m_contentsFile; }
    const CFilePath& GetIndexFile() const { return m_indexFile; }
    const CFilePath& GetProjectFile() const { return m_projectFile; }
    const CFilePath& GetCompiledFile() const { return m_compiledFile; }
    const CFilePath& GetDefaultTopic() const { return m_defaultTopic; }
    const std::string& GetTitle() const { return m_title; }
    // Full paths of the Flash files found by the last WriteSitemaps.
    const std::vector<std::string>& GetExtraFiles() const { return m_extraFiles; }

    // From any thread: the running build ends at its next step.
    void RequestStop();

    // Runs the three phases. The result of the compiler, ERR_CHM_NO_FILES
    // when the source folder holds no file, ERR_CHM_STOPPED after a stop
    // request, or the code of the failure that ended the build (a stream or
    // tree error, or the errno of a file-system error). A phase that did not
    // run to its end is not reported as ended.
    ResultCode Build();
    // Runs the compiler on the project file, reporting a step for each group
    // of its progress texts. Throws CStopped when a stop was requested,
    // before or during the compilation.
    ResultCode Compile();

    // Appends a folder's item to parentList and leaves item holding it, so
    // that the caller can take it out again.
    void AddFolderEntry(CHtmlNode& parentList, const std::string& folderName, CHtmlNode& item);
    void AddTopicEntry(CHtmlNode& parentList, const std::string& title, const std::string& local);
    void AddIndexEntry(CHtmlNode& parentList, const std::string& keyword, const std::string& local);

    // The number of files (anything but a folder) below folder, at any depth.
    std::size_t CountFiles(const std::string& folder);
    // Adds the pages below folder to the contents and index lists, entries
    // sorted by name byte by byte, subfolders among the files; a subfolder
    // with no page below it is left out. Collects the Flash files it meets.
    // Returns true when it found no page.
    bool AddFolder(const std::string& folder, CHtmlNode& contentsList, CHtmlNode& indexList);
    // Builds and saves the contents and index files.
    void WriteSitemaps();
    // Writes the project file. A path or title with a line end in it would
    // make its own line in the project, so it is refused (ERR_STREAM_DATA).
    void WriteProject();

protected:
    virtual void ReportBegin(WPARAM range, LPARAM phase);
    virtual void ReportStep(WPARAM ignored, LPARAM phase);
    virtual void ReportEnd(WPARAM result, LPARAM phase);

private:
    ResultCode RunPhases();
    // Throws CStopped when a stop was requested.
    void CheckStop();
    void AddPage(const std::string& path, const std::string& name, CHtmlNode& contentsList,
                 CHtmlNode& indexList);
    std::string BuildProjectText() const;
    int OnCompilerProgress(const std::string& text);

    CFilePath m_sourceFolder;
    CFilePath m_contentsFile;
    CFilePath m_indexFile;
    CFilePath m_projectFile;
    CFilePath m_compiledFile;
    CFilePath m_defaultTopic;
    std::string m_title;
    CMessageTarget* m_reportWindow = nullptr;
    std::vector<std::string> m_extraFiles;
    // Each build has its own: concurrent builds never share progress.
    std::string m_previousProgressText;

    CStopFlag m_stop;
};
