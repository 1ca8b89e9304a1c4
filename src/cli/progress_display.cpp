#include "cli/progress_display.h"

#include <cstdio>
#include <iterator>

#include "cli/failure_text.h"
#include "cli/mirror_options.h"
#include "cli/printable_text.h"
#include "engine/download_task.h"
#include "engine/result_text.h"

CProgressDisplay::CProgressDisplay(std::ostream& out, bool terminal, int workers, int width)
    : m_out(out),
      m_terminal(terminal),
      m_width(width < 20 ? 20 : width),
      m_rows(static_cast<std::size_t>(workers < 0 ? 0 : workers)) {}

CProgressDisplay::Row* CProgressDisplay::RowAt(int index) {
    if (index < 0 || static_cast<std::size_t>(index) >= m_rows.size()) {
        return nullptr;
    }
    m_dirty = true;
    return &m_rows[static_cast<std::size_t>(index)];
}

void CProgressDisplay::SetWorkerUrl(int index, std::uint32_t task, const std::string& url) {
    if (Row* row = RowAt(index)) {
        const std::string shown = PrintableText(HideUrlPassword(url));
        *row = Row{shown, 0, 0, task};
        if (!url.empty() && Shows(Verbosity::kVerbose)) {
            PrintLine("get    " + shown);
        }
    }
}

void CProgressDisplay::SetWorkerSize(int index, std::uint32_t task, std::uint32_t size) {
    Row* row = RowAt(index);
    if (row != nullptr && row->task != 0 && row->task == task) {
        row->size = size;
    }
}

void CProgressDisplay::SetWorkerProgress(int index, std::uint32_t received,
                                         std::uint32_t expected) {
    if (Row* row = RowAt(index)) {
        row->percent = expected == 0
                           ? 0
                           : static_cast<std::uint32_t>(std::uint64_t{received} * 100 / expected);
    }
}

void CProgressDisplay::ClearRow(int index) {
    if (Row* row = RowAt(index)) {
        *row = Row();
    }
}

void CProgressDisplay::FileSaved(int index, const CDownloadTask& task) {
    ++m_filesSaved;
    m_dirty = true;
    ClearRow(index);
    if (!m_terminal && Shows(Verbosity::kNormal)) {
        PrintLine("saved  " + HideUrlPassword(task.item.GetUrl().GetSourceText()) + " -> " +
                  task.storedPath);
    }
}

void CProgressDisplay::UrlFailed(int index, const CDownloadTask& task) {
    ClearRow(index);
    const int httpStatus = task.response.status;
    m_failures.Add(task.resultCode, httpStatus);
    const bool withCode = Shows(Verbosity::kVerbose);
    if (ExitStatusOf(task.resultCode, httpStatus) != kExitSuccess) {
        PrintError("failed " + DescribeFailedUrl(task, m_failureContext, withCode));
    } else if (IsSkipResult(task.resultCode) && Shows(Verbosity::kNormal)) {
        PrintLine("skipped " + DescribeSkippedUrl(task, m_failureContext));
    } else if (Shows(Verbosity::kNormal)) {
        PrintLine("skipped " + DescribeFailedUrl(task, m_failureContext, withCode));
    }
}

void CProgressDisplay::Tick() {
    m_bytesPerSecond = m_bytesThisSecond;
    m_bytesThisSecond = 0;
    m_dirty = true;
    if (m_terminal || !Shows(Verbosity::kNormal)) {
        return;
    }
    const std::string status = StatusLine();
    if (status != m_lastStatus) {
        PrintLine(status);
        m_lastStatus = status;
    }
}

void CProgressDisplay::Redraw() {
    if (!m_terminal || !m_dirty || !Shows(Verbosity::kNormal)) {
        return;
    }
    EraseLiveBlock();
    std::string block;
    for (std::size_t i = 0; i < m_rows.size(); ++i) {
        block += Fit(RowLine(i, m_rows[i])) + "\n";
    }
    block += Fit(StatusLine()) + "\n";
    m_out << block << std::flush;
    m_drawnLines = static_cast<int>(m_rows.size()) + 1;
    m_dirty = false;
}

void CProgressDisplay::PrintLine(const std::string& text) {
    if (m_terminal) {
        EraseLiveBlock();
        m_dirty = true;
    }
    m_out << PrintableText(text) << "\n";
    if (!m_terminal) {
        m_out << std::flush;
    }
}

void CProgressDisplay::PrintError(const std::string& text) {
    if (m_terminal) {
        EraseLiveBlock();
        m_dirty = true;
    }
    m_out << std::flush;
    *m_err << text << "\n" << std::flush;
}

void CProgressDisplay::Finish() {
    if (m_terminal) {
        m_dirty = true;
        Redraw();
        m_drawnLines = 0;
    } else if (StatusLine() != m_lastStatus && Shows(Verbosity::kNormal)) {
        Tick();
    }
}

std::string CProgressDisplay::CountOf(long long count, const std::string& noun) {
    return std::to_string(count) + " " + noun + (count == 1 ? "" : "s");
}

std::string CProgressDisplay::FormatBytes(std::uint64_t count) {
    constexpr const char* kUnits[] = {"KB", "MB", "GB", "TB"};
    if (count < 1024) {
        return std::to_string(count) + " B";
    }
    double value = static_cast<double>(count) / 1024;
    std::size_t unit = 0;
    while (value >= 1024 && unit + 1 < std::size(kUnits)) {
        value /= 1024;
        ++unit;
    }
    char text[32];
    std::snprintf(text, sizeof text, "%.1f %s", value, kUnits[unit]);
    return text;
}

std::string CProgressDisplay::StatusLine() const {
    return CountOf(m_filesSaved, "file") + " saved, " + FormatBytes(m_bytesPerSecond) + "/s";
}

std::string CProgressDisplay::RowLine(std::size_t index, const Row& row) const {
    char head[40];
    if (row.url.empty()) {
        std::snprintf(head, sizeof head, "%3zu  idle", index);
        return head;
    }
    std::snprintf(head, sizeof head, "%3zu %4s %10s  ", index,
                  row.percent == 0 ? "" : (std::to_string(row.percent) + "%").c_str(),
                  row.size == 0 ? "" : FormatBytes(row.size).c_str());
    return head + row.url;
}

std::string CProgressDisplay::Fit(std::string line) const {
    const auto width = static_cast<std::size_t>(m_width - 1);
    if (line.size() > width) {
        line.resize(width - 3);
        line += "...";
    }
    return line;
}

void CProgressDisplay::EraseLiveBlock() {
    if (m_drawnLines == 0) {
        return;
    }
    // Up to the block's first line, then clear from there to the end.
    m_out << "\x1b[" << m_drawnLines << "F\x1b[J";
    m_drawnLines = 0;
}
