// The whole Compile CHM File command without a dialog, for the command line:
// builds the help file on its thread while the caller's thread shows the
// progress, and ends when the build does or when the caller cancels.
#pragma once

#include <cstddef>
#include <string>

#include "base/errors.h"
#include "base/url.h"
#include "platform/message_queue.h"
#include "storage/file_path.h"

class CWaitEvent;

// Receives the build's reports on the calling thread.
class CChmProgressSink {
public:
    virtual ~CChmProgressSink() = default;
    virtual void OnBegin(std::size_t range, LPARAM phase) = 0;
    virtual void OnStep(LPARAM phase) = 0;
    // GetChmEndMessage gives the message to show, if any.
    virtual void OnEnd(ResultCode result, LPARAM phase) = 0;
};

struct CChmRequest {
    CFilePath downloadFolder;
    CUrl startUrl;
    // What the download list recorded for the starting URL; empty when it
    // was not downloaded.
    std::string startStoredPath;
    // The .chm file to write.
    CFilePath target;
};

struct CChmOutcome {
    // False when there was nothing to build: the starting URL was not
    // downloaded (the dialog then closes without a word).
    bool started = false;
    bool cancelled = false;
    // What the build returned.
    ResultCode result = ERR_SUCCESS;
    // Whether the compiled file reached the target: a successful build may
    // still fail to move it there (a full disk, a folder gone).
    bool targetWritten = false;
};

// Runs the build to its end, delivering its reports to sink through the
// calling thread's message queue (one is made for the call when the thread
// has none). When cancel is set the build is stopped. The target is written
// only by a successful build; the generated files never outlive the call.
CChmOutcome CompileChmFile(const CChmRequest& request, CChmProgressSink& sink,
                           const CWaitEvent* cancel = nullptr);
