// The tree of the directory view. Siblings are kept in alphabetical order as
// items arrive; a batch of items built while the tree is filled from a
// project is sorted once and handed to the tree in one step.
#pragma once

#include <QTreeWidget>
#include <memory>
#include <vector>

class CSiteTreeCtrl : public QTreeWidget {
    Q_OBJECT
public:
    explicit CSiteTreeCtrl(QWidget* parent = nullptr);
    ~CSiteTreeCtrl() override;

    // Under parent, or at the top when parent is null, after the siblings
    // whose text sorts before or equal to text.
    QTreeWidgetItem* InsertItem(QTreeWidgetItem* parent, const QString& text, const QIcon& icon);
    void DeleteAllItems();

    // Between the two, new top-level items and their descendants are built
    // outside the tree, appended unsorted; EndBatch sorts them and adds them.
    void BeginBatch() { m_batching = true; }
    void EndBatch();

private:
    std::vector<std::unique_ptr<QTreeWidgetItem>> m_batch;
    bool m_batching = false;
};
