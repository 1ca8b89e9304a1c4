// The tree of the saved copy of the site, laid out as the files lie in the
// download folder: one level per segment of each saved file's local URL
// (scheme and host folder, folders, file name). A double click on a file
// opens it with the program the desktop associates with it.
#pragma once

#include <QHash>
#include <QIcon>
#include <QWidget>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

class CQuillmoorDoc;
class CSiteTreeCtrl;
class CUrl;
class CUserPrompts;
class QTreeWidgetItem;

class CDirView : public QWidget {
    Q_OBJECT
public:
    CDirView(CQuillmoorDoc& doc, CUserPrompts& prompts, QWidget* parent = nullptr);
    ~CDirView() override;

    // The levels of the tree for a local URL: "scheme://host", each folder,
    // then the file name, which may be empty.
    static std::vector<std::string> SplitLocalUrl(const CUrl& url);

    // Adds the levels of the saved file that the tree lacks; expand opens
    // the parents of the new items.
    void AddSavedFile(const std::string& localUrl, const std::string& localPath, bool expand);
    // Forgets every item; the extension icons are kept.
    void ClearTree();
    // Opens the file or folder of the selected item.
    void OpenSelected();

    // Around filling the tree from a whole project: the items reach the
    // tree, sorted, when the fill ends.
    void BeginFill();
    void EndFill();

    CSiteTreeCtrl& GetTree() { return *m_tree; }

private:
    struct Node {
        QTreeWidgetItem* item = nullptr;
        std::uint32_t handle = 0;
    };

    Node Insert(const Node& parent, const QString& text, const QIcon& icon, bool expand);
    QIcon ExtensionIcon(const std::string& localPath);
    void OnItemDoubleClicked(QTreeWidgetItem* item);

    CQuillmoorDoc& m_doc;
    CUserPrompts& m_prompts;
    CSiteTreeCtrl* m_tree;
    QIcon m_folderIcon;
    std::map<std::string, QIcon> m_extensionIcons;
    // "%08X_%s" of the parent's handle and the item's text, so that a
    // parent's child is found without walking the tree.
    QHash<QString, Node> m_itemKeys;
    std::uint32_t m_lastHandle = 0;
};
