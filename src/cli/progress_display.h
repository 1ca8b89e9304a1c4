// What the command line shows while a crawl runs: on a terminal, one line per
// worker with its URL, percent and size and a status line with the files
// saved and the transfer rate, redrawn in place; elsewhere, plain log lines.
// Failures go to the error stream.
#pragma once

#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

#include "cli/exit_status.h"
#include "cli/failure_text.h"

struct CDownloadTask;

class CProgressDisplay {
public:
    enum class Verbosity { kQuiet, kNormal, kVerbose };

    // width: the terminal's columns; a live line never wraps, which would
    // break the redraw in place.
    CProgressDisplay(std::ostream& out, bool terminal, int workers, int width = 80);

    // Failures are written here instead of to out.
    void SetErrorStream(std::ostream& err) { m_err = &err; }
    // Quiet shows failures only; verbose adds every URL a worker takes and
    // the codes of failures.
    void SetVerbosity(Verbosity verbosity) { m_verbosity = verbosity; }
    // The settings that failure lines tell the user how to change.
    void SetFailureContext(FailureContext context) { m_failureContext = std::move(context); }

    // The worker took url as its task of that number.
    void SetWorkerUrl(int index, std::uint32_t task, const std::string& url);
    // The size figure of a worker's transfer; 0 empties it. Ignored unless
    // the row is still busy with that task: the figure may come late.
    void SetWorkerSize(int index, std::uint32_t task, std::uint32_t size);
    void SetWorkerProgress(int index, std::uint32_t received, std::uint32_t expected);
    void FileSaved(int index, const CDownloadTask& task);
    void UrlFailed(int index, const CDownloadTask& task);
    void AddBytes(std::uint64_t count) {
        m_bytesThisSecond += count;
        m_bytesTotal += count;
    }

    // Once a second: the bytes counted since the last tick become the
    // bytes/sec figure.
    void Tick();
    // A terminal's live block is drawn again when anything changed.
    void Redraw();
    // A line that stays: above the live block on a terminal. Its control
    // characters are printed escaped, as are those of a worker's URL.
    void PrintLine(const std::string& text);
    // The same on the error stream.
    void PrintError(const std::string& text);
    // Leaves the live block as it stands; later output goes below it.
    void Finish();

    int GetFilesSaved() const { return m_filesSaved; }
    std::uint64_t GetBytesPerSecond() const { return m_bytesPerSecond; }
    std::uint64_t GetBytesTotal() const { return m_bytesTotal; }
    int GetUrlsFailed() const { return m_failures.GetCount(); }
    // What the failures so far make the exit status.
    ExitStatus GetExitStatus() const { return m_failures.GetStatus(); }

    // "1.5 MB" for 1572864: bytes below 1 KB, else KB, MB or GB with one
    // decimal (1 KB is 1024 bytes).
    static std::string FormatBytes(std::uint64_t count);
    // "1 file", "2 files".
    static std::string CountOf(long long count, const std::string& noun);

private:
    struct Row {
        std::string url;  // as printed
        std::uint32_t percent = 0;
        std::uint32_t size = 0;
        std::uint32_t task = 0;  // 0 while idle
    };

    Row* RowAt(int index);
    void ClearRow(int index);
    std::string StatusLine() const;
    std::string RowLine(std::size_t index, const Row& row) const;
    std::string Fit(std::string line) const;
    void EraseLiveBlock();

    bool Shows(Verbosity least) const { return m_verbosity >= least; }

    std::ostream& m_out;
    std::ostream* m_err = &m_out;
    Verbosity m_verbosity = Verbosity::kNormal;
    FailureContext m_failureContext;
    const bool m_terminal;
    const int m_width;
    std::vector<Row> m_rows;
    int m_filesSaved = 0;
    std::uint64_t m_bytesThisSecond = 0;
    std::uint64_t m_bytesPerSecond = 0;
    std::uint64_t m_bytesTotal = 0;
    CFailureTally m_failures;
    bool m_dirty = true;
    // Lines of the live block on screen.
    int m_drawnLines = 0;
    // Log mode: the status as last printed, so that an idle second adds no line.
    std::string m_lastStatus;
};
