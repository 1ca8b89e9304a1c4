// The commands of the command line that work on a project file: create one,
// crawl it, and look at or clear what it holds. Each takes the arguments
// after the command's name and returns the exit status (2 for a usage error).
#pragma once

#include <istream>
#include <ostream>
#include <string>
#include <vector>

using Arguments = std::vector<std::string>;

// new URL [PROJECT.tkp] [OPTIONS]: writes a new project, by default named
// after the URL's host in the current folder; it downloads into
// PROJECT.files beside the file (or the first free PROJECT_N.files).
int RunNewCommand(const Arguments& arguments, std::ostream& out, std::ostream& err);
// start PROJECT.tkp [--autosave SECONDS] [--no-head]: starts a stopped project or
// resumes a paused one (see CCrawlSession).
int RunStartCommand(const Arguments& arguments, std::ostream& out, std::ostream& err);
// mirror URL [OPTIONS]: new, then start. With --into FOLDER the project
// file is FOLDER.tkp beside that folder.
int RunMirrorCommand(const Arguments& arguments, std::ostream& out, std::ostream& err);
// summary PROJECT.tkp: the four figures of the Project Summary.
int RunSummaryCommand(const Arguments& arguments, std::ostream& out, std::ostream& err);
// clear PROJECT.tkp [--yes]: deletes every URL of the project after asking.
int RunClearCommand(const Arguments& arguments, std::istream& in, std::ostream& out,
                    std::ostream& err);
// list PROJECT.tkp: each URL with its state and the message of its code.
int RunListCommand(const Arguments& arguments, std::ostream& out, std::ostream& err);

// 1234567 as "1,234,567".
std::string FormatThousands(unsigned long long value);
