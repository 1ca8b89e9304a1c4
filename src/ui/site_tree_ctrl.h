// The tree of the directory view, over a model that keeps siblings in
// alphabetical order (case ignored) as items arrive.
#pragma once

#include <QTreeView>

#include "ui/site_tree_model.h"

class CSiteTreeCtrl : public QTreeView {
    Q_OBJECT
public:
    explicit CSiteTreeCtrl(QWidget* parent = nullptr);
    ~CSiteTreeCtrl() override;

    CSiteTreeModel& GetModel() const { return *m_model; }
    void DeleteAllItems();

private:
    CSiteTreeModel* m_model;
};
