#include "ui/thread_view.h"

#include <QHeaderView>
#include <QScrollBar>
#include <algorithm>
#include <array>

#include "platform/registry_key.h"

namespace {

const char* const kLayoutSection = "Layout";
const char* const kWidthsValue = "Thread View";
constexpr std::array<std::int32_t, 4> kDefaultWidths = {60, 400, 80, 80};
constexpr int kMinimumHeight = 100;
// Up to this many workers, every row is in view without scrolling.
constexpr int kRowsAlwaysShown = 8;

// Printed as the signed figure the crawl's messages carry.
QString NumberOrEmpty(std::uint32_t value, const QString& suffix = {}) {
    return value == 0 ? QString() : QString::number(static_cast<std::int32_t>(value)) + suffix;
}

}  // namespace

CThreadView::CThreadView(QWidget* parent) : CSortListCtrl(parent) {
    std::array<std::int32_t, 4> widths = kDefaultWidths;
    if (!GetSectionKey(kLayoutSection).ReadBinary(kWidthsValue, widths.data(), sizeof widths)) {
        widths = kDefaultWidths;
    }
    InsertColumn("Thread", Qt::AlignLeft, widths[kThreadColumn]);
    InsertColumn("URL", Qt::AlignLeft, widths[kUrlColumn]);
    InsertColumn("Progress", Qt::AlignRight, widths[kProgressColumn]);
    InsertColumn("Size", Qt::AlignRight, widths[kSizeColumn]);
    setMinimumHeight(kMinimumHeight);
}

CThreadView::~CThreadView() {
    // Failures are ignored: the next start falls back to the defaults.
    std::array<std::int32_t, 4> widths{};
    for (int column = kThreadColumn; column <= kSizeColumn; ++column) {
        widths[static_cast<std::size_t>(column)] = GetColumnWidth(column);
    }
    GetSectionKey(kLayoutSection).WriteBinary(kWidthsValue, widths.data(), sizeof widths);
}

void CThreadView::SetWorkerCount(int count) {
    DeleteAllItems();
    m_rowTasks.assign(static_cast<std::size_t>(std::max(count, 0)), 0);
    for (int worker = 0; worker < count; ++worker) {
        InsertItem(QString::number(worker), -1);
    }
    // A handful of rows: no reason to wait for more.
    FlushPendingRows();
    // The splitter takes the room from the panes above.
    setMinimumHeight(std::max(kMinimumHeight, HeightForRows(std::min(count, kRowsAlwaysShown))));
}

int CThreadView::HeightForRows(int rows) const {
    if (rows <= 0) {
        return 0;
    }
    // A horizontal scroll bar appears when the columns outgrow the window.
    return 2 * frameWidth() + header()->sizeHint().height() +
           rows * verticalHeader()->defaultSectionSize() +
           horizontalScrollBar()->sizeHint().height();
}

void CThreadView::SetWorkerUrl(int row, std::uint32_t task, const QString& url) {
    if (std::uint32_t* shown = TaskOfRow(row)) {
        *shown = task;
    }
    SetItemText(row, kUrlColumn, url);
}

void CThreadView::SetWorkerSize(int row, std::uint32_t task, std::uint32_t size) {
    if (IsBusyWith(row, task)) {
        SetItemText(row, kSizeColumn, NumberOrEmpty(size));
    }
}

bool CThreadView::IsBusyWith(int row, std::uint32_t task) {
    const std::uint32_t* shown = TaskOfRow(row);
    return shown != nullptr && task != 0 && *shown == task;
}

std::uint32_t* CThreadView::TaskOfRow(int row) {
    if (row < 0 || static_cast<std::size_t>(row) >= m_rowTasks.size()) {
        return nullptr;
    }
    return &m_rowTasks[static_cast<std::size_t>(row)];
}

void CThreadView::SetWorkerPercent(int row, std::uint32_t percent) {
    SetItemText(row, kProgressColumn, NumberOrEmpty(percent, "%"));
}

void CThreadView::ClearWorker(int row) {
    if (std::uint32_t* shown = TaskOfRow(row)) {
        *shown = 0;
    }
    for (int column : {kUrlColumn, kProgressColumn, kSizeColumn}) {
        SetItemText(row, column, {});
    }
}
