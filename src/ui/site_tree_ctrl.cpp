#include "ui/site_tree_ctrl.h"

#include <QHeaderView>

CSiteTreeCtrl::CSiteTreeCtrl(QWidget* parent)
    : QTreeView(parent), m_model(new CSiteTreeModel(this)) {
    setModel(m_model);
    setHeaderHidden(true);
    setUniformRowHeights(true);
    setSelectionMode(QAbstractItemView::SingleSelection);
    header()->setSectionResizeMode(QHeaderView::ResizeToContents);
    header()->setStretchLastSection(false);
}

CSiteTreeCtrl::~CSiteTreeCtrl() = default;

void CSiteTreeCtrl::DeleteAllItems() {
    m_model->Clear();
}
