// One row per worker thread of the running project: the URL it fetches, its
// progress and a size figure. The main frame writes the cells as the crawl
// reports.
#pragma once

#include <cstdint>
#include <vector>

#include "ui/sort_list_ctrl.h"

class CThreadView : public CSortListCtrl {
    Q_OBJECT
public:
    enum Column { kThreadColumn, kUrlColumn, kProgressColumn, kSizeColumn };

    explicit CThreadView(QWidget* parent = nullptr);
    ~CThreadView() override;

    // Rows 0 .. count-1 showing only their index; the view asks for the
    // height that shows up to eight of them without scrolling. Rows that do
    // not exist are ignored by the setters below.
    void SetWorkerCount(int count);
    // The worker took url as its task of that number.
    void SetWorkerUrl(int row, std::uint32_t task, const QString& url);
    // Empty for 0. A size comes posted and may arrive after its task ended:
    // it is shown only while the row is busy with that task.
    void SetWorkerSize(int row, std::uint32_t task, std::uint32_t size);
    void SetWorkerPercent(int row, std::uint32_t percent);
    void ClearWorker(int row);

private:
    int HeightForRows(int rows) const;
    bool IsBusyWith(int row, std::uint32_t task);
    // Nothing for a row that does not exist.
    std::uint32_t* TaskOfRow(int row);

    // The task each row shows, 0 while idle.
    std::vector<std::uint32_t> m_rowTasks;
};
