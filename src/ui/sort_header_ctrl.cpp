#include "ui/sort_header_ctrl.h"

#include <QStyleOptionHeader>

CSortHeaderCtrl::CSortHeaderCtrl(QWidget* parent) : QHeaderView(Qt::Horizontal, parent) {
    setSortIndicatorShown(false);
}

void CSortHeaderCtrl::SetSortArrow(int column, bool ascending) {
    m_sortColumn = column;
    m_ascending = ascending;
    setSortIndicatorShown(column >= 0);
    setSortIndicator(column, ascending ? Qt::AscendingOrder : Qt::DescendingOrder);
}

void CSortHeaderCtrl::initStyleOptionForIndex(QStyleOptionHeader* option, int logicalIndex) const {
    QHeaderView::initStyleOptionForIndex(option, logicalIndex);
    // Qt draws its ascending order with the down arrow.
    if (option->sortIndicator != QStyleOptionHeader::None) {
        option->sortIndicator =
            m_ascending ? QStyleOptionHeader::SortUp : QStyleOptionHeader::SortDown;
    }
}
