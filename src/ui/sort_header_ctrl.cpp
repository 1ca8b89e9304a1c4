#include "ui/sort_header_ctrl.h"

CSortHeaderCtrl::CSortHeaderCtrl(QWidget* parent) : QHeaderView(Qt::Horizontal, parent) {
    setSortIndicatorShown(false);
}

void CSortHeaderCtrl::SetSortArrow(int column, bool ascending) {
    m_sortColumn = column;
    m_ascending = ascending;
    setSortIndicatorShown(column >= 0);
    setSortIndicator(column, ascending ? Qt::AscendingOrder : Qt::DescendingOrder);
}
