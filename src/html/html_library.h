// The process-wide state of libxml2, which parses and writes every HTML page.
#pragma once

// Initialize prepares libxml2 once per process and keeps its diagnostics off
// the terminal: a crawl meets broken pages all the time, and the parser would
// print a report for each of them. Every HTML document calls it, so no code
// path can parse with the library unprepared; it is cheap after the first call.
//
// The program's main() holds one CHtmlLibrary for its whole run, so that the
// library's global state is released at exit. No HTML document may be used
// after that object is gone.
class CHtmlLibrary {
public:
    CHtmlLibrary() { Initialize(); }
    ~CHtmlLibrary();
    CHtmlLibrary(const CHtmlLibrary&) = delete;
    CHtmlLibrary& operator=(const CHtmlLibrary&) = delete;

    static void Initialize();
};
