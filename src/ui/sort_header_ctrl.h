// The header of a sortable list: it marks the column the list is sorted by
// with the style's own arrow, pointing up for ascending.
#pragma once

#include <QHeaderView>

class CSortHeaderCtrl : public QHeaderView {
    Q_OBJECT
public:
    explicit CSortHeaderCtrl(QWidget* parent = nullptr);

    // A column of -1 removes the mark.
    void SetSortArrow(int column, bool ascending);
    int GetSortColumn() const { return m_sortColumn; }
    bool IsAscending() const { return m_ascending; }

protected:
    void initStyleOptionForIndex(QStyleOptionHeader* option, int logicalIndex) const override;

private:
    int m_sortColumn = -1;
    bool m_ascending = true;
};
