#include "engine/quillmoor_doc.h"

#include <algorithm>
#include <filesystem>
#include <new>

#include "base/errors.h"
#include "base/file_stream.h"
#include "base/replacement_file.h"
#include "base/url.h"
#include "engine/crawl_journal.h"
#include "engine/project_lock.h"
#include "storage/file_path.h"

namespace {

// The file holds the site's password in plain text.
constexpr unsigned kProjectFileMode = 0600;
// A journal longer than this and than twice the project file is folded in by
// the autosave, so that reopening a project never replays an endless one.
constexpr std::uint64_t kJournalFoldSize = 64ULL << 20;

std::string AbsolutePath(const std::string& path) {
    std::error_code error;
    const std::filesystem::path absolute = std::filesystem::absolute(path, error);
    return error ? path : absolute.lexically_normal().string();
}

// Whether a read stopped because the file had ended: what a truncated file
// looks like, as opposed to one whose values are wrong.
bool IsAtEnd(CStream& stream) {
    try {
        return stream.GetPosition() >= stream.GetLength();
    } catch (const CStreamException&) {
        return false;
    }
}

bool NameIsTaken(const std::string& path) {
    std::error_code error;
    return std::filesystem::symlink_status(path, error).type() !=
           std::filesystem::file_type::not_found;
}

}  // namespace

CQuillmoorDoc::CQuillmoorDoc(CMessageTarget* window, CDownloadManager::WorkerFactory factory)
    : m_window(window), m_factory(std::move(factory)) {}

CQuillmoorDoc::~CQuillmoorDoc() {
    DeleteContents();
}

const char* CQuillmoorDoc::GetLoadErrorMessage(LoadError error) {
    switch (error) {
        case LoadError::None:
            return "";
        case LoadError::UnexpectedFormat:
            return "Unexpected file format.";
        case LoadError::IncompatibleVersion:
            return "Incompatible file version";
        case LoadError::OpenFailed:
            break;
    }
    return "Failed to open document.";
}

std::string CQuillmoorDoc::ProposeFileName(const CUrl& startUrl) {
    std::string name = startUrl.GetHost();
    std::replace(name.begin(), name.end(), '.', '_');
    return name;
}

bool CQuillmoorDoc::WriteNewProject(const std::string& path, const CProjectSettings& settings) {
    try {
        CReplacementFile file(path, kProjectFileMode);
        CStream& stream = file.GetStream();
        stream << kProductName << kFileVersion << kProjectSection;
        settings.Store(stream);
        file.Commit(true);
        // A journal left beside an earlier project of this name is not this
        // one's.
        std::error_code ignored;
        std::filesystem::remove(CCrawlJournal::PathFor(path), ignored);
        return true;
    } catch (const CStreamException&) {
        return false;
    }
}

bool CQuillmoorDoc::NewProject(const std::string& path, const CProjectSettings& settings) {
    if (!WriteNewProject(path, settings)) {
        m_loadError = LoadError::OpenFailed;
        return false;
    }
    return OpenDocument(path);
}

bool CQuillmoorDoc::OpenDocument(const std::string& path) {
    const std::string absolute = AbsolutePath(path);
    std::error_code error;
    // An empty file is no project yet; the application offers a new one instead.
    if (!std::filesystem::is_regular_file(absolute, error) ||
        std::filesystem::file_size(absolute, error) == 0 || error) {
        m_loadError = LoadError::OpenFailed;
    } else {
        try {
            CFileStream stream;
            stream.Open(absolute, CFileStream::modeRead);
            m_loadError = Load(stream);
        } catch (const CStreamException&) {
            m_loadError = LoadError::OpenFailed;
        }
    }
    m_modified = false;
    if (m_loadError != LoadError::None) {
        DeleteContents();
        return false;
    }
    if (absolute != m_path) {
        m_lock.reset();
    }
    m_path = absolute;
    m_autoSaveDue = std::chrono::steady_clock::now() + m_autoSaveInterval;
    OpenJournal();
    ChooseDownloadFolder();
    return true;
}

void CQuillmoorDoc::OpenJournal() {
    CJournalIdentity identity;
    if (!m_controller->HasManager() || !IdentityOfFile(m_path, identity)) {
        return;
    }
    m_projectSize = identity.size;
    const std::string path = CCrawlJournal::PathFor(m_path);
    CJournalContents contents = ReadJournal(path, identity);
    bool temporary = false;
    if (!contents.matches) {
        contents = ReadJournal(CCrawlJournal::TemporaryPathFor(path), identity);
        temporary = contents.matches;
    }
    std::uint64_t validLength = contents.validLength;
    if (!contents.records.empty()) {
        const std::size_t made = m_controller->Replay(contents.records);
        // Appended after a record that does not fit, a record would never be
        // read again.
        if (made < contents.records.size()) {
            validLength = made > 0 ? contents.records[made - 1].end : 0;
            temporary = temporary && made > 0;
        }
        m_modified = made > 0;
    }
    m_journal = std::make_unique<CCrawlJournal>(path, identity, validLength, temporary);
    if (validLength > 0 && !contents.records.empty()) {
        m_journal->NoteReplayed();
    }
    m_controller->GetManager()->SetJournal(m_journal.get());
}

void CQuillmoorDoc::EnsureJournal(const std::string& projectPath) {
    if (m_journal || !m_controller->HasManager()) {
        return;
    }
    m_journal =
        std::make_unique<CCrawlJournal>(CCrawlJournal::PathFor(projectPath), CJournalIdentity{}, 0);
    m_controller->GetManager()->SetJournal(m_journal.get());
}

bool CQuillmoorDoc::JournalOutgrown() const {
    return m_journal->GetSize() > std::max(kJournalFoldSize, 2 * m_projectSize);
}

void CQuillmoorDoc::ChooseDownloadFolder() {
    const std::string storedFolder = m_settings->GetStoredFolder();
    // The folder is always saved below the project file's folder, so that the
    // two can move together; an absolute one, or one that climbs out with
    // "..", would come from elsewhere and send the downloads there.
    if (!storedFolder.empty() && storedFolder.front() != '/' && storedFolder.front() != '\\' &&
        !HasDotSegment(storedFolder)) {
        const CFilePath candidate = CFilePath::Combine(m_path, storedFolder);
        if (!candidate.IsEmpty() && FolderExists(candidate.GetFullPath())) {
            m_settings->SetFolders(candidate.GetFullPath(), storedFolder);
            return;
        }
    }
    const CFilePath project(m_path);
    const std::string base = project.GetDrive() + project.GetDir() + project.GetTitle();
    std::string folder = base + kFolderExtension;
    for (int suffix = 1; NameIsTaken(folder); ++suffix) {
        folder = base + "_" + std::to_string(suffix) + kFolderExtension;
    }
    m_settings->SetFolders(folder, CFilePath(folder).MakeRelativeTo(project).GetFullPath());
}

bool CQuillmoorDoc::SaveDocument(const std::string& path) {
    if (!IsOpen()) {
        return false;
    }
    m_autoSaveDue = std::chrono::steady_clock::now() + m_autoSaveInterval;
    std::string absolute;
    try {
        absolute = AbsolutePath(path);
        // A save that was killed left its temporary file, which holds the
        // site's password; it goes with the next save.
        CReplacementFile::RemoveAbandoned(absolute);
        CReplacementFile file(absolute, kProjectFileMode);
        CIdentityStream stream(file.GetStream());
        EnsureJournal(absolute);
        Store(stream);
        const auto commit = [&file] { file.Commit(true); };
        if (m_journal) {
            m_journal->CompleteFold(CCrawlJournal::PathFor(absolute), stream.GetIdentity(), commit);
        } else {
            commit();
        }
        m_projectSize = stream.GetIdentity().size;
    } catch (const CStreamException&) {
        return KeepOldFile();
    } catch (const std::bad_alloc&) {
        return KeepOldFile();
    }
    m_path = absolute;
    m_modified = false;
    return true;
}

bool CQuillmoorDoc::KeepOldFile() {
    if (m_journal) {
        m_journal->AbandonFold();
    }
    // Storing cleared the crawl's flags, but the file still holds the old
    // project.
    m_modified = true;
    return false;
}

void CQuillmoorDoc::DeleteContents() {
    m_controller.reset();
    m_journal.reset();
    m_settings.reset();
    m_lock.reset();
}

bool CQuillmoorDoc::LockProject(pid_t& holder) {
    if (m_lock) {
        return true;
    }
    auto lock = std::make_unique<CProjectLock>();
    if (!lock->Acquire(m_path, holder)) {
        return false;
    }
    m_lock = std::move(lock);
    return true;
}

void CQuillmoorDoc::SetAutoSaveInterval(std::chrono::milliseconds interval) {
    m_autoSaveInterval = interval;
    m_autoSaveDue = std::chrono::steady_clock::now() + interval;
}

bool CQuillmoorDoc::AutoSaveIfDue() {
    if (std::chrono::steady_clock::now() < m_autoSaveDue) {
        return true;
    }
    m_autoSaveDue = std::chrono::steady_clock::now() + m_autoSaveInterval;
    if (!IsOpen() || m_controller->GetState() != Running) {
        return true;
    }
    if (m_journal && m_journal->IsHealthy() && !JournalOutgrown() && m_journal->Sync()) {
        return true;
    }
    return Save();
}

bool CQuillmoorDoc::SaveModified(const AskToSave& ask) {
    if (!IsModified()) {
        return true;
    }
    m_modified = true;
    std::string name = m_path.empty() ? GetTitle() : CFilePath(m_path).GetName();
    if (name.empty()) {
        name = "Untitled";
    }
    switch (ask("Save changes to " + name + "?")) {
        case SaveAnswer::Yes:
            return Save();
        case SaveAnswer::No:
            return true;
        case SaveAnswer::Cancel:
            break;
    }
    return false;
}

bool CQuillmoorDoc::CanClose() const {
    return !IsOpen() || m_controller->GetState() != Running;
}

bool CQuillmoorDoc::IsModified() const {
    return IsOpen() && (m_modified || m_controller->IsModified());
}

std::string CQuillmoorDoc::GetTitle() const {
    return CFilePath(m_path).GetTitle();
}

void CQuillmoorDoc::Store(CStream& stream) {
    stream << kProductName << kFileVersion << kProjectSection;
    m_settings->Store(stream);
    if (m_controller->HasManager()) {
        stream << kManagerSection;
        m_controller->Store(stream);
    }
}

CQuillmoorDoc::LoadError CQuillmoorDoc::Load(CStream& stream) {
    auto settings = std::make_unique<CProjectSettings>();
    auto controller = std::make_unique<CCrawlController>(*settings, m_factory);
    const LoadError error = LoadSections(stream, *settings, *controller);
    if (error == LoadError::None) {
        DeleteContents();
        m_settings = std::move(settings);
        m_controller = std::move(controller);
    }
    return error;
}

CQuillmoorDoc::LoadError CQuillmoorDoc::LoadSections(CStream& stream, CProjectSettings& settings,
                                                     CCrawlController& controller) {
    std::string tag;
    try {
        stream >> tag;
    } catch (const CStreamException&) {
        return LoadError::UnexpectedFormat;
    }
    if (tag != kProductName) {
        return LoadError::UnexpectedFormat;
    }
    try {
        stream >> tag;
        if (tag != kFileVersion) {
            return LoadError::IncompatibleVersion;
        }
        stream >> tag;
        if (tag != kProjectSection) {
            return LoadError::OpenFailed;
        }
        settings.Load(stream);
        // A project that never crawled ends here. Anything after the settings
        // must be a whole tag: a cut one is a truncated file, whose crawl
        // would otherwise be lost without a word.
        if (!IsAtEnd(stream)) {
            stream >> tag;
        }
        if (tag == kManagerSection) {
            controller.Load(stream, m_window);
        } else {
            controller.New(m_window);
        }
    } catch (const CStreamException&) {
        return IsAtEnd(stream) ? LoadError::UnexpectedFormat : LoadError::OpenFailed;
    }
    return LoadError::None;
}
