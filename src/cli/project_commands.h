// The commands of the command line that work on a project file: create one,
// crawl it, and look at or clear what it holds. Each takes the arguments
// after the command's name and returns the exit status (see ExitStatus).
// The commands that change a project hold its lock (CProjectLock) and
// refuse, with status 1, a project that another process holds.
#pragma once

#include <istream>
#include <ostream>
#include <string>
#include <vector>

#include "cli/command_line.h"

// new URL [PROJECT.tkp] [OPTIONS]: writes a new project, by default named
// after the URL's host in the current folder; it downloads into
// PROJECT.files beside the file (or the first free PROJECT_N.files).
int RunNewCommand(const Arguments& arguments, std::ostream& out, std::ostream& err);
// start PROJECT.tkp [OPTIONS]: starts a stopped project or resumes a paused
// one (see CCrawlSession) with the options of this run: --autosave, --no-head,
// --no-requisites, --no-check-certificate, --timeout, --tries, --max-time; -q
// shows only failures, -v every URL a worker takes, -o writes all of it to FILE.
int RunStartCommand(const Arguments& arguments, std::ostream& out, std::ostream& err);
// mirror URL [OPTIONS]: new, then start. The project file is named after
// the host, port and first folder of the URL (MirrorProjectName), or
// --project NAME; with --into FOLDER it is FOLDER.tkp beside that folder.
// When that file exists for the same starting URL, the run updates it.
int RunMirrorCommand(const Arguments& arguments, std::ostream& out, std::ostream& err);
// summary PROJECT.tkp: the four figures of the Project Summary.
int RunSummaryCommand(const Arguments& arguments, std::ostream& out, std::ostream& err);
// clear PROJECT.tkp [--yes]: deletes every URL of the project after asking.
int RunClearCommand(const Arguments& arguments, std::istream& in, std::ostream& out,
                    std::ostream& err);
// list PROJECT.tkp: each URL with its state and the message of its code.
int RunListCommand(const Arguments& arguments, std::ostream& out, std::ostream& err);
// stop PROJECT.tkp: a paused project becomes stopped and its links are
// updated, as when its crawl ends.
int RunStopCommand(const Arguments& arguments, std::ostream& out, std::ostream& err);
// set PROJECT.tkp OPTIONS: changes threads, levels, scope, filters or the
// site's credentials of a stopped or paused project.
int RunSetCommand(const Arguments& arguments, std::ostream& out, std::ostream& err);

// 1234567 as "1,234,567".
std::string FormatThousands(unsigned long long value);
