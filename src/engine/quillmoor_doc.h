// The project as a document: its settings and its crawl, saved in one project
// file beside the folder that holds the downloads. The command line and the
// desktop application drive the same document; nothing here draws.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "engine/crawl_controller.h"
#include "engine/project_settings.h"

class CCrawlJournal;
class CMessageTarget;
class CProjectLock;
class CStream;
class CUrl;

class CQuillmoorDoc {
public:
    static constexpr const char* kProductName = "Tarnwick";
    static constexpr const char* kFileVersion = "1.0";
    static constexpr const char* kProjectSection = "PROJECT_INFO";
    static constexpr const char* kManagerSection = "MANAGER_INFO";
    static constexpr const char* kProjectExtension = ".tkp";
    static constexpr const char* kFolderExtension = ".files";
    // How long a running crawl goes unsaved at most, unless told otherwise.
    static constexpr std::chrono::seconds kAutoSaveInterval{30};

    enum class LoadError {
        None,
        // A different product's file, or one that ends early.
        UnexpectedFormat,
        // Another version of the format.
        IncompatibleVersion,
        // A missing section tag, a value out of range, a file that cannot
        // be read.
        OpenFailed,
    };
    static const char* GetLoadErrorMessage(LoadError error);

    enum class SaveAnswer { Yes, No, Cancel };
    using AskToSave = std::function<SaveAnswer(const std::string& prompt)>;

    // The window receives the crawl's messages; the factory builds the
    // crawl's workers (the default one fetches from the network).
    explicit CQuillmoorDoc(CMessageTarget* window, CDownloadManager::WorkerFactory factory = {});
    ~CQuillmoorDoc();
    CQuillmoorDoc(const CQuillmoorDoc&) = delete;
    CQuillmoorDoc& operator=(const CQuillmoorDoc&) = delete;

    // The name a new project for the URL is proposed under: its host with
    // every "." replaced by "_", without the extension.
    static std::string ProposeFileName(const CUrl& startUrl);
    // Writes the project file of a new project: the settings and no crawl.
    // False, leaving any old file alone, when it cannot be written.
    static bool WriteNewProject(const std::string& path, const CProjectSettings& settings);
    // Writes the new project's file and opens it, which chooses the
    // download folder beside it.
    bool NewProject(const std::string& path, const CProjectSettings& settings);

    // Loads the project file and finds its download folder again: the stored
    // folder beside the project file when it exists, else the first free
    // name of "<title>.files", "<title>_1.files", ... False, with the reason
    // in GetLoadError, for an empty or unreadable file; the document then
    // holds nothing.
    bool OpenDocument(const std::string& path);
    // Writes the project to a temporary file beside path, syncs it and
    // renames it over path, so that a failed save leaves the old file whole.
    // False when anything could not be written.
    bool SaveDocument(const std::string& path);
    // Saves under the document's own path.
    bool Save() { return SaveDocument(m_path); }
    // Deletes the settings and the controller, and releases the project's
    // lock.
    void DeleteContents();

    // Takes the project's lock for as long as the document stays open: the
    // crawl and the saves after it would otherwise write over those of
    // another front end. A document that holds it keeps it. False, with the
    // holder as CProjectLock::Acquire tells it, when another holds it.
    bool LockProject(pid_t& holder);

    // Counts the new interval from now.
    void SetAutoSaveInterval(std::chrono::milliseconds interval);
    // The interval after the last save, open or change of the interval.
    std::chrono::steady_clock::time_point GetAutoSaveDue() const { return m_autoSaveDue; }
    // Once the autosave is due, makes a running crawl last, so that a crash
    // reopens it paused where it stood, and sets the next one due: the
    // journal beside the project file holds its changes, so it is synced;
    // the whole project is saved only when the journal cannot be written or
    // has grown past the project file. False only when that save failed.
    bool AutoSaveIfDue();

    // Asks whether to save a modified project, with the prompt the user
    // sees; Yes saves. False when the document is to stay open (Cancel, or a
    // failed save).
    bool SaveModified(const AskToSave& ask);
    // A running crawl keeps the document open.
    bool CanClose() const;

    bool IsOpen() const { return m_settings != nullptr; }
    bool IsModified() const;
    void SetModifiedFlag(bool modified) { m_modified = modified; }
    LoadError GetLoadError() const { return m_loadError; }
    const std::string& GetPathName() const { return m_path; }
    // The project file's name without its extension.
    std::string GetTitle() const;

    // Only while IsOpen.
    CProjectSettings& GetSettings() { return *m_settings; }
    CCrawlController& GetController() { return *m_controller; }

    // The product tag, the version, the project section with the settings,
    // and, when the crawl has a manager, the manager section.
    void Store(CStream& stream);
    // Replaces settings and controller by those read; on an error the
    // document keeps what it had.
    LoadError Load(CStream& stream);

private:
    LoadError LoadSections(CStream& stream, CProjectSettings& settings,
                           CCrawlController& controller);
    void ChooseDownloadFolder();
    // Makes the changes of the journal beside the project file again and
    // keeps appending to it.
    void OpenJournal();
    // A journal for a document that has none, so that a save can fold one.
    void EnsureJournal(const std::string& projectPath);
    bool JournalOutgrown() const;
    // After a failed save; always false.
    bool KeepOldFile();

    CMessageTarget* m_window;
    CDownloadManager::WorkerFactory m_factory;
    std::unique_ptr<CProjectSettings> m_settings;
    // The crawl's manager records into it, so it outlives the controller.
    std::unique_ptr<CCrawlJournal> m_journal;
    // Reads the settings, so it goes before them.
    std::unique_ptr<CCrawlController> m_controller;
    // Of the project file last read or written.
    std::uint64_t m_projectSize = 0;
    std::string m_path;
    std::unique_ptr<CProjectLock> m_lock;
    std::chrono::milliseconds m_autoSaveInterval = kAutoSaveInterval;
    std::chrono::steady_clock::time_point m_autoSaveDue;
    bool m_modified = false;
    LoadError m_loadError = LoadError::None;
};
