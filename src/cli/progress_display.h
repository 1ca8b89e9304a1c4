// What the command line shows while a crawl runs: on a terminal, one line per
// worker with its URL, percent and size and a status line with the files
// saved and bytes/sec, redrawn in place; elsewhere, plain log lines.
#pragma once

#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

struct CDownloadTask;

class CProgressDisplay {
public:
    // width: the terminal's columns; a live line never wraps, which would
    // break the redraw in place.
    CProgressDisplay(std::ostream& out, bool terminal, int workers, int width = 80);

    void SetWorkerUrl(int index, const std::string& url);
    // The size figure of a worker's transfer; 0 empties it.
    void SetWorkerSize(int index, std::uint32_t size);
    void SetWorkerProgress(int index, std::uint32_t received, std::uint32_t expected);
    void FileSaved(int index, const CDownloadTask& task);
    void UrlFailed(int index, const CDownloadTask& task);
    void AddBytes(std::uint64_t count) { m_bytesThisSecond += count; }

    // Once a second: the bytes counted since the last tick become the
    // bytes/sec figure.
    void Tick();
    // A terminal's live block is drawn again when anything changed.
    void Redraw();
    // A line that stays: above the live block on a terminal. Its control
    // characters are printed escaped, as are those of a worker's URL.
    void PrintLine(const std::string& text);
    // Leaves the live block as it stands; later output goes below it.
    void Finish();

    int GetFilesSaved() const { return m_filesSaved; }
    std::uint64_t GetBytesPerSecond() const { return m_bytesPerSecond; }

    // "0x20010302: The HTTP request ... fulfilled!" for a failed task.
    static std::string DescribeResult(std::uint32_t code);

private:
    struct Row {
        std::string url;  // as printed
        std::uint32_t percent = 0;
        std::uint32_t size = 0;
    };

    Row* RowAt(int index);
    void ClearRow(int index);
    std::string StatusLine() const;
    std::string RowLine(std::size_t index, const Row& row) const;
    std::string Fit(std::string line) const;
    void EraseLiveBlock();

    std::ostream& m_out;
    const bool m_terminal;
    const int m_width;
    std::vector<Row> m_rows;
    int m_filesSaved = 0;
    std::uint64_t m_bytesThisSecond = 0;
    std::uint64_t m_bytesPerSecond = 0;
    bool m_dirty = true;
    // Lines of the live block on screen.
    int m_drawnLines = 0;
    // Log mode: the status as last printed, so that an idle second adds no line.
    std::string m_lastStatus;
};
