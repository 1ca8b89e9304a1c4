#include "chm/chm_compilation.h"

#include <cstdio>

#include "base/url.h"
#include "platform/move_file.h"
#include "storage/local_file_mapping.h"

namespace {

CFilePath Generated(const std::string& folder, const std::string& title, const char* extension) {
    return CFilePath("", folder, title, extension);
}

void RemoveFile(const CFilePath& file) {
    std::remove(file.GetFullPath().c_str());
}

}  // namespace

CChmCompilation::CChmCompilation(const CFilePath& downloadFolder, const CFilePath& target)
    : m_downloadFolder(downloadFolder), m_target(target) {
    const std::string folder = downloadFolder.GetFolderPath();
    const std::string& title = target.GetTitle();
    m_builder.SetProjectFile(Generated(folder, title, ".hhp"));
    m_builder.SetContentsFile(Generated(folder, title, ".hhc"));
    m_builder.SetIndexFile(Generated(folder, title, ".hhk"));
    m_builder.SetCompiledFile(Generated(folder, title, ".chm"));
    m_builder.SetTitle(title);
    m_builder.SetSourceFolder(downloadFolder);
}

CChmCompilation::~CChmCompilation() {
    Finish();
}

bool CChmCompilation::Start(const CUrl& startUrl, const std::string& storedPath,
                            CMessageTarget* reportWindow) {
    if (storedPath.empty()) {
        return false;
    }
    std::string localPath;
    CLocalFileMapping(m_downloadFolder).StoredToLocalPath(startUrl, storedPath, localPath);
    if (localPath.empty()) {
        return false;
    }
    m_builder.SetDefaultTopic(CFilePath(localPath));
    m_builder.SetReportWindow(reportWindow);
    // A compiled file left by an earlier run must not pass for this one's.
    RemoveFile(m_builder.GetCompiledFile());
    m_started = m_thread.Start(0);
    return m_started;
}

void CChmCompilation::Cancel() {
    m_cancelled = true;
    m_thread.Stop();
}

bool CChmCompilation::Finish() {
    if (m_thread.Stop()) {
        m_cancelled = true;
    }
    bool moved = false;
    if (m_started && !m_cancelled && GetResult() == ERR_SUCCESS) {
        // A compiled file that cannot be moved stays where it is rather
        // than being lost.
        moved =
            MoveFileReplacing(m_builder.GetCompiledFile().GetFullPath(), m_target.GetFullPath());
    } else {
        RemoveFile(m_builder.GetCompiledFile());
    }
    RemoveFile(m_builder.GetProjectFile());
    RemoveFile(m_builder.GetContentsFile());
    RemoveFile(m_builder.GetIndexFile());
    return moved;
}

const char* GetChmEndMessage(ResultCode result, LPARAM phase) {
    if (phase == kChmPhaseCount && result == ERR_CHM_NO_FILES) {
        return "No file to compile!";
    }
    if (phase == kChmPhaseCompile && result == ERR_CHM_LOAD_COMPILER) {
        return "Can't load the compiler!";
    }
    if (phase == kChmPhaseCompile && result == ERR_CHM_COMPILE) {
        return "Error compiling the files!";
    }
    return nullptr;
}

const char* GetChmPhaseLabel(LPARAM phase) {
    switch (phase) {
        case kChmPhaseWrite:
            return "Preparing...";
        case kChmPhaseCompile:
            return "Compiling...";
        default:
            return nullptr;
    }
}
