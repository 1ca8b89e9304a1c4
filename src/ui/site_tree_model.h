// The items of the directory tree, held compactly so that a project of a
// million saved files fits: one node per level, its text, icon and children.
// A node's children are sorted alphabetically (case ignored) only once the
// view first asks for them, so a tree built in bulk is never re-sorted item
// by item; from then on a new child is inserted in its place.
#pragma once

#include <QAbstractItemModel>
#include <QIcon>
#include <QList>
#include <QString>
#include <cstdint>
#include <deque>
#include <unordered_map>
#include <vector>

class CSiteTreeModel : public QAbstractItemModel {
    Q_OBJECT
public:
    using NodeId = std::uint32_t;
    static constexpr NodeId kRoot = 0;
    static constexpr NodeId kNoNode = 0xFFFFFFFF;

    explicit CSiteTreeModel(QObject* parent = nullptr);
    ~CSiteTreeModel() override;

    // The index of the icon among those the items may show.
    int AddIcon(const QIcon& icon);
    // The child of parent whose text is exactly text, or kNoNode.
    NodeId FindChild(NodeId parent, const QString& text) const;
    // After the siblings whose text sorts before or equal to text.
    NodeId AddChild(NodeId parent, const QString& text, int icon);
    // Room for count items in all, so that a tree built in bulk does not
    // stop to grow its index again and again.
    void Reserve(std::size_t count) { m_childIndex.reserve(count); }
    // Every item goes; the icons stay.
    void Clear();
    QModelIndex IndexOf(NodeId node) const;
    NodeId NodeOf(const QModelIndex& index) const;

    QModelIndex index(int row, int column, const QModelIndex& parent = {}) const override;
    QModelIndex parent(const QModelIndex& child) const override;
    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    bool hasChildren(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;

private:
    struct Node {
        QString text;
        NodeId parent = kNoNode;
        std::int32_t icon = -1;
        // False while the view has not seen the children: they are kept in
        // the order added, and sorted when the view first asks.
        mutable bool sorted = false;
        mutable std::vector<NodeId> children;
    };
    // A child's text is looked up beside its parent's id; the view refers
    // to the node's own text, which does not move when the nodes do.
    struct ChildKey {
        NodeId parent;
        QStringView text;
        bool operator==(const ChildKey& other) const {
            return parent == other.parent && text == other.text;
        }
    };
    struct ChildKeyHash {
        std::size_t operator()(const ChildKey& key) const { return qHash(key.text, key.parent); }
    };

    const Node& SortedNode(NodeId node) const;
    bool SortsBefore(NodeId a, NodeId b) const;
    int RowOf(NodeId node) const;

    // A deque, so that growing a large tree never moves every node at once.
    std::deque<Node> m_nodes;
    std::unordered_map<ChildKey, NodeId, ChildKeyHash> m_childIndex;
    QList<QIcon> m_icons;
};
