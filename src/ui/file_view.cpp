#include "ui/file_view.h"

#include <zlib.h>

#include <QClipboard>
#include <QContextMenuEvent>
#include <QGuiApplication>
#include <QHeaderView>
#include <QMenu>
#include <algorithm>
#include <array>

#include "engine/result_text.h"
#include "platform/registry_key.h"

namespace {

const char* const kLayoutSection = "Layout";
const char* const kWidthsValue = "File View";
constexpr std::array<std::int32_t, 2> kDefaultWidths = {30, 500};
constexpr int kIconSize = 14;
// Stands for the HTTP status in the key of a saved file's result text.
constexpr int kSavedStatus = -1;

std::uint32_t UrlCrc(std::string_view url) {
    return static_cast<std::uint32_t>(crc32(crc32(0, nullptr, 0),
                                            reinterpret_cast<const Bytef*>(url.data()),
                                            static_cast<uInt>(url.size())));
}

int AsciiLower(char16_t letter) {
    return letter >= u'A' && letter <= u'Z' ? letter - u'A' + u'a' : letter;
}

QString FromUtf8(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

// As QString's comparison with case ignored, which folds every character
// through the Unicode tables; URLs are ASCII nearly always, and a list of a
// million of them sorts several times faster through the short way.
int CompareCaseless(QStringView a, QStringView b) {
    const qsizetype common = std::min(a.size(), b.size());
    for (qsizetype at = 0; at < common; ++at) {
        const char16_t left = a[at].unicode();
        const char16_t right = b[at].unicode();
        if (left >= 0x80 || right >= 0x80) {
            return a.sliced(at).compare(b.sliced(at), Qt::CaseInsensitive);
        }
        const int difference = AsciiLower(left) - AsciiLower(right);
        if (difference != 0) {
            return difference;
        }
    }
    return a.size() < b.size() ? -1 : (a.size() > b.size() ? 1 : 0);
}

// Ascending, the rows that need a look come first: failed, skipped, saved.
int StateRank(int image) {
    switch (image) {
        case CFileView::kFailedImage:
            return 0;
        case CFileView::kSkippedImage:
            return 1;
        default:
            return 2;
    }
}

}  // namespace

CFileView::CFileView(QWidget* parent) : CSortListCtrl(parent) {
    std::array<std::int32_t, 2> widths = kDefaultWidths;
    if (!GetSectionKey(kLayoutSection).ReadBinary(kWidthsValue, widths.data(), sizeof widths)) {
        widths = kDefaultWidths;
    }
    InsertColumn(" ", Qt::AlignHCenter, widths[kStateColumn]);
    InsertColumn("URL", Qt::AlignLeft, widths[kUrlColumn]);
    setIconSize(QSize(kIconSize, kIconSize));
    SetImageList(
        {QIcon(":/icons/failed.svg"), QIcon(":/icons/saved.svg"), QIcon(":/icons/skipped.svg")});
    SetSortable(true);
    CreatePopupMenu();
    connect(this, &QAbstractItemView::doubleClicked, this, &CFileView::openFileRequested);
    // Rows reach the view in batches; each batch is filtered as it comes.
    connect(model(), &QAbstractItemModel::rowsInserted, this,
            [this](const QModelIndex&, int first, int last) {
                if (m_failedOnly->isChecked()) {
                    FilterRows(first, last);
                }
            });
}

CFileView::~CFileView() {
    // Failures are ignored: the next start falls back to the defaults.
    const std::array<std::int32_t, 2> widths = {GetColumnWidth(kStateColumn),
                                                GetColumnWidth(kUrlColumn)};
    GetSectionKey(kLayoutSection).WriteBinary(kWidthsValue, widths.data(), sizeof widths);
}

void CFileView::CreatePopupMenu() {
    // The key names are labels only; no shortcut is bound to them.
    m_popup = new QMenu(this);
    connect(m_popup->addAction("&Copy URL\tCtrl+N"), &QAction::triggered, this,
            &CFileView::CopySelectedUrl);
    connect(m_popup->addAction("Open &File\tCtrl+F"), &QAction::triggered, this,
            &CFileView::openFileRequested);
    connect(m_popup->addAction("Open &URL\tCtrl+U"), &QAction::triggered, this,
            &CFileView::openUrlRequested);
    m_popup->addSeparator();
    m_failedOnly = m_popup->addAction("Failed only");
    m_failedOnly->setCheckable(true);
    connect(m_failedOnly, &QAction::toggled, this, &CFileView::FilterAllRows);
}

void CFileView::FilterRows(int first, int last) {
    const bool failedOnly = m_failedOnly->isChecked();
    // Each row hidden or shown resizes its section of the row header, which
    // then places every section anew unless its updates are off: a list of
    // a hundred thousand rows would take minutes to filter.
    QHeaderView* rows = verticalHeader();
    const bool updates = rows->updatesEnabled();
    rows->setUpdatesEnabled(false);
    for (int row = first; row <= last; ++row) {
        setRowHidden(row, failedOnly && GetItemImage(row) != kFailedImage);
    }
    rows->setUpdatesEnabled(updates);
}

void CFileView::FilterAllRows() {
    FilterRows(0, model()->rowCount() - 1);
}

void CFileView::contextMenuEvent(QContextMenuEvent* event) {
    m_popup->popup(event->globalPos());
}

void CFileView::ShowUrlSaved(std::string_view url, std::uint32_t code) {
    ShowUrl(url, kSavedImage, ResultText(code, kSavedStatus));
}

void CFileView::ShowUrlFailed(std::string_view url, std::uint32_t code, int httpStatus) {
    ShowUrl(url, IsSkipResult(code) ? kSkippedImage : kFailedImage, ResultText(code, httpStatus));
}

const QString& CFileView::ResultText(std::uint32_t code, int httpStatus) {
    const auto key = std::pair{code, httpStatus};
    auto found = m_resultTexts.find(key);
    if (found == m_resultTexts.end()) {
        const std::string text = httpStatus == kSavedStatus
                                     ? DescribeResult(code)
                                     : DescribeFailure(DescribeStatusLine(httpStatus), code);
        found = m_resultTexts.emplace(key, QString::fromStdString(text)).first;
    }
    return found->second;
}

void CFileView::ShowUrl(std::string_view url, Image image, const QString& result) {
    const std::uint32_t crc = UrlCrc(url);
    const QString text = FromUtf8(url);
    if (m_listedCrcs.contains(crc)) {
        // Two URLs may share a CRC, so the text decides.
        for (int row : FindItemsByData(crc)) {
            if (GetItemText(row, kUrlColumn) == text) {
                if (image == kSavedImage) {
                    SetItemImage(row, kSavedImage);
                    SetItemToolTip(row, result);
                    FilterRows(row, row);
                }
                return;
            }
        }
    }
    const int row = InsertItem({}, image);
    SetItemData(row, crc);
    SetItemText(row, kUrlColumn, text);
    SetItemToolTip(row, result);
    m_listedCrcs.insert(crc);
}

void CFileView::ReserveItems(std::size_t count) {
    CSortListCtrl::ReserveItems(count);
    m_listedCrcs.reserve(count);
}

QString CFileView::GetSelectedUrl() const {
    const QModelIndex current = currentIndex();
    if (!current.isValid() || !selectionModel()->isRowSelected(current.row(), {})) {
        return {};
    }
    return GetItemText(current.row(), kUrlColumn);
}

void CFileView::CopySelectedUrl() {
    const QString url = GetSelectedUrl();
    if (!url.isEmpty()) {
        QGuiApplication::clipboard()->setText(url);
    }
}

int CFileView::Compare(const CListRow& a, const CListRow& b, int column) const {
    if (column == kStateColumn) {
        return StateRank(a.image) - StateRank(b.image);
    }
    return CompareCaseless(a.cells[kUrlColumn], b.cells[kUrlColumn]);
}
