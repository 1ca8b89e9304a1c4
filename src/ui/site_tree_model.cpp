#include "ui/site_tree_model.h"

#include <algorithm>

namespace {

int CompareText(const QString& a, const QString& b) {
    return a.compare(b, Qt::CaseInsensitive);
}

}  // namespace

CSiteTreeModel::CSiteTreeModel(QObject* parent) : QAbstractItemModel(parent) {
    m_nodes.emplace_back();
    // The view asks for the top level at once.
    m_nodes[kRoot].sorted = true;
}

CSiteTreeModel::~CSiteTreeModel() = default;

int CSiteTreeModel::AddIcon(const QIcon& icon) {
    m_icons.push_back(icon);
    return static_cast<int>(m_icons.size()) - 1;
}

CSiteTreeModel::NodeId CSiteTreeModel::FindChild(NodeId parent, const QString& text) const {
    const auto found = m_childIndex.find(ChildKey{parent, text});
    return found == m_childIndex.end() ? kNoNode : found->second;
}

CSiteTreeModel::NodeId CSiteTreeModel::AddChild(NodeId parent, const QString& text, int icon) {
    const auto id = static_cast<NodeId>(m_nodes.size());
    Node& added = m_nodes.emplace_back();
    added.text = text;
    added.parent = parent;
    added.icon = icon;
    m_childIndex.emplace(ChildKey{parent, added.text}, id);
    const Node& owner = m_nodes[parent];
    if (!owner.sorted) {
        owner.children.push_back(id);
        return id;
    }
    const auto position =
        std::upper_bound(owner.children.begin(), owner.children.end(), id,
                         [this](NodeId a, NodeId b) { return SortsBefore(a, b); });
    const int row = static_cast<int>(position - owner.children.begin());
    beginInsertRows(IndexOf(parent), row, row);
    owner.children.insert(position, id);
    endInsertRows();
    return id;
}

void CSiteTreeModel::Clear() {
    beginResetModel();
    m_childIndex.clear();
    m_nodes.resize(1);
    m_nodes[kRoot].children.clear();
    endResetModel();
}

bool CSiteTreeModel::SortsBefore(NodeId a, NodeId b) const {
    return CompareText(m_nodes[a].text, m_nodes[b].text) < 0;
}

const CSiteTreeModel::Node& CSiteTreeModel::SortedNode(NodeId node) const {
    const Node& owner = m_nodes[node];
    if (!owner.sorted) {
        // Stable, so siblings that differ in case only keep the order they
        // came in, as they would have had inserted one by one.
        std::stable_sort(owner.children.begin(), owner.children.end(),
                         [this](NodeId a, NodeId b) { return SortsBefore(a, b); });
        owner.sorted = true;
    }
    return owner;
}

int CSiteTreeModel::RowOf(NodeId node) const {
    const std::vector<NodeId>& siblings = SortedNode(m_nodes[node].parent).children;
    // Among the siblings that compare equal to it, case ignored.
    auto first = std::lower_bound(siblings.begin(), siblings.end(), node,
                                  [this](NodeId a, NodeId b) { return SortsBefore(a, b); });
    return static_cast<int>(std::find(first, siblings.end(), node) - siblings.begin());
}

QModelIndex CSiteTreeModel::IndexOf(NodeId node) const {
    if (node == kRoot || node >= m_nodes.size()) {
        return {};
    }
    return createIndex(RowOf(node), 0, node);
}

CSiteTreeModel::NodeId CSiteTreeModel::NodeOf(const QModelIndex& index) const {
    return index.isValid() ? static_cast<NodeId>(index.internalId()) : kRoot;
}

QModelIndex CSiteTreeModel::index(int row, int column, const QModelIndex& parent) const {
    const std::vector<NodeId>& children = SortedNode(NodeOf(parent)).children;
    if (row < 0 || column != 0 || static_cast<std::size_t>(row) >= children.size()) {
        return {};
    }
    return createIndex(row, 0, children[static_cast<std::size_t>(row)]);
}

QModelIndex CSiteTreeModel::parent(const QModelIndex& child) const {
    return child.isValid() ? IndexOf(m_nodes[NodeOf(child)].parent) : QModelIndex();
}

int CSiteTreeModel::rowCount(const QModelIndex& parent) const {
    if (parent.column() > 0) {
        return 0;
    }
    return static_cast<int>(SortedNode(NodeOf(parent)).children.size());
}

int CSiteTreeModel::columnCount(const QModelIndex&) const {
    return 1;
}

bool CSiteTreeModel::hasChildren(const QModelIndex& parent) const {
    return parent.column() <= 0 && !m_nodes[NodeOf(parent)].children.empty();
}

QVariant CSiteTreeModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid()) {
        return {};
    }
    const Node& node = m_nodes[NodeOf(index)];
    if (role == Qt::DisplayRole) {
        return node.text;
    }
    if (role == Qt::DecorationRole && node.icon >= 0 && node.icon < m_icons.size()) {
        return m_icons[node.icon];
    }
    return {};
}
