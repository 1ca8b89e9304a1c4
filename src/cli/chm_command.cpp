#include "cli/chm_command.h"

#include <unistd.h>

#include <filesystem>
#include <optional>
#include <string>

#include "chm/compile_chm_file.h"
#include "cli/chm_progress_display.h"
#include "cli/crawl_session.h"
#include "cli/interrupt_watch.h"
#include "cli/printable_text.h"
#include "cli/progress_display.h"
#include "engine/download_task.h"
#include "engine/quillmoor_doc.h"
#include "engine/result_text.h"

namespace fs = std::filesystem;

namespace {

constexpr int kUsageError = 2;
constexpr const char* kChmExtension = ".chm";

int Fail(std::ostream& err, const std::string& message) {
    err << "tarnwick-cli: " << PrintableText(message) << "\n";
    return CCrawlSession::kFailed;
}

bool TakePaths(const Arguments& arguments, std::string& project, std::string& target,
               std::string& error) {
    if (arguments.size() != 2) {
        error = "chm needs the project file and the .chm file to write";
        return false;
    }
    project = arguments[0];
    target = arguments[1];
    return true;
}

// As the save dialog takes it: absolute, with the .chm extension added to a
// name that has none, in a folder that exists.
bool ResolveTarget(const std::string& argument, fs::path& target, std::string& error) {
    std::error_code failure;
    target = fs::absolute(argument, failure).lexically_normal();
    if (failure || !target.has_filename()) {
        error = argument + " does not name a file";
        return false;
    }
    if (!target.has_extension()) {
        target += kChmExtension;
    }
    if (!fs::is_directory(target.parent_path(), failure)) {
        error = "the folder " + target.parent_path().string() + " does not exist";
        return false;
    }
    if (fs::is_directory(target, failure)) {
        error = target.string() + " is a folder";
        return false;
    }
    return true;
}

// What the Compile CHM File dialog starts from: the download folder and the
// starting URL's stored path. The list holds the starting URL without its
// fragment, so that is the one looked up.
CChmRequest MakeRequest(CQuillmoorDoc& doc, const fs::path& target) {
    CChmRequest request;
    request.downloadFolder = CFilePath(doc.GetSettings().GetDownloadFolder());
    request.startUrl = RemoveFragment(doc.GetSettings().GetStartUrl());
    if (CDownloadManager* manager = doc.GetController().GetManager()) {
        request.startStoredPath = manager->GetList().GetStoredPath(request.startUrl);
    }
    request.target = CFilePath(target.string());
    return request;
}

// The build's thread starts inside CompileChmFile and takes the blocked
// interrupts with it, which keeps them from ending its waits early; its first
// report shows that it runs, and from there this thread takes them again.
class CInterruptsAwayFromBuild : public CChmProgressSink {
public:
    explicit CInterruptsAwayFromBuild(CChmProgressSink& sink) : m_sink(sink) {
        m_blocked.emplace();
    }

    void OnBegin(std::size_t range, LPARAM phase) override {
        m_blocked.reset();
        m_sink.OnBegin(range, phase);
    }
    void OnStep(LPARAM phase) override { m_sink.OnStep(phase); }
    void OnEnd(ResultCode result, LPARAM phase) override { m_sink.OnEnd(result, phase); }

private:
    CChmProgressSink& m_sink;
    std::optional<CInterruptsBlocked> m_blocked;
};

CChmOutcome Compile(const CChmRequest& request, CChmProgressDisplay& display) {
    const CInterruptWatch interrupts;
    CInterruptsAwayFromBuild sink(display);
    const CChmOutcome outcome = CompileChmFile(request, sink, &interrupts.GetEvent());
    display.Finish();
    return outcome;
}

int Report(const CChmOutcome& outcome, const CChmRequest& request,
           const CChmProgressDisplay& display, std::ostream& out, std::ostream& err) {
    const std::string& target = request.target.GetFullPath();
    if (!outcome.started) {
        return Fail(err, "the starting URL " + request.startUrl.GetSourceText() +
                             " was not downloaded, so there is no page for the help file to "
                             "open with; nothing was compiled");
    }
    if (outcome.cancelled) {
        out << "Compilation cancelled; " << PrintableText(target) << " was not written.\n";
        return CCrawlSession::kInterrupted;
    }
    if (outcome.result != ERR_SUCCESS) {
        if (!display.ShowedMessage()) {
            err << "tarnwick-cli: the help file could not be built: "
                << DescribeResult(outcome.result) << "\n";
        }
        return CCrawlSession::kFailed;
    }
    if (!outcome.targetWritten) {
        // The build leaves a file it could not move where it wrote it, named
        // after the target in the download folder.
        const CFilePath compiled("", request.downloadFolder.GetFolderPath(),
                                 request.target.GetTitle(), kChmExtension);
        return Fail(err, "the compiled file could not be moved to " + target + "; it is kept as " +
                             compiled.GetFullPath());
    }
    out << "Compiled " << PrintableText(target) << "\n";
    return CCrawlSession::kCompleted;
}

}  // namespace

int RunChmCommand(const Arguments& arguments, std::ostream& out, std::ostream& err) {
    CCommandLine line;
    int status = 0;
    if (!ReadCommandLine("chm", arguments, line, out, err, status)) {
        return status;
    }
    std::string projectPath;
    std::string targetArgument;
    std::string error;
    fs::path target;
    if (!TakePaths(line.Positional(), projectPath, targetArgument, error)) {
        err << "tarnwick-cli: " << PrintableText(error) << "\n";
        return kUsageError;
    }
    if (!ResolveTarget(targetArgument, target, error)) {
        return Fail(err, error);
    }
    CQuillmoorDoc doc(nullptr);
    if (!doc.OpenDocument(projectPath)) {
        return Fail(err,
                    projectPath + ": " + CQuillmoorDoc::GetLoadErrorMessage(doc.GetLoadError()));
    }
    // The desktop application offers the command only for a stopped project:
    // a paused crawl has not yet pointed its pages' links at the local copies.
    if (doc.GetController().GetState() != Stopped) {
        return Fail(err, "the crawl of " + projectPath +
                             " is paused; finish it with: tarnwick-cli start " + projectPath +
                             " or end it where it is with: tarnwick-cli stop " + projectPath);
    }
    const CChmRequest request = MakeRequest(doc, target);
    CChmProgressDisplay display(out, err, ::isatty(STDOUT_FILENO) == 1);
    const CChmOutcome outcome = Compile(request, display);
    return Report(outcome, request, display, out, err);
}
