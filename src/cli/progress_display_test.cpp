#include "cli/progress_display.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>

#include "engine/download_task.h"

namespace {

CDownloadTask Task(const std::string& url, ResultCode code, const std::string& storedPath = {},
                   int httpStatus = 0) {
    CDownloadTask task;
    task.response.status = httpStatus;
    CUrl parsed;
    parsed.Parse(url);
    task.item = CLinkItem(parsed, 0, true);
    task.resultCode = code;
    task.storedPath = storedPath;
    return task;
}

TEST(ProgressDisplayTest, LogModePrintsOneLinePerEventAndStatusOnlyWhenItChanges) {
    std::ostringstream out;
    std::ostringstream err;
    CProgressDisplay display(out, false, 2);
    display.SetErrorStream(err);
    display.SetWorkerUrl(0, 1, "http://h/a");
    display.SetWorkerProgress(0, 50, 100);
    display.Redraw();  // nothing is redrawn outside a terminal
    display.AddBytes(3000);
    display.FileSaved(0, Task("http://h/a", ERR_SUCCESS, "h/a.htm"));
    display.UrlFailed(1, Task("http://h/b", ERR_HTTP_CLIENT_ERROR, "", 404));
    display.UrlFailed(1, Task("http://h/c.zip", ERR_CLIENT_RULE));
    display.UrlFailed(1, Task("http://h/private/", ERR_ROBOTS_DISALLOWED));
    display.Tick();
    display.Tick();  // same figures would repeat the line... they changed: 0 B/s
    display.Tick();
    display.Finish();
    EXPECT_EQ(out.str(),
              "saved  http://h/a -> h/a.htm\n"
              "skipped http://h/c.zip (filter: size)\n"
              "skipped http://h/private/ (robots.txt)\n"
              "1 file saved, 2.9 KB/s\n"
              "1 file saved, 0 B/s\n");
    EXPECT_EQ(err.str(), "failed http://h/b (404 Not Found)\n");
    EXPECT_EQ(display.GetFilesSaved(), 1);
    EXPECT_EQ(display.GetUrlsFailed(), 1);
    EXPECT_EQ(display.GetBytesTotal(), 3000u);
    EXPECT_EQ(display.GetExitStatus(), kExitServerError);
}

TEST(ProgressDisplayTest, QuietShowsOnlyFailuresAndVerboseEveryRequest) {
    // Only verbose adds the system's code to the cause.
    const struct {
        CProgressDisplay::Verbosity verbosity;
        const char* out;
        const char* err;
    } cases[] = {
        {CProgressDisplay::Verbosity::kQuiet, "",
         "failed http://h/b (the server refused the connection or cannot be reached)\n"},
        {CProgressDisplay::Verbosity::kVerbose,
         "get    http://h/a\nsaved  http://h/a -> h/a\nget    http://h/b\n1 file saved, 0 B/s\n",
         "failed http://h/b (the server refused the connection or cannot be reached) "
         "[0x20010102: Can not connect to the server!]\n"},
    };
    for (const auto& c : cases) {
        std::ostringstream out;
        std::ostringstream err;
        CProgressDisplay display(out, false, 1);
        display.SetErrorStream(err);
        display.SetVerbosity(c.verbosity);
        display.SetWorkerUrl(0, 1, "http://h/a");
        display.FileSaved(0, Task("http://h/a", ERR_SUCCESS, "h/a"));
        display.SetWorkerUrl(0, 1, "http://h/b");
        display.UrlFailed(0, Task("http://h/b", ERR_SOCKET_CONNECT));
        display.Tick();
        display.Finish();
        EXPECT_EQ(out.str(), c.out);
        EXPECT_EQ(err.str(), c.err);
    }
}

TEST(ProgressDisplayTest, NoLineShowsThePasswordOfAUrl) {
    for (const bool terminal : {false, true}) {
        std::ostringstream out;
        std::ostringstream err;
        CProgressDisplay display(out, terminal, 1, 200);
        display.SetErrorStream(err);
        display.SetVerbosity(CProgressDisplay::Verbosity::kVerbose);
        display.SetWorkerUrl(0, 1, "http://bob:secret@h/a");
        display.Redraw();
        display.FileSaved(0, Task("http://bob:secret@h/a", ERR_SUCCESS, "h/a"));
        display.UrlFailed(0, Task("ftp://bob:secret@h/b", ERR_SOCKET_TIMEOUT));
        const std::string shown = out.str() + err.str();
        EXPECT_EQ(shown.find("secret"), std::string::npos) << shown;
        EXPECT_NE(shown.find("bob:***@h/a"), std::string::npos) << shown;
        EXPECT_NE(shown.find("ftp://bob:***@h/b"), std::string::npos) << shown;
    }
}

TEST(ProgressDisplayTest, FormatsBytesInHumanUnits) {
    const std::pair<std::uint64_t, const char*> cases[] = {
        {0, "0 B"},       {1023, "1023 B"},    {1024, "1.0 KB"},
        {1536, "1.5 KB"}, {1572864, "1.5 MB"}, {3221225472ull, "3.0 GB"},
    };
    for (const auto& [count, text] : cases) {
        EXPECT_EQ(CProgressDisplay::FormatBytes(count), text);
    }
}

TEST(ProgressDisplayTest, TerminalModeRedrawsTheLiveBlockInPlace) {
    std::ostringstream out;
    CProgressDisplay display(out, true, 2, 40);
    display.SetWorkerUrl(0, 1, "http://h/a");
    display.SetWorkerSize(0, 1, 2000);
    display.SetWorkerProgress(0, 1140, 2000);
    display.Redraw();
    const std::string first = out.str();
    EXPECT_EQ(first,
              "  0  57%     2.0 KB  http://h/a\n"
              "  1  idle\n"
              "0 files saved, 0 B/s\n");
    display.Redraw();  // nothing changed, nothing drawn
    EXPECT_EQ(out.str(), first);

    display.SetWorkerUrl(1, 1, "http://h/a-very-long-name-that-does-not-fit-the-line");
    display.Redraw();
    EXPECT_EQ(out.str().substr(first.size()),
              "\x1b[3F\x1b[J"
              "  0  57%     2.0 KB  http://h/a\n"
              "  1                  http://h/a-very...\n"
              "0 files saved, 0 B/s\n");
}

TEST(ProgressDisplayTest, ALateSizeStaysOffARowThatEndedItsTask) {
    std::ostringstream out;
    CProgressDisplay display(out, true, 2, 40);
    display.SetWorkerUrl(0, 1, "http://h/a");
    display.FileSaved(0, Task("http://h/a", ERR_SUCCESS, "h/a"));
    display.SetWorkerSize(0, 1, 2000);
    display.SetWorkerUrl(1, 1, "http://h/b");
    display.SetWorkerUrl(1, 2, "http://h/c");
    display.SetWorkerSize(1, 1, 3000);
    display.Redraw();
    EXPECT_EQ(out.str(),
              "  0  idle\n"
              "  1                  http://h/c\n"
              "1 file saved, 0 B/s\n");
}

TEST(ProgressDisplayTest, TerminalModePrintsFailuresAboveTheBlock) {
    std::ostringstream out;
    CProgressDisplay display(out, true, 1, 80);
    display.Redraw();
    const std::size_t drawn = out.str().size();
    display.UrlFailed(0, Task("http://h/x", ERR_SOCKET_CONNECT));
    display.FileSaved(0, Task("http://h/y", ERR_SUCCESS, "h/y"));  // counted, not listed
    display.Redraw();
    EXPECT_EQ(out.str().substr(drawn),
              "\x1b[2F\x1b[J"
              "failed http://h/x (the server refused the connection or cannot be reached)\n"
              "  0  idle\n"
              "1 file saved, 0 B/s\n");
}

TEST(ProgressDisplayTest, ControlCharactersFromTheSiteArePrintedEscaped) {
    const std::string hostile = "x\x1b]0;TITLE\x07\r\ny.html";
    const std::string shown = "x\\x1b]0;TITLE\\x07\\x0d\\x0ay.html";
    std::ostringstream log;
    CProgressDisplay logDisplay(log, false, 1);
    logDisplay.FileSaved(
        0, Task("http://h/x%1b%5d0%3bTITLE%07%0d%0ay.html", ERR_SUCCESS, "h/" + hostile));
    // A URL holds no line break: its parser drops them.
    logDisplay.UrlFailed(0, Task("http://h/" + hostile, ERR_SOCKET_CONNECT));
    EXPECT_EQ(log.str(), "saved  http://h/x%1b%5d0%3bTITLE%07%0d%0ay.html -> h/" + shown +
                             "\nfailed http://h/x\\x1b]0;TITLE\\x07y.html" +
                             " (the server refused the connection or cannot be reached)\n");

    std::ostringstream terminal;
    CProgressDisplay live(terminal, true, 1, 80);
    live.SetWorkerUrl(0, 1, "http://h/" + hostile);
    live.Redraw();
    EXPECT_EQ(terminal.str(),
              "  0                  http://h/" + shown + "\n0 files saved, 0 B/s\n");
}

}  // namespace
