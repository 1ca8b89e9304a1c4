// One row per worker thread of the running project: the URL it fetches, its
// progress and a size figure. The main frame writes the cells as the crawl
// reports.
#pragma once

#include <cstdint>

#include "ui/sort_list_ctrl.h"

class CThreadView : public CSortListCtrl {
    Q_OBJECT
public:
    enum Column { kThreadColumn, kUrlColumn, kProgressColumn, kSizeColumn };

    explicit CThreadView(QWidget* parent = nullptr);
    ~CThreadView() override;

    // Rows 0 .. count-1 showing only their index. Rows that do not exist are
    // ignored by the setters below.
    void SetWorkerCount(int count);
    void SetWorkerUrl(int row, const QString& url);
    // Empty for 0.
    void SetWorkerSize(int row, std::uint32_t size);
    void SetWorkerPercent(int row, std::uint32_t percent);
    void ClearWorker(int row);
};
