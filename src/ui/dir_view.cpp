#include "ui/dir_view.h"

#include <QFileIconProvider>
#include <QMimeDatabase>
#include <QVBoxLayout>

#include "base/ascii.h"
#include "base/url.h"
#include "engine/quillmoor_doc.h"
#include "storage/file_path.h"
#include "storage/local_file_mapping.h"
#include "ui/site_tree_ctrl.h"
#include "ui/user_prompts.h"

namespace {

const char* const kPreloadedExtensions[] = {".html", ".htm", ".xml", ".jpg", ".gif",
                                            ".png",  ".bmp", ".css", ".zip", ".txt"};

// The icon theme's icon for files with the extension; the file itself is
// never looked at.
QIcon IconForExtension(const std::string& extension) {
    static const QMimeDatabase mimeTypes;
    const QMimeType type = mimeTypes.mimeTypeForFile(QString::fromStdString("file" + extension),
                                                     QMimeDatabase::MatchExtension);
    QIcon icon = QIcon::fromTheme(type.iconName());
    if (icon.isNull()) {
        icon = QIcon::fromTheme(type.genericIconName());
    }
    return icon.isNull() ? QFileIconProvider().icon(QAbstractFileIconProvider::File) : icon;
}

}  // namespace

CDirView::CDirView(CQuillmoorDoc& doc, CUserPrompts& prompts, QWidget* parent)
    : QWidget(parent), m_doc(doc), m_prompts(prompts), m_tree(new CSiteTreeCtrl(this)) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_tree);
    CSiteTreeModel& model = m_tree->GetModel();
    m_folderIcon = model.AddIcon(QFileIconProvider().icon(QAbstractFileIconProvider::Folder));
    for (const char* extension : kPreloadedExtensions) {
        m_extensionIcons.emplace(extension, model.AddIcon(IconForExtension(extension)));
    }
    connect(m_tree, &QTreeView::doubleClicked, this, &CDirView::OnItemDoubleClicked);
}

CDirView::~CDirView() = default;

std::vector<std::string> CDirView::SplitLocalUrl(const CUrl& url) {
    std::vector<std::string> levels{url.GetSchemeName() + "://" + url.GetHost()};
    const std::string& path = url.GetPath();
    std::size_t start = path.starts_with('/') ? 1 : 0;
    for (std::size_t slash = path.find('/', start); slash != std::string::npos;
         slash = path.find('/', start)) {
        levels.push_back(path.substr(start, slash - start));
        start = slash + 1;
    }
    levels.push_back(url.GetFileName());
    return levels;
}

void CDirView::AddSavedFile(const std::string& localUrl, const std::string& localPath,
                            bool expand) {
    CUrl url;
    if (!url.Parse(localUrl)) {
        return;
    }
    const std::vector<std::string> levels = SplitLocalUrl(url);
    const CSiteTreeModel& model = m_tree->GetModel();
    NodeId parent = CSiteTreeModel::kRoot;
    std::size_t level = 0;
    for (; level < levels.size(); ++level) {
        const NodeId found = model.FindChild(parent, QString::fromStdString(levels[level]));
        if (found == CSiteTreeModel::kNoNode) {
            break;
        }
        parent = found;
    }
    if (level == levels.size()) {
        return;
    }
    for (; level + 1 < levels.size(); ++level) {
        parent = Insert(parent, QString::fromStdString(levels[level]), m_folderIcon, expand);
    }
    Insert(parent, QString::fromStdString(levels.back()), ExtensionIcon(localPath), expand);
}

CDirView::NodeId CDirView::Insert(NodeId parent, const QString& text, int icon, bool expand) {
    const NodeId node = m_tree->GetModel().AddChild(parent, text, icon);
    if (expand && parent != CSiteTreeModel::kRoot) {
        m_tree->expand(m_tree->GetModel().IndexOf(parent));
    }
    return node;
}

int CDirView::ExtensionIcon(const std::string& localPath) {
    const std::string extension = ToLowerAscii(CFilePath(localPath).GetExt());
    auto found = m_extensionIcons.find(extension);
    if (found == m_extensionIcons.end()) {
        found = m_extensionIcons
                    .emplace(extension, m_tree->GetModel().AddIcon(IconForExtension(extension)))
                    .first;
    }
    return found->second;
}

void CDirView::ReserveFiles(std::size_t count) {
    m_tree->GetModel().Reserve(count);
}

void CDirView::ClearTree() {
    m_tree->DeleteAllItems();
}

void CDirView::OnItemDoubleClicked(const QModelIndex& index) {
    // An inner item expands or collapses as usual.
    if (!m_tree->model()->hasChildren(index)) {
        QMetaObject::invokeMethod(this, &CDirView::OpenSelected, Qt::QueuedConnection);
    }
}

void CDirView::OpenSelected() {
    const QModelIndex current = m_tree->currentIndex();
    if (!current.isValid() || !m_doc.IsOpen()) {
        return;
    }
    QString text = current.data().toString();
    for (QModelIndex above = current.parent(); above.isValid(); above = above.parent()) {
        text = above.data().toString() + "/" + text;
    }
    // The tree holds local URLs, so the plain mapping leads back to the
    // saved file, or to the folder of an inner item.
    CUrl url;
    if (!url.Parse(text.toStdString())) {
        return;
    }
    std::string localPath;
    CLocalFileMapping(CFilePath(m_doc.GetSettings().GetDownloadFolder()))
        .GetLocalPathOfUrl(url, localPath);
    if (!localPath.empty()) {
        m_prompts.OpenWithShell(QString::fromStdString(localPath));
    }
}
