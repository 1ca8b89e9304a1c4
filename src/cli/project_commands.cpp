#include "cli/project_commands.h"

#include <unistd.h>

#include <algorithm>
#include <charconv>
#include <chrono>
#include <filesystem>
#include <fstream>

#include "cli/crawl_session.h"
#include "cli/exit_status.h"
#include "cli/mirror_options.h"
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

int UsageError(std::ostream& err, const std::string& message) {
    err << "tarnwick-cli: " << PrintableText(message) << "\n";
    return kUsageError;
}

// Removes "--autosave SECONDS" from the arguments; fractions are allowed.
bool TakeAutosave(Arguments& arguments, std::chrono::milliseconds& autosave, std::string& error) {
    autosave = kDefaultAutosave;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        if (arguments[i] != "--autosave") {
            continue;
        }
        double seconds = 0;
        const std::string value = i + 1 < arguments.size() ? arguments[i + 1] : "";
        const char* end = value.data() + value.size();
        const auto [rest, failure] = std::from_chars(value.data(), end, seconds);
        if (failure != std::errc() || rest != end || !(seconds >= kMinAutosaveSeconds) ||
            seconds > kMaxAutosaveSeconds) {
            error = "--autosave takes a number of seconds from 0.1 to 3600";
            return false;
        }
        autosave = std::chrono::milliseconds(static_cast<long>(seconds * 1000));
        arguments.erase(arguments.begin() + static_cast<std::ptrdiff_t>(i),
                        arguments.begin() + static_cast<std::ptrdiff_t>(i + 2));
        return true;
    }
    return true;
}

// Removes the flag from the arguments; whether it was there.
bool TakeFlag(Arguments& arguments, const char* name) {
    const auto flag = std::find(arguments.begin(), arguments.end(), name);
    if (flag == arguments.end()) {
        return false;
    }
    arguments.erase(flag);
    return true;
}

// Removes "--max-time SECONDS" from the arguments: the transfer limit of
// this run in whole seconds, 0 for none, in the Transfer Limit's range.
bool TakeMaxTime(Arguments& arguments, CProgramOptions& options, std::string& error) {
    const auto option = std::find(arguments.begin(), arguments.end(), "--max-time");
    if (option == arguments.end()) {
        return true;
    }
    const std::string value = option + 1 != arguments.end() ? *(option + 1) : "";
    int seconds = 0;
    const char* end = value.data() + value.size();
    const auto [rest, failure] = std::from_chars(value.data(), end, seconds);
    if (value.empty() || failure != std::errc() || rest != end || seconds < 0 ||
        seconds > CProgramOptions::kMaxTransferLimit) {
        error = "--max-time takes a number of seconds from 0 (no limit) to " +
                std::to_string(CProgramOptions::kMaxTransferLimit);
        return false;
    }
    options.SetTransferLimit(seconds);
    arguments.erase(option, option + 2);
    return true;
}

// The stored program settings for one crawl; "--no-head", removed from the
// arguments, sends a HEAD only where its answer can spare a body,
// "--no-requisites" fetches only the links of the element table, and
// "--max-time" sets the transfer limit.
bool TakeCrawlOptions(Arguments& arguments, CProgramOptions& options, std::string& error) {
    options.Load();
    if (TakeFlag(arguments, "--no-head")) {
        options.SetHeadRequests(false);
    }
    if (TakeFlag(arguments, "--no-requisites")) {
        options.SetPageRequisites(false);
    }
    return TakeMaxTime(arguments, options, error);
}

// The one argument that names the project file, and the flags allowed beside it.
bool TakeProjectPath(const Arguments& arguments, const std::vector<std::string>& flags,
                     std::string& path, std::vector<std::string>& given, std::string& error) {
    for (const std::string& argument : arguments) {
        if (argument.rfind("--", 0) == 0) {
            if (std::find(flags.begin(), flags.end(), argument) == flags.end()) {
                error = "unknown option " + argument;
                return false;
            }
            given.push_back(argument);
        } else if (path.empty()) {
            path = argument;
        } else {
            error = "more than one project file: " + argument;
            return false;
        }
    }
    if (path.empty()) {
        error = "the command needs a project file";
        return false;
    }
    return true;
}

bool TakeProjectPath(const Arguments& arguments, std::string& path, std::string& error) {
    std::vector<std::string> given;
    return TakeProjectPath(arguments, {}, path, given, error);
}

// The second free-standing argument of "new": the project file's name.
std::string TakeNewProjectPath(Arguments& arguments) {
    int positional = 0;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        if (arguments[i].rfind("--", 0) == 0) {
            ++i;  // the option's value
        } else if (++positional == 2) {
            std::string path = arguments[i];
            arguments.erase(arguments.begin() + static_cast<std::ptrdiff_t>(i));
            return path;
        }
    }
    return {};
}

bool ParseProject(const Arguments& arguments, CMirrorOptions& options, CProjectSettings& settings,
                  std::ostream& err, int& status) {
    std::string error;
    if (!ParseMirrorArguments(arguments, options, error)) {
        status = UsageError(err, error);
        return false;
    }
    if (!BuildProject(options, settings, error)) {
        status = UsageError(err, PrintableText(error));
        return false;
    }
    return true;
}

// Where a crawl's output goes: -q, -v and -o FILE.
struct LogOptions {
    CProgressDisplay::Verbosity verbosity = CProgressDisplay::Verbosity::kNormal;
    std::string file;
};

// Removes the log options from the arguments.
bool TakeLogOptions(Arguments& arguments, LogOptions& log, std::string& error) {
    Arguments rest;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string& argument = arguments[i];
        if (argument == "-q" || argument == "--quiet") {
            log.verbosity = CProgressDisplay::Verbosity::kQuiet;
        } else if (argument == "-v" || argument == "--verbose") {
            log.verbosity = CProgressDisplay::Verbosity::kVerbose;
        } else if (argument == "-o" || argument == "--output-file") {
            if (i + 1 == arguments.size()) {
                error = argument + " needs a file";
                return false;
            }
            log.file = arguments[++i];
        } else {
            rest.push_back(argument);
        }
    }
    arguments = std::move(rest);
    return true;
}

// Runs the crawl of the session that open sets up, with its output where
// the log options send it.
template <typename OpenSession>
int RunCrawl(const LogOptions& log, std::ostream& out, std::ostream& err,
             std::chrono::milliseconds autosave, const CProgramOptions& options, OpenSession open) {
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
    return session.Run(autosave, options);
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
int OpenNamedProject(const Arguments& arguments, CQuillmoorDoc& doc, std::ostream& err) {
    std::string path;
    std::string error;
    if (!TakeProjectPath(arguments, path, error)) {
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
    Arguments rest = arguments;
    std::string path = TakeNewProjectPath(rest);
    CMirrorOptions options;
    CProjectSettings settings;
    int status = 0;
    if (!ParseProject(rest, options, settings, err, status)) {
        return status;
    }
    if (!options.folder.empty() || !options.project.empty()) {
        return UsageError(err,
                          "a project downloads beside its file; --into and --project are "
                          "for mirror");
    }
    // The folder is chosen when the file is opened, beside it.
    settings.SetFolders("", "");
    if (path.empty()) {
        path = DefaultProjectPath(settings);
    }
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
    Arguments rest = arguments;
    std::chrono::milliseconds autosave{};
    LogOptions log;
    std::string path;
    std::string error;
    CProgramOptions crawlOptions;
    if (!TakeCrawlOptions(rest, crawlOptions, error) || !TakeAutosave(rest, autosave, error) ||
        !TakeLogOptions(rest, log, error) || !TakeProjectPath(rest, path, error)) {
        return UsageError(err, error);
    }
    CProjectLock lock;
    if (!LockProject(lock, path, err)) {
        return CCrawlSession::kFailed;
    }
    return RunCrawl(log, out, err, autosave, crawlOptions,
                    [&](CCrawlSession& session) { return session.Open(path); });
}

int RunMirrorCommand(const Arguments& arguments, std::ostream& out, std::ostream& err) {
    Arguments rest = arguments;
    std::chrono::milliseconds autosave{};
    LogOptions log;
    std::string error;
    CProgramOptions crawlOptions;
    if (!TakeCrawlOptions(rest, crawlOptions, error) || !TakeAutosave(rest, autosave, error) ||
        !TakeLogOptions(rest, log, error)) {
        return UsageError(err, error);
    }
    CMirrorOptions options;
    CProjectSettings settings;
    int status = 0;
    if (!ParseProject(rest, options, settings, err, status)) {
        return status;
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
    if (RefuseExisting(path, err)) {
        return CCrawlSession::kFailed;
    }
    return RunCrawl(log, out, err, autosave, crawlOptions, [&](CCrawlSession& session) {
        if (!session.Create(path, settings)) {
            return false;
        }
        if (options.folder.empty() && log.verbosity != CProgressDisplay::Verbosity::kQuiet) {
            NoteOtherFolder(session.GetDocument(), out);
        }
        return true;
    });
}

int RunSummaryCommand(const Arguments& arguments, std::ostream& out, std::ostream& err) {
    CQuillmoorDoc doc(nullptr);
    if (const int status = OpenNamedProject(arguments, doc, err); status != 0) {
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
    std::string path;
    std::vector<std::string> flags;
    std::string error;
    if (!TakeProjectPath(arguments, {"--yes"}, path, flags, error)) {
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
    if (flags.empty()) {
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
    CQuillmoorDoc doc(nullptr);
    if (const int status = OpenNamedProject(arguments, doc, err); status != 0) {
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
    std::string path;
    std::string error;
    if (!TakeProjectPath(arguments, path, error)) {
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
    Arguments rest = arguments;
    const std::string path = rest.empty() || rest.front().starts_with("--") ? "" : rest.front();
    if (path.empty()) {
        return UsageError(err, "set needs a project file and the settings to change");
    }
    rest.erase(rest.begin());
    CProjectLock lock;
    CQuillmoorDoc doc(nullptr);
    if (!OpenLocked(lock, doc, path, err)) {
        return CCrawlSession::kFailed;
    }
    CMirrorOptions options = OptionsOf(doc.GetSettings());
    std::string error;
    if (!ParseSettingArguments(rest, options, error) ||
        !ApplyRules(options, doc.GetSettings(), error)) {
        return UsageError(err, error);
    }
    doc.SetModifiedFlag(true);
    if (!doc.Save()) {
        err << "tarnwick-cli: " << doc.GetPathName() << " could not be saved\n";
        return CCrawlSession::kFailed;
    }
    const CProjectSettings& settings = doc.GetSettings();
    const CCrawlRules& rules = settings.GetRules();
    out << doc.GetPathName() << ": " << settings.GetThreadCount() << " threads, levels "
        << (rules.GetInternalLevels() < 0 ? std::string("all")
                                          : std::to_string(rules.GetInternalLevels()))
        << ", external " << rules.GetExternalLevels() << ", scope "
        << (rules.GetDirectory().empty() ? "domain" : "directory")
        << (rules.AnyFilterEnabled() ? ", filtered" : ", every file") << "\n";
    return 0;
}

Arguments SplitOptionValues(const Arguments& arguments) {
    Arguments split;
    for (const std::string& argument : arguments) {
        const std::size_t equals = argument.find('=');
        if (argument.starts_with("--") && equals != std::string::npos) {
            split.push_back(argument.substr(0, equals));
            split.push_back(argument.substr(equals + 1));
        } else {
            split.push_back(argument);
        }
    }
    return split;
}
