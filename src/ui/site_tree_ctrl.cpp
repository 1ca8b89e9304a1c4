#include "ui/site_tree_ctrl.h"

#include <QHeaderView>
#include <algorithm>

namespace {

bool SortsBefore(const QTreeWidgetItem* a, const QTreeWidgetItem* b) {
    return a->text(0).compare(b->text(0), Qt::CaseInsensitive) < 0;
}

// The position after the last sibling that sorts before or equal to text,
// by binary search over the children that child(index) gives.
template <class ChildAt>
int InsertPosition(int count, const QString& text, ChildAt child) {
    int first = 0;
    while (count > 0) {
        const int half = count / 2;
        if (child(first + half)->text(0).compare(text, Qt::CaseInsensitive) <= 0) {
            first += half + 1;
            count -= half + 1;
        } else {
            count = half;
        }
    }
    return first;
}

void SortSubtree(QTreeWidgetItem* item) {
    QList<QTreeWidgetItem*> children = item->takeChildren();
    std::stable_sort(children.begin(), children.end(), SortsBefore);
    for (QTreeWidgetItem* child : children) {
        SortSubtree(child);
    }
    item->addChildren(children);
}

}  // namespace

CSiteTreeCtrl::CSiteTreeCtrl(QWidget* parent) : QTreeWidget(parent) {
    setHeaderHidden(true);
    setColumnCount(1);
    setUniformRowHeights(true);
    setSelectionMode(QAbstractItemView::SingleSelection);
    header()->setSectionResizeMode(QHeaderView::ResizeToContents);
    header()->setStretchLastSection(false);
}

CSiteTreeCtrl::~CSiteTreeCtrl() = default;

QTreeWidgetItem* CSiteTreeCtrl::InsertItem(QTreeWidgetItem* parent, const QString& text,
                                           const QIcon& icon) {
    auto item = std::make_unique<QTreeWidgetItem>(QStringList{text});
    item->setIcon(0, icon);
    QTreeWidgetItem* inserted = item.get();
    if (parent == nullptr && m_batching) {
        m_batch.push_back(std::move(item));
    } else if (parent == nullptr) {
        insertTopLevelItem(InsertPosition(topLevelItemCount(), text,
                                          [this](int index) { return topLevelItem(index); }),
                           item.release());
    } else if (parent->treeWidget() == nullptr) {
        // Still in a batch: sorted when the batch ends.
        parent->addChild(item.release());
    } else {
        parent->insertChild(InsertPosition(parent->childCount(), text,
                                           [parent](int index) { return parent->child(index); }),
                            item.release());
    }
    return inserted;
}

void CSiteTreeCtrl::DeleteAllItems() {
    m_batch.clear();
    clear();
}

void CSiteTreeCtrl::EndBatch() {
    m_batching = false;
    std::stable_sort(m_batch.begin(), m_batch.end(),
                     [](const auto& a, const auto& b) { return SortsBefore(a.get(), b.get()); });
    for (auto& item : m_batch) {
        SortSubtree(item.get());
        const int position = InsertPosition(topLevelItemCount(), item->text(0),
                                            [this](int index) { return topLevelItem(index); });
        insertTopLevelItem(position, item.release());
    }
    m_batch.clear();
}
