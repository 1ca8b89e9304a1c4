#include "cli/project_commands.h"

#include <unistd.h>

#include <charconv>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>

#include "cli/command_line.h"
#include "cli/crawl_session.h"
#include "cli/exit_status.h"
#include "cli/mirror_options.h"
#include "cli/netrc.h"
#include "cli/password_prompt.h"
#include "cli/polite_options.h"
#include "cli/printable_text.h"
#include "cli/progress_display.h"
#include "engine/download_task.h"
#include "engine/program_options.h"
#include "engine/project_lock.h"
#include "engine/quillmoor_doc.h"
#include "engine/result_text.h"
#include "storage/file_path.h"

namespace {

constexpr int kUsageError = kExitUsage;
constexpr std::chrono::seconds kDefaultAutosave{30};
constexpr double kMinAutosaveSeconds = 0.1;
constexpr double kMaxAutosaveSeconds = 3600;
// An hour: a server that sends nothing for longer is not going to.
constexpr int kMaxTimeout = 3600;
constexpr int kMaxTries = 99;

int UsageError(std::ostream& err, const std::string& message) {
    err << "tarnwick-cli: " << PrintableText(message) << "\n";
    return kUsageError;
}

// A whole number within [low, high], or an error that gives the range.
bool ReadWholeNumber(const std::string& name, const std::string& value, int low, int high,
                     int& number, std::string& error) {
    const char* end = value.data() + value.size();
    const auto [rest, failure] = std::from_chars(value.data(), end, number);
    if (value.empty() || failure != std::errc() || rest != end || number < low || number > high) {
        error = name + " takes a whole number from " + std::to_string(low) + " to " +
                std::to_string(high);
        return false;
    }
    return true;
}

// "--autosave SECONDS"; fractions are allowed.
bool ReadAutosave(const CCommandLine& line, std::chrono::milliseconds& autosave,
                  std::string& error) {
    autosave = kDefaultAutosave;
    if (!line.Has("--autosave")) {
        return true;
    }
    const std::string value = line.Value("--autosave");
    double seconds = 0;
    const char* end = value.data() + value.size();
    const auto [rest, failure] = std::from_chars(value.data(), end, seconds);
    if (failure != std::errc() || rest != end || !(seconds >= kMinAutosaveSeconds) ||
        seconds > kMaxAutosaveSeconds) {
        error = "--autosave takes a number of seconds from 0.1 to 3600";
        return false;
    }
    autosave = std::chrono::milliseconds(static_cast<long>(seconds * 1000));
    return true;
}

// The time-outs of this run: --timeout stands for both the connection and
// the request time-out, beyond the settings' own range.
bool ReadTimeouts(const CCommandLine& line, CProgramOptions& options, std::string& error) {
    int seconds = 0;
    if (line.Has("--timeout")) {
        if (!ReadWholeNumber("--timeout", line.Value("--timeout"), 1, kMaxTimeout, seconds,
                             error)) {
            return false;
        }
        options.SetConnectionTimeout(seconds);
        options.SetRequestTimeout(seconds);
    }
    if (line.Has("--max-time")) {
        if (!ReadWholeNumber("--max-time", line.Value("--max-time"), 0,
                             CProgramOptions::kMaxTransferLimit, seconds, error)) {
            error += " (0: no limit)";
            return false;
        }
        options.SetTransferLimit(seconds);
    }
    return true;
}

// The stored program settings as this run changes them.
bool ReadCrawlOptions(const CCommandLine& line, CProgramOptions& options, std::string& error) {
    options.Load();
    if (line.IsOn("--no-head")) {
        options.SetHeadRequests(false);
    }
    if (line.IsOn("--no-requisites")) {
        options.SetPageRequisites(false);
    }
    if (line.IsOn("--no-check-certificate")) {
        options.SetVerifyCertificates(false);
    }
    if (line.Has("--tries")) {
        int tries = 0;
        if (!ReadWholeNumber("--tries", line.Value("--tries"), 1, kMaxTries, tries, error)) {
            return false;
        }
        options.SetRetries(tries);
    }
    return ReadTimeouts(line, options, error) && ReadPoliteRunOptions(line, options, error);
}

// The one free-standing argument that names the project file.
bool TakeProjectPath(const CCommandLine& line, std::string& path, std::string& error) {
    const std::vector<std::string>& positional = line.Positional();
    if (positional.empty()) {
        error = "the command needs a project file";
        return false;
    }
    if (positional.size() > 1) {
        error = "more than one project file: " + positional[1];
        return false;
    }
    path = positional.front();
    return true;
}

// The password from the terminal, or user and password from ~/.netrc, as
// the options ask.
bool CompleteCredentials(CMirrorOptions& options, const std::string& host, std::ostream& err) {
    if (options.askPassword) {
        const std::optional<std::string> password = AskPassword(options.user, err);
        if (!password) {
            err << "tarnwick-cli: no password was read\n";
            return false;
        }
        options.password = *password;
    } else if (options.netrc) {
        std::ifstream file(NetrcPath());
        const std::string text((std::istreambuf_iterator<char>(file)),
                               std::istreambuf_iterator<char>());
        NetrcCredentials found;
        if (!FindNetrcCredentials(text, host, options.user, found)) {
            err << "tarnwick-cli: " << PrintableText(NetrcPath()) << " has no password for "
                << PrintableText(host)
                << (options.user.empty() ? "" : " and user " + PrintableText(options.user)) << "\n";
            return false;
        }
        options.user = found.login;
        options.password = found.password;
    }
    return true;
}

bool ParseProject(const CCommandLine& line, CMirrorOptions& options, CProjectSettings& settings,
                  std::ostream& err, int& status) {
    std::string error;
    if (!ParseMirrorArguments(line, options, error)) {
        status = UsageError(err, error);
        return false;
    }
    if (!BuildProject(options, settings, error) || !ApplyRequestRules(line, settings, error)) {
        status = UsageError(err, PrintableText(error));
        return false;
    }
    if ((options.askPassword || options.netrc) &&
        !CompleteCredentials(options, settings.GetStartUrl().GetHost(), err)) {
        status = CCrawlSession::kFailed;
        return false;
    }
    if (options.askPassword || options.netrc) {
        settings.SetCredentials(options.user, options.password);
    }
    return true;
}

// Where a crawl's output goes: -q, -v and -o FILE.
struct LogOptions {
    CProgressDisplay::Verbosity verbosity = CProgressDisplay::Verbosity::kNormal;
    std::string file;
};

// What one run of a crawl takes from the command line beside the project.
struct RunOptions {
    CProgramOptions program;
    std::chrono::milliseconds autosave{};
    LogOptions log;
};

// The last of -q and -v wins, as each silences the other.
void ReadLogOptions(const CCommandLine& line, LogOptions& log) {
    for (const auto& [name, value] : line.Options()) {
        if ((name == "--quiet" || name == "--verbose") && value == "yes") {
            log.verbosity = name == "--quiet" ? CProgressDisplay::Verbosity::kQuiet
                                              : CProgressDisplay::Verbosity::kVerbose;
        }
    }
    log.file = line.Value("--output-file");
}

bool ReadRunOptions(const CCommandLine& line, RunOptions& run, std::string& error) {
    ReadLogOptions(line, run.log);
    return ReadCrawlOptions(line, run.program, error) && ReadAutosave(line, run.autosave, error);
}

// Runs the crawl of the session that open sets up, with its output where
// the log options send it.
template <typename OpenSession>
int RunCrawl(const RunOptions& run, std::ostream& out, std::ostream& err, OpenSession open) {
    const LogOptions& log = run.log;
    std::ofstream file;
    if (!log.file.empty()) {
        file.open(log.file, std::ios::out | std::ios::trunc);
        if (!file) {
            err << "tarnwick-cli: cannot write the log file " << log.file << "\n";
            return CCrawlSession::kFailed;
        }
    }
    const bool toFile = file.is_open();
    CCrawlSession session(toFile ? file : out, toFile ? file : err,
                          !toFile && ::isatty(STDOUT_FILENO) == 1);
    session.SetVerbosity(log.verbosity);
    if (!open(session)) {
        return CCrawlSession::kFailed;
    }
    return session.Run(run.autosave, run.program);
}

bool LockProject(CProjectLock& lock, const std::string& path, std::ostream& err) {
    pid_t holder = 0;
    if (lock.Acquire(path, holder)) {
        return true;
    }
    err << "tarnwick-cli: " << PrintableText(CProjectLock::DescribeRefusal(path, holder)) << "\n";
    return false;
}

bool RefuseExisting(const std::string& path, std::ostream& err) {
    std::error_code error;
    if (!std::filesystem::exists(path, error)) {
        return false;
    }
    err << "tarnwick-cli: " << PrintableText(path)
        << " already exists; start it with: tarnwick-cli start " << PrintableText(path) << "\n";
    return true;
}

bool ProjectExists(const std::string& path) {
    std::error_code error;
    return std::filesystem::exists(path, error);
}

// A mirror run again updates its project, as long as the project is the one
// the command would have made: the same starting URL.
bool OpenForUpdate(CCrawlSession& session, const std::string& path, const CUrl& url, bool quiet) {
    if (!session.Open(path)) {
        return false;
    }
    const std::string stored = session.GetDocument().GetSettings().GetStartUrl().GetSourceText();
    if (stored != url.GetSourceText()) {
        session.GetErrorStream() << "tarnwick-cli: " << PrintableText(path)
                                 << " already exists for another URL, "
                                 << PrintableText(HideUrlPassword(stored))
                                 << "; give --project NAME to mirror into a new project\n";
        return false;
    }
    if (!quiet) {
        session.GetOutputStream() << PrintableText(path)
                                  << " exists for this URL: updating it (its own options apply; "
                                     "change them with tarnwick-cli set)\n";
    }
    return true;
}

std::string DefaultProjectPath(const CProjectSettings& settings) {
    return CQuillmoorDoc::ProposeFileName(settings.GetStartUrl()) +
           CQuillmoorDoc::kProjectExtension;
}

// "--into FOLDER" keeps its folder: the project file goes beside it, named
// after it, and records it as its download folder.
bool PlaceBesideFolder(CProjectSettings& settings, std::string& projectPath, std::ostream& err) {
    const CFilePath folder(settings.GetDownloadFolder());
    projectPath = folder.GetFullPath() + CQuillmoorDoc::kProjectExtension;
    if (!FolderExists(folder.GetFullPath()) && !CreateFolderPath(folder.GetFullPath())) {
        err << "tarnwick-cli: cannot create the download folder "
            << PrintableText(folder.GetFullPath()) << "\n";
        return false;
    }
    settings.SetFolders(folder.GetFullPath(), folder.GetName());
    return true;
}

// The folder beside a new project is PROJECT.files unless that exists.
void NoteOtherFolder(CQuillmoorDoc& doc, std::ostream& out) {
    const std::string chosen = doc.GetSettings().GetDownloadFolder();
    const CFilePath project(doc.GetPathName());
    const std::string usual = project.GetDrive() + project.GetDir() + project.GetTitle() +
                              CQuillmoorDoc::kFolderExtension;
    if (chosen != usual) {
        out << usual << " exists already; downloading into " << chosen << " instead\n";
    }
}

bool OpenQuietly(CQuillmoorDoc& doc, const std::string& path, std::ostream& err) {
    if (doc.OpenDocument(path)) {
        return true;
    }
    err << "tarnwick-cli: " << PrintableText(path) << ": "
        << CQuillmoorDoc::GetLoadErrorMessage(doc.GetLoadError()) << "\n";
    return false;
}

// Holds the project for this command and opens it without a window.
bool OpenLocked(CProjectLock& lock, CQuillmoorDoc& doc, const std::string& path,
                std::ostream& err) {
    return LockProject(lock, path, err) && OpenQuietly(doc, path, err);
}

// Opens the project that arguments name and nothing else; 0, or the exit
// status of the usage or load error it reported.
int OpenNamedProject(const CCommandLine& line, CQuillmoorDoc& doc, std::ostream& err) {
    std::string path;
    std::string error;
    if (!TakeProjectPath(line, path, error)) {
        return UsageError(err, error);
    }
    return OpenQuietly(doc, path, err) ? 0 : CCrawlSession::kFailed;
}

const char* EntryState(const CDownloadEntry& entry, bool handedOut) {
    if (entry.HasStoredPath()) {
        return "saved";
    }
    switch (entry.GetResultCode()) {
        case ERR_SUCCESS:
            return handedOut ? "requested" : "queued";
        case ERR_ATTEMPT_INTERRUPTED:
            return "interrupted";
        case ERR_NOT_MODIFIED:
            return "unchanged";
        default:
            return "failed";
    }
}

}  // namespace

std::string FormatThousands(unsigned long long value) {
    std::string digits = std::to_string(value);
    for (std::size_t end = digits.size(); end > 3; end -= 3) {
        digits.insert(end - 3, ",");
    }
    return digits;
}

int RunNewCommand(const Arguments& arguments, std::ostream& out, std::ostream& err) {
    CCommandLine line;
    int status = 0;
    if (!ReadCommandLine("new", arguments, line, out, err, status)) {
        return status;
    }
    CMirrorOptions options;
    CProjectSettings settings;
    if (!ParseProject(line, options, settings, err, status)) {
        return status;
    }
    // The folder is chosen when the file is opened, beside it.
    settings.SetFolders("", "");
    const std::string path =
        options.projectFile.empty() ? DefaultProjectPath(settings) : options.projectFile;
    if (RefuseExisting(path, err)) {
        return CCrawlSession::kFailed;
    }
    CQuillmoorDoc doc(nullptr);
    if (!doc.NewProject(path, settings)) {
        err << "tarnwick-cli: the project file " << PrintableText(path)
            << " could not be written\n";
        return CCrawlSession::kFailed;
    }
    out << "Created " << PrintableText(doc.GetPathName()) << " for "
        << PrintableText(settings.GetStartUrl().GetSourceText()) << "; it downloads into "
        << PrintableText(doc.GetSettings().GetDownloadFolder()) << "\n";
    return 0;
}

int RunStartCommand(const Arguments& arguments, std::ostream& out, std::ostream& err) {
    CCommandLine line;
    int status = 0;
    if (!ReadCommandLine("start", arguments, line, out, err, status)) {
        return status;
    }
    RunOptions run;
    std::string path;
    std::string error;
    if (!ReadRunOptions(line, run, error) || !TakeProjectPath(line, path, error)) {
        return UsageError(err, error);
    }
    CProjectLock lock;
    if (!LockProject(lock, path, err)) {
        return CCrawlSession::kFailed;
    }
    return RunCrawl(run, out, err, [&](CCrawlSession& session) { return session.Open(path); });
}

int RunMirrorCommand(const Arguments& arguments, std::ostream& out, std::ostream& err) {
    CCommandLine line;
    int status = 0;
    if (!ReadCommandLine("mirror", arguments, line, out, err, status)) {
        return status;
    }
    RunOptions run;
    std::string error;
    if (!ReadRunOptions(line, run, error)) {
        return UsageError(err, error);
    }
    CMirrorOptions options;
    CProjectSettings settings;
    if (!ParseProject(line, options, settings, err, status)) {
        return status;
    }
    if (!options.projectFile.empty()) {
        return UsageError(err, "more than one URL: " + options.projectFile);
    }
    std::string path =
        (options.project.empty() ? MirrorProjectName(settings.GetStartUrl()) : options.project);
    if (!path.ends_with(CQuillmoorDoc::kProjectExtension)) {
        path += CQuillmoorDoc::kProjectExtension;
    }
    if (options.folder.empty()) {
        settings.SetFolders("", "");
    } else if (!PlaceBesideFolder(settings, path, err)) {
        return CCrawlSession::kFailed;
    }
    CProjectLock lock;
    if (!LockProject(lock, path, err)) {
        return CCrawlSession::kFailed;
    }
    const bool quiet = run.log.verbosity == CProgressDisplay::Verbosity::kQuiet;
    if (ProjectExists(path)) {
        return RunCrawl(run, out, err, [&](CCrawlSession& session) {
            return OpenForUpdate(session, path, settings.GetStartUrl(), quiet);
        });
    }
    return RunCrawl(run, out, err, [&](CCrawlSession& session) {
        if (!session.Create(path, settings)) {
            return false;
        }
        if (options.folder.empty() && !quiet) {
            NoteOtherFolder(session.GetDocument(), out);
        }
        return true;
    });
}

int RunSummaryCommand(const Arguments& arguments, std::ostream& out, std::ostream& err) {
    CCommandLine line;
    int status = 0;
    if (!ReadCommandLine("summary", arguments, line, out, err, status)) {
        return status;
    }
    CQuillmoorDoc doc(nullptr);
    if (status = OpenNamedProject(line, doc, err); status != 0) {
        return status;
    }
    const CDownloadList::Stats stats = doc.GetController().GetStats();
    out << "URLs queued:     " << FormatThousands(stats.queued) << "\n"
        << "URLs requested:  " << FormatThousands(stats.requested) << "\n"
        << "Files written:   " << FormatThousands(stats.written) << "\n"
        << "Bytes Received:  " << FormatThousands(static_cast<unsigned long long>(stats.bytes))
        << "\n";
    return 0;
}

int RunClearCommand(const Arguments& arguments, std::istream& in, std::ostream& out,
                    std::ostream& err) {
    CCommandLine line;
    int status = 0;
    if (!ReadCommandLine("clear", arguments, line, out, err, status)) {
        return status;
    }
    std::string path;
    std::string error;
    if (!TakeProjectPath(line, path, error)) {
        return UsageError(err, error);
    }
    CProjectLock lock;
    CQuillmoorDoc doc(nullptr);
    if (!OpenLocked(lock, doc, path, err)) {
        return CCrawlSession::kFailed;
    }
    const std::size_t count = doc.GetController().GetStats().queued;
    if (count == 0) {
        out << "The project holds no URLs.\n";
        return 0;
    }
    if (!line.Has("--yes")) {
        out << "All the URLs in this project will be deleted. Do you want to do this? [y/N] ";
        out.flush();
        std::string answer;
        std::getline(in, answer);
        if (answer != "y" && answer != "Y" && answer != "yes") {
            out << "Nothing was deleted.\n";
            return 0;
        }
    }
    doc.GetController().ClearUrls();
    doc.SetModifiedFlag(true);
    if (!doc.Save()) {
        err << "tarnwick-cli: " << PrintableText(doc.GetPathName()) << " could not be saved\n";
        return CCrawlSession::kFailed;
    }
    out << "Deleted " << FormatThousands(count) << " URLs.\n";
    return 0;
}

int RunListCommand(const Arguments& arguments, std::ostream& out, std::ostream& err) {
    CCommandLine line;
    int status = 0;
    if (!ReadCommandLine("list", arguments, line, out, err, status)) {
        return status;
    }
    CQuillmoorDoc doc(nullptr);
    if (status = OpenNamedProject(line, doc, err); status != 0) {
        return status;
    }
    CDownloadList& list = doc.GetController().GetManager()->GetList();
    const std::size_t handedOut = list.GetStats().requested;
    list.RewindView();
    for (std::size_t index = 0; const CDownloadEntry* entry = list.NextViewEntry(); ++index) {
        const ResultCode code = entry->GetResultCode();
        out << EntryState(*entry, index < handedOut) << "\t"
            << PrintableText(HideUrlPassword(entry->GetUrlText()));
        if (code != ERR_SUCCESS) {
            out << "\t" << DescribeResult(code);
        }
        out << "\n";
    }
    return 0;
}

int RunStopCommand(const Arguments& arguments, std::ostream& out, std::ostream& err) {
    CCommandLine line;
    int status = 0;
    if (!ReadCommandLine("stop", arguments, line, out, err, status)) {
        return status;
    }
    std::string path;
    std::string error;
    if (!TakeProjectPath(line, path, error)) {
        return UsageError(err, error);
    }
    CProjectLock lock;
    if (!LockProject(lock, path, err)) {
        return CCrawlSession::kFailed;
    }
    CCrawlSession session(out, err, ::isatty(STDOUT_FILENO) == 1);
    if (!session.Open(path)) {
        return CCrawlSession::kFailed;
    }
    return session.StopPaused();
}

int RunSetCommand(const Arguments& arguments, std::ostream& out, std::ostream& err) {
    CCommandLine line;
    int status = 0;
    if (!ReadCommandLine("set", arguments, line, out, err, status)) {
        return status;
    }
    if (line.Positional().empty() || line.Options().empty()) {
        return UsageError(err, "set needs a project file and the settings to change");
    }
    const std::string path = line.Positional().front();
    CProjectLock lock;
    CQuillmoorDoc doc(nullptr);
    if (!OpenLocked(lock, doc, path, err)) {
        return CCrawlSession::kFailed;
    }
    CProjectSettings& settings = doc.GetSettings();
    CMirrorOptions options = OptionsOf(settings);
    std::string error;
    if (!ParseSettingArguments(line, options, error) || !ApplyRules(options, settings, error) ||
        !ApplyRequestRules(line, settings, error)) {
        return UsageError(err, PrintableText(error));
    }
    if (options.passwordGiven || options.askPassword || options.netrc) {
        if (!CompleteCredentials(options, settings.GetStartUrl().GetHost(), err)) {
            return CCrawlSession::kFailed;
        }
        settings.SetCredentials(options.user, options.password);
    }
    doc.SetModifiedFlag(true);
    if (!doc.Save()) {
        err << "tarnwick-cli: " << PrintableText(doc.GetPathName()) << " could not be saved\n";
        return CCrawlSession::kFailed;
    }
    const CCrawlRules& rules = settings.GetRules();
    out << PrintableText(doc.GetPathName()) << ": " << settings.GetThreadCount()
        << " threads, levels "
        << (rules.GetInternalLevels() < 0 ? std::string("all")
                                          : std::to_string(rules.GetInternalLevels()))
        << ", external " << rules.GetExternalLevels() << ", scope "
        << (rules.GetDirectory().empty() ? "domain" : "directory")
        << (rules.AnyFilterEnabled() ? ", filtered" : ", every file")
        << (settings.GetUser().empty() ? "" : ", user " + PrintableText(settings.GetUser()))
        << "\n";
    return 0;
}
