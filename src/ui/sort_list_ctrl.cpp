#include "ui/sort_list_ctrl.h"

#include <QAbstractTableModel>
#include <QApplication>
#include <QPainter>
#include <QStyledItemDelegate>
#include <QTimer>
#include <algorithm>
#include <deque>
#include <numeric>
#include <unordered_map>

#include "ui/sort_header_ctrl.h"

namespace {

// Appends that arrive within this time reach the view together.
constexpr int kBatchDelayMs = 50;
// Above and below the text of a row, as a tree view's row has.
constexpr int kRowPadding = 2;

struct ListColumn {
    QString header;
    Qt::Alignment alignment;
};

// An icon in a centred column without text is centred too, as the report
// list draws it; the style would put it at the left edge.
class CAlignedIconDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override {
        QStyleOptionViewItem item = option;
        initStyleOption(&item, index);
        if (!(item.displayAlignment & Qt::AlignHCenter) || !item.text.isEmpty()) {
            QStyledItemDelegate::paint(painter, option, index);
            return;
        }
        const QIcon icon = item.icon;
        item.icon = QIcon();
        item.features &= ~QStyleOptionViewItem::HasDecoration;
        const QStyle* style = item.widget ? item.widget->style() : QApplication::style();
        style->drawControl(QStyle::CE_ItemViewItem, &item, painter, item.widget);
        const QIcon::Mode mode =
            item.state & QStyle::State_Selected ? QIcon::Selected : QIcon::Normal;
        icon.paint(
            painter,
            QStyle::alignedRect(item.direction, Qt::AlignCenter, item.decorationSize, item.rect),
            Qt::AlignCenter, mode);
    }
};

}  // namespace

// The rows behind the list. Rows past m_published are appended but not yet
// announced to the view; the view sees only the announced ones.
class CListModel : public QAbstractTableModel {
public:
    explicit CListModel(QObject* parent) : QAbstractTableModel(parent) {
        m_batchTimer.setSingleShot(true);
        m_batchTimer.setInterval(kBatchDelayMs);
        QObject::connect(&m_batchTimer, &QTimer::timeout, [this] { Publish(); });
    }

    int rowCount(const QModelIndex& parent = {}) const override {
        return parent.isValid() ? 0 : m_published;
    }
    int columnCount(const QModelIndex& parent = {}) const override {
        return parent.isValid() ? 0 : static_cast<int>(m_columns.size());
    }
    QVariant data(const QModelIndex& index, int role) const override {
        const CListRow& row = m_rows[static_cast<std::size_t>(index.row())];
        const int column = index.column();
        switch (role) {
            case Qt::DisplayRole:
                return Cell(row, column);
            case Qt::DecorationRole:
                if (column == 0 && row.image >= 0 && row.image < m_images.size()) {
                    return m_images[row.image];
                }
                return {};
            case Qt::ToolTipRole:
                return row.toolTip.isEmpty() ? QVariant() : QVariant(row.toolTip);
            case Qt::TextAlignmentRole:
                return QVariant::fromValue(m_columns[static_cast<std::size_t>(column)].alignment |
                                           Qt::AlignVCenter);
            default:
                return {};
        }
    }
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override {
        if (orientation != Qt::Horizontal || section >= columnCount()) {
            return {};
        }
        const ListColumn& column = m_columns[static_cast<std::size_t>(section)];
        if (role == Qt::DisplayRole) {
            return column.header;
        }
        if (role == Qt::TextAlignmentRole) {
            return QVariant::fromValue(column.alignment | Qt::AlignVCenter);
        }
        return {};
    }

    int AddColumn(const QString& header, Qt::Alignment alignment) {
        const int column = columnCount();
        beginInsertColumns({}, column, column);
        m_columns.push_back({header, alignment});
        for (CListRow& row : m_rows) {
            row.cells.resize(m_columns.size());
        }
        endInsertColumns();
        return column;
    }

    int AppendRow(const QString& text, int image) {
        CListRow row;
        row.cells.resize(std::max<std::size_t>(m_columns.size(), 1));
        row.cells[0] = text;
        row.image = image;
        m_rows.push_back(std::move(row));
        const int index = static_cast<int>(m_rows.size()) - 1;
        m_rowsByData.emplace(0, index);
        if (!m_batchTimer.isActive()) {
            m_batchTimer.start();
        }
        return index;
    }

    void Publish() {
        m_batchTimer.stop();
        const int count = static_cast<int>(m_rows.size());
        if (m_published < count) {
            beginInsertRows({}, m_published, count - 1);
            m_published = count;
            endInsertRows();
        }
    }

    bool HasRow(int row) const { return row >= 0 && row < static_cast<int>(m_rows.size()); }
    const CListRow& Row(int row) const { return m_rows[static_cast<std::size_t>(row)]; }
    int Count() const { return static_cast<int>(m_rows.size()); }

    void SetText(int row, int column, const QString& text) {
        if (!HasRow(row) || column < 0 || column >= columnCount()) {
            return;
        }
        m_rows[static_cast<std::size_t>(row)].cells[static_cast<std::size_t>(column)] = text;
        Changed(row, column);
    }
    void SetImage(int row, int image) {
        if (HasRow(row)) {
            m_rows[static_cast<std::size_t>(row)].image = image;
            Changed(row, 0);
        }
    }
    void SetToolTip(int row, const QString& toolTip) {
        if (HasRow(row)) {
            m_rows[static_cast<std::size_t>(row)].toolTip = toolTip;
        }
    }
    void SetData(int row, std::uint32_t itemData) {
        if (!HasRow(row)) {
            return;
        }
        std::uint32_t& current = m_rows[static_cast<std::size_t>(row)].data;
        auto [first, last] = m_rowsByData.equal_range(current);
        for (auto entry = first; entry != last; ++entry) {
            if (entry->second == row) {
                m_rowsByData.erase(entry);
                break;
            }
        }
        current = itemData;
        m_rowsByData.emplace(itemData, row);
    }
    std::vector<int> FindByData(std::uint32_t itemData) const {
        std::vector<int> rows;
        auto [first, last] = m_rowsByData.equal_range(itemData);
        for (auto entry = first; entry != last; ++entry) {
            rows.push_back(entry->second);
        }
        std::sort(rows.begin(), rows.end());
        return rows;
    }

    void Reserve(std::size_t rows) { m_rowsByData.reserve(rows); }

    void Clear() {
        m_batchTimer.stop();
        beginResetModel();
        m_rows.clear();
        m_rowsByData.clear();
        m_published = 0;
        endResetModel();
    }

    void SetImages(QList<QIcon> images) {
        m_images = std::move(images);
        if (m_published > 0) {
            emit dataChanged(index(0, 0), index(m_published - 1, 0), {Qt::DecorationRole});
        }
    }

    // Stable, so rows that compare equal keep their order; selection and
    // current row follow their rows.
    template <class Less>
    void SortRows(Less less) {
        Publish();
        emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
        std::vector<int> order(m_rows.size());
        std::iota(order.begin(), order.end(), 0);
        std::stable_sort(order.begin(), order.end(),
                         [&](int a, int b) { return less(Row(a), Row(b)); });
        std::deque<CListRow> sorted;
        std::vector<int> newRow(m_rows.size());
        for (std::size_t position = 0; position < order.size(); ++position) {
            sorted.push_back(std::move(m_rows[static_cast<std::size_t>(order[position])]));
            newRow[static_cast<std::size_t>(order[position])] = static_cast<int>(position);
        }
        m_rows.swap(sorted);
        m_rowsByData.clear();
        for (std::size_t row = 0; row < m_rows.size(); ++row) {
            m_rowsByData.emplace(m_rows[row].data, static_cast<int>(row));
        }
        const QModelIndexList from = persistentIndexList();
        QModelIndexList to;
        for (const QModelIndex& old : from) {
            to << index(newRow[static_cast<std::size_t>(old.row())], old.column());
        }
        changePersistentIndexList(from, to);
        emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
    }

private:
    static QString Cell(const CListRow& row, int column) {
        return column < static_cast<int>(row.cells.size())
                   ? row.cells[static_cast<std::size_t>(column)]
                   : QString();
    }
    void Changed(int row, int column) {
        if (row < m_published) {
            const QModelIndex cell = index(row, column);
            emit dataChanged(cell, cell);
        }
    }

    std::vector<ListColumn> m_columns;
    // A deque, so that growing a long list never moves every row at once.
    std::deque<CListRow> m_rows;
    std::unordered_multimap<std::uint32_t, int> m_rowsByData;
    int m_published = 0;
    QList<QIcon> m_images;
    QTimer m_batchTimer;
};

CSortListCtrl::CSortListCtrl(QWidget* parent)
    : QTableView(parent), m_model(new CListModel(this)), m_header(new CSortHeaderCtrl(this)) {
    setHorizontalHeader(m_header);
    setModel(m_model);
    setItemDelegate(new CAlignedIconDelegate(this));
    setShowGrid(false);
    setWordWrap(false);
    setCornerButtonEnabled(false);
    setTabKeyNavigation(false);
    setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::SingleSelection);
    // Rows of one height, that of a line of text, without row headers.
    QHeaderView* rows = verticalHeader();
    rows->hide();
    rows->setSectionResizeMode(QHeaderView::Fixed);
    rows->setMinimumSectionSize(1);
    rows->setDefaultSectionSize(std::max(fontMetrics().height(), iconSize().height()) +
                                kRowPadding);
    m_header->setHighlightSections(false);
    m_header->setStretchLastSection(false);
    m_header->setSectionsMovable(false);
    connect(m_header, &QHeaderView::sectionClicked, this, [this](int column) {
        if (m_sortable) {
            SortByColumn(column);
        }
    });
}

CSortListCtrl::~CSortListCtrl() = default;

int CSortListCtrl::InsertColumn(const QString& header, Qt::Alignment alignment, int width) {
    const int column = m_model->AddColumn(header, alignment);
    m_header->resizeSection(column, width);
    return column;
}

int CSortListCtrl::InsertItem(const QString& text, int image) {
    return m_model->AppendRow(text, image);
}

void CSortListCtrl::SetItemText(int row, int column, const QString& text) {
    m_model->SetText(row, column, text);
}

void CSortListCtrl::SetItemImage(int row, int image) {
    m_model->SetImage(row, image);
}

void CSortListCtrl::SetItemData(int row, std::uint32_t itemData) {
    m_model->SetData(row, itemData);
}

void CSortListCtrl::SetItemToolTip(int row, const QString& toolTip) {
    m_model->SetToolTip(row, toolTip);
}

QString CSortListCtrl::GetItemToolTip(int row) const {
    return m_model->HasRow(row) ? m_model->Row(row).toolTip : QString();
}

QString CSortListCtrl::GetItemText(int row, int column) const {
    if (!m_model->HasRow(row) || column < 0 || column >= m_model->columnCount()) {
        return {};
    }
    return m_model->Row(row).cells[static_cast<std::size_t>(column)];
}

int CSortListCtrl::GetItemImage(int row) const {
    return m_model->HasRow(row) ? m_model->Row(row).image : -1;
}

std::vector<int> CSortListCtrl::FindItemsByData(std::uint32_t itemData) const {
    return m_model->FindByData(itemData);
}

int CSortListCtrl::GetItemCount() const {
    return m_model->Count();
}

void CSortListCtrl::ReserveItems(std::size_t count) {
    m_model->Reserve(count);
}

void CSortListCtrl::DeleteAllItems() {
    m_model->Clear();
}

void CSortListCtrl::SetImageList(QList<QIcon> images) {
    m_model->SetImages(std::move(images));
}

void CSortListCtrl::SetSortable(bool sortable) {
    m_sortable = sortable;
    m_header->setSectionsClickable(sortable);
}

void CSortListCtrl::SortByColumn(int column) {
    const bool ascending = column == GetSortColumn() ? !IsAscending() : true;
    m_header->SetSortArrow(column, ascending);
    m_model->SortRows([this, column, ascending](const CListRow& a, const CListRow& b) {
        return ascending ? Compare(a, b, column) < 0 : Compare(b, a, column) < 0;
    });
}

int CSortListCtrl::GetSortColumn() const {
    return m_header->GetSortColumn();
}

bool CSortListCtrl::IsAscending() const {
    return m_header->IsAscending();
}

QHeaderView* CSortListCtrl::header() const {
    return m_header;
}

int CSortListCtrl::GetColumnWidth(int column) const {
    return m_header->sectionSize(column);
}

void CSortListCtrl::FlushPendingRows() {
    m_model->Publish();
}

int CSortListCtrl::Compare(const CListRow&, const CListRow&, int) const {
    return 0;
}
