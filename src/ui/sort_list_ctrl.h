// A report-style list of rows with an icon and text cells, sortable by header
// clicks. Rows are appended in batches: a burst of appends reaches the view
// as one insertion. A table view lays out only the rows in sight, so a list
// of a million rows stays responsive while rows keep arriving.
#pragma once

#include <QIcon>
#include <QList>
#include <QString>
#include <QTableView>
#include <cstdint>
#include <vector>

class CListModel;
class CSortHeaderCtrl;

struct CListRow {
    std::vector<QString> cells;
    int image = -1;
    std::uint32_t data = 0;
    QString toolTip;
};

class CSortListCtrl : public QTableView {
    Q_OBJECT
public:
    explicit CSortListCtrl(QWidget* parent = nullptr);
    ~CSortListCtrl() override;

    // Appended after the existing columns; the index of the new column.
    int InsertColumn(const QString& header, Qt::Alignment alignment, int width);
    // Appended at the end; the index of the new row.
    int InsertItem(const QString& text, int image);
    // Changes to rows or columns that do not exist are ignored.
    void SetItemText(int row, int column, const QString& text);
    void SetItemImage(int row, int image);
    void SetItemData(int row, std::uint32_t itemData);
    // Shown over every cell of the row.
    void SetItemToolTip(int row, const QString& toolTip);
    QString GetItemToolTip(int row) const;
    QString GetItemText(int row, int column) const;
    // -1 for a row that does not exist.
    int GetItemImage(int row) const;
    // The rows whose item data equals data, from the top.
    std::vector<int> FindItemsByData(std::uint32_t itemData) const;
    int GetItemCount() const;
    // Room for count rows in all, so that a list filled in bulk does not
    // stop to grow its index again and again.
    virtual void ReserveItems(std::size_t count);
    void DeleteAllItems();

    void SetImageList(QList<QIcon> images);
    void SetSortable(bool sortable);
    // As a click on the column's header: a new column sorts ascending, the
    // current one reverses its direction.
    void SortByColumn(int column);
    int GetSortColumn() const;
    bool IsAscending() const;

    int GetColumnWidth(int column) const;
    // The column headers, which mark the sort column.
    QHeaderView* header() const;

    // Hands rows appended since the last batch to the view now.
    void FlushPendingRows();

protected:
    // Negative, zero or positive as a sorts before, with or after b in the
    // column; by default every pair compares equal.
    virtual int Compare(const CListRow& a, const CListRow& b, int column) const;

private:
    CListModel* m_model;
    CSortHeaderCtrl* m_header;
    bool m_sortable = false;
};
