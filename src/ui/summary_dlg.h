// "Project Summary": the download list's four figures, read only, with a
// "," before every group of three digits.
#pragma once

#include <QDialog>

#include "engine/download_list.h"

class QLabel;

class CSummaryDlg : public QDialog {
    Q_OBJECT
public:
    explicit CSummaryDlg(const CDownloadList::Stats& stats, QWidget* parent = nullptr);

    // The figure beside "URLs queued:", "URLs requested:", "Files written:"
    // and "Bytes Received:", in that order.
    QString FigureText(int row) const;

private:
    QLabel* m_figures[4] = {};
};
