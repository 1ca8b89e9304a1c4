// The tree of the saved copy of the site, laid out as the files lie in the
// download folder: one level per segment of each saved file's local URL
// (scheme and host folder, folders, file name). A double click on a file
// opens it with the program the desktop associates with it.
#pragma once

#include <QWidget>
#include <map>
#include <string>
#include <vector>

#include "ui/site_tree_model.h"

class CQuillmoorDoc;
class CSiteTreeCtrl;
class CUrl;
class CUserPrompts;

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
    // Room for the levels of count saved files, for a fill in bulk.
    void ReserveFiles(std::size_t count);
    // Forgets every item; the extension icons are kept.
    void ClearTree();
    // Opens the file or folder of the selected item.
    void OpenSelected();

    CSiteTreeCtrl& GetTree() { return *m_tree; }

private:
    using NodeId = CSiteTreeModel::NodeId;

    NodeId Insert(NodeId parent, const QString& text, int icon, bool expand);
    // The model's index of the icon for files with the local path's extension.
    int ExtensionIcon(const std::string& localPath);
    void OnItemDoubleClicked(const QModelIndex& index);

    CQuillmoorDoc& m_doc;
    CUserPrompts& m_prompts;
    CSiteTreeCtrl* m_tree;
    int m_folderIcon = -1;
    std::map<std::string, int> m_extensionIcons;
};
