// What the Compile CHM File dialog does around a build, apart from drawing:
// names the generated files after the chosen target, runs the build on its
// thread, and afterwards moves the compiled file to the target and deletes
// what the build generated. The command line drives it now, the desktop
// dialog later.
#pragma once

#include <string>

#include "base/errors.h"
#include "chm/chm_builder.h"
#include "chm/chm_thread.h"
#include "storage/file_path.h"

class CMessageTarget;
class CUrl;

class CChmCompilation {
public:
    // The four generated files are named after the target's title (its name
    // without extension) in the download folder: T.hhp, T.hhc, T.hhk, T.chm.
    CChmCompilation(const CFilePath& downloadFolder, const CFilePath& target);
    // Whatever the outcome, as Finish.
    ~CChmCompilation();

    CChmCompilation(const CChmCompilation&) = delete;
    CChmCompilation& operator=(const CChmCompilation&) = delete;

    // Starts the build with the starting URL's page as the default topic,
    // reporting to reportWindow (which must outlive the build). storedPath is
    // what the download list recorded for the starting URL. False, starting
    // nothing, when the starting URL was not downloaded (no stored path, or
    // one that leads outside the download folder) or the thread cannot start.
    bool Start(const CUrl& startUrl, const std::string& storedPath, CMessageTarget* reportWindow);

    // Cancel: stops the build and waits for its thread, delivering the
    // messages sent to the calling thread meanwhile. A cancelled build never
    // replaces the target, even when the compiler won the race and finished.
    void Cancel();
    bool IsRunning() const { return m_thread.WaitForEnd(0) != WAIT_OBJECT_0; }
    // What the build returned, once it has ended.
    ResultCode GetResult() const { return m_thread.GetResult(); }

    // The dialog goes away: stops the build (which counts as a cancel when
    // it was still running), moves the compiled file of a successful build to
    // the target (replacing a file there, across file systems too) and
    // deletes the generated files. After a failed or cancelled build the
    // target is left as it was. True when the target now holds the compiled
    // file; the dialog ignores failures, as nobody is left to tell.
    bool Finish();

    const CChmBuilder& GetBuilder() const { return m_builder; }

private:
    CFilePath m_downloadFolder;
    CFilePath m_target;
    // Declared before the thread, which refers to it until it is stopped.
    CChmBuilder m_builder;
    CChmThread m_thread{m_builder};
    bool m_started = false;
    bool m_cancelled = false;
};

// The message the dialog shows for a phase's end, or null for none.
const char* GetChmEndMessage(ResultCode result, LPARAM phase);
// The label the dialog shows when a phase begins, or null to keep the
// label as it is.
const char* GetChmPhaseLabel(LPARAM phase);
