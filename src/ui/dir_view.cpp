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

// The handle that stands for the tree's root in the keys of top-level items.
constexpr std::uint32_t kRootHandle = 0xFFFF0000;

const char* const kPreloadedExtensions[] = {".html", ".htm", ".xml", ".jpg", ".gif",
                                            ".png",  ".bmp", ".css", ".zip", ".txt"};

QString ItemKey(std::uint32_t parentHandle, const QString& text) {
    static constexpr char kHexDigits[] = "0123456789ABCDEF";
    QString key(9 + text.size(), Qt::Uninitialized);
    QChar* out = key.data();
    for (int shift = 28; shift >= 0; shift -= 4) {
        *out++ = QLatin1Char(kHexDigits[(parentHandle >> shift) & 0xF]);
    }
    *out++ = u'_';
    std::copy(text.cbegin(), text.cend(), out);
    return key;
}

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
    m_folderIcon = QFileIconProvider().icon(QAbstractFileIconProvider::Folder);
    for (const char* extension : kPreloadedExtensions) {
        m_extensionIcons.emplace(extension, IconForExtension(extension));
    }
    connect(m_tree, &QTreeWidget::itemDoubleClicked, this, &CDirView::OnItemDoubleClicked);
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
    Node parent{nullptr, kRootHandle};
    std::size_t level = 0;
    for (; level < levels.size(); ++level) {
        const auto found =
            m_itemKeys.constFind(ItemKey(parent.handle, QString::fromStdString(levels[level])));
        if (found == m_itemKeys.constEnd()) {
            break;
        }
        parent = found.value();
    }
    if (level == levels.size()) {
        return;
    }
    for (; level + 1 < levels.size(); ++level) {
        parent = Insert(parent, QString::fromStdString(levels[level]), m_folderIcon, expand);
    }
    Insert(parent, QString::fromStdString(levels.back()), ExtensionIcon(localPath), expand);
}

CDirView::Node CDirView::Insert(const Node& parent, const QString& text, const QIcon& icon,
                                bool expand) {
    const Node node{m_tree->InsertItem(parent.item, text, icon), ++m_lastHandle};
    m_itemKeys.insert(ItemKey(parent.handle, text), node);
    if (expand && parent.item) {
        parent.item->setExpanded(true);
    }
    return node;
}

QIcon CDirView::ExtensionIcon(const std::string& localPath) {
    const std::string extension = ToLowerAscii(CFilePath(localPath).GetExt());
    auto found = m_extensionIcons.find(extension);
    if (found == m_extensionIcons.end()) {
        found = m_extensionIcons.emplace(extension, IconForExtension(extension)).first;
    }
    return found->second;
}

void CDirView::ClearTree() {
    m_itemKeys.clear();
    m_tree->DeleteAllItems();
}

void CDirView::BeginFill() {
    m_tree->BeginBatch();
}

void CDirView::EndFill() {
    m_tree->EndBatch();
}

void CDirView::OnItemDoubleClicked(QTreeWidgetItem* item) {
    // An inner item expands or collapses as usual.
    if (item->childCount() == 0) {
        QMetaObject::invokeMethod(this, &CDirView::OpenSelected, Qt::QueuedConnection);
    }
}

void CDirView::OpenSelected() {
    const QTreeWidgetItem* item = m_tree->currentItem();
    if (item == nullptr || !m_doc.IsOpen()) {
        return;
    }
    QString text = item->text(0);
    for (const QTreeWidgetItem* above = item->parent(); above; above = above->parent()) {
        text = above->text(0) + "/" + text;
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
