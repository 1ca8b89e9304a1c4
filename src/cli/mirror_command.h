// "tarnwick-cli mirror": crawls a site with a project that lives in memory,
// driving the crawl controller the way the main window does and pumping the
// window messages on the calling thread.
#pragma once

#include <ostream>

struct CMirrorOptions;

// Runs the crawl to its end, or until Ctrl+C pauses it. Returns the exit
// status: 0 when the crawl completed, 1 when it could not start, 130 when it
// was interrupted.
int RunMirror(const CMirrorOptions& options, std::ostream& out, std::ostream& err);
