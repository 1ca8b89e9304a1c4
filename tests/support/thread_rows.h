// The thread view's rows as text, for the desktop program's tests.
#pragma once

#include <QStringList>

#include "ui/thread_view.h"

namespace testing_support {

// The four cells of each row, separated by "|".
inline QStringList ThreadRows(const CThreadView& view) {
    QStringList rows;
    for (int row = 0; row < view.GetItemCount(); ++row) {
        QStringList cells;
        for (int column = CThreadView::kThreadColumn; column <= CThreadView::kSizeColumn;
             ++column) {
            cells << view.GetItemText(row, column);
        }
        rows << cells.join('|');
    }
    return rows;
}

}  // namespace testing_support
