#include "ui/file_view.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QHeaderView>
#include <QMenu>
#include <QStyleOptionHeader>
#include <QtTest>

#include "platform/registry_key.h"
#include "support/config_folder.h"
#include "support/ui_test_registry.h"
#include "ui/sort_header_ctrl.h"

using testing_support::ConfigFolder;

namespace {

// Two URLs whose CRC-32 values are equal (0xD9342499).
const char* const kCrcTwinA = "http://h/nidmovh";
const char* const kCrcTwinB = "http://h/bubanxn";

// "S", "K" or "F" before each URL: reported as saved, skipped by robots.txt
// or failed.
void Report(CFileView& view, const QStringList& reports) {
    for (const QString& report : reports) {
        const std::string url = report.mid(2).toStdString();
        if (report.startsWith("S ")) {
            view.ShowUrlSaved(url);
        } else if (report.startsWith("K ")) {
            view.ShowUrlFailed(url, ERR_ROBOTS_DISALLOWED);
        } else {
            view.ShowUrlFailed(url, ERR_HTTP_CLIENT_ERROR, 404);
        }
    }
}

// Each row as its state letter and URL, top to bottom.
// The arrow the header asks the style to draw on the column.
QStyleOptionHeader::SortIndicator SortMark(const QHeaderView* header, int column) {
    // Reaches the protected hook that the header paints each section with.
    struct Probe : CSortHeaderCtrl {
        using CSortHeaderCtrl::initStyleOptionForIndex;
    };
    const auto initForIndex = &Probe::initStyleOptionForIndex;
    QStyleOptionHeader option;
    (qobject_cast<const CSortHeaderCtrl*>(header)->*initForIndex)(&option, column);
    return option.sortIndicator;
}

// The URLs of the rows the view shows, top to bottom.
QStringList ShownUrls(const CFileView& view) {
    QStringList urls;
    for (int row = 0; row < view.model()->rowCount(); ++row) {
        if (!view.isRowHidden(row)) {
            urls << view.GetItemText(row, CFileView::kUrlColumn);
        }
    }
    return urls;
}

QStringList Rows(const CFileView& view) {
    QStringList rows;
    for (int row = 0; row < view.GetItemCount(); ++row) {
        rows << QString(view.GetItemImage(row) == CFileView::kSavedImage ? "S " : "F ") +
                    view.GetItemText(row, CFileView::kUrlColumn);
    }
    return rows;
}

void ClickHeader(CFileView& view, int column) {
    QHeaderView* header = view.header();
    QTest::mouseClick(header->viewport(), Qt::LeftButton, {},
                      QPoint(header->sectionViewportPosition(column) + 5, header->height() / 2));
}

}  // namespace

class CFileViewTest : public QObject {
    Q_OBJECT

private slots:
    void init() { m_config = std::make_unique<ConfigFolder>(); }
    void cleanup() { m_config.reset(); }

    void reportsGiveOneRowPerUrl_data();
    void reportsGiveOneRowPerUrl();
    void resetRowsAreAddedAgain();
    void headerClicksToggleTheSort();
    void copyUrlTakesTheSelectedRowOnly();
    void rowsTellTheirResult();
    void failedOnlyHidesSavedRows();
    void columnWidthsOutliveTheView_data();
    void columnWidthsOutliveTheView();

private:
    std::unique_ptr<ConfigFolder> m_config;
};

void CFileViewTest::reportsGiveOneRowPerUrl_data() {
    QTest::addColumn<QStringList>("reports");
    QTest::addColumn<QStringList>("rows");
    QTest::newRow("saved twice") << QStringList{"S http://h/a", "S http://h/a"}
                                 << QStringList{"S http://h/a"};
    QTest::newRow("failed, then saved")
        << QStringList{"F http://h/a", "S http://h/a"} << QStringList{"S http://h/a"};
    QTest::newRow("saved, then failed")
        << QStringList{"S http://h/a", "F http://h/a"} << QStringList{"S http://h/a"};
    QTest::newRow("failed twice") << QStringList{"F http://h/a", "F http://h/a"}
                                  << QStringList{"F http://h/a"};
    QTest::newRow("case makes another URL") << QStringList{"S http://h/a", "F http://h/A"}
                                            << QStringList{"S http://h/a", "F http://h/A"};
    QTest::newRow("equal CRC-32, two rows")
        << QStringList{QString("F ") + kCrcTwinA, QString("S ") + kCrcTwinB,
                       QString("S ") + kCrcTwinA, QString("F ") + kCrcTwinB}
        << QStringList{QString("S ") + kCrcTwinA, QString("S ") + kCrcTwinB};
}

void CFileViewTest::reportsGiveOneRowPerUrl() {
    QFETCH(QStringList, reports);
    QFETCH(QStringList, rows);
    CFileView view;
    Report(view, reports);
    QCOMPARE(Rows(view), rows);
    // The view sees the rows once the batch is handed over.
    QTRY_COMPARE(view.model()->rowCount(), rows.size());
}

void CFileViewTest::resetRowsAreAddedAgain() {
    CFileView view;
    Report(view, {"S http://h/a", QString("S ") + kCrcTwinA});
    view.DeleteAllItems();
    QCOMPARE(view.GetItemCount(), 0);
    Report(view, {"F http://h/a", "S http://h/a", QString("F ") + kCrcTwinB});
    QCOMPARE(Rows(view), (QStringList{"S http://h/a", QString("F ") + kCrcTwinB}));
}

void CFileViewTest::headerClicksToggleTheSort() {
    CFileView view;
    view.resize(600, 300);
    view.show();
    QVERIFY(QTest::qWaitForWindowExposed(&view));
    Report(view, {"S http://h/b", "F http://h/C", "S http://h/a"});
    view.FlushPendingRows();
    view.setCurrentIndex(view.model()->index(1, CFileView::kUrlColumn));

    struct Click {
        int column;
        QStringList rows;
        Qt::SortOrder order;
        QStyleOptionHeader::SortIndicator mark;
    };
    const Click clicks[] = {
        {CFileView::kUrlColumn,
         {"S http://h/a", "S http://h/b", "F http://h/C"},
         Qt::AscendingOrder,
         QStyleOptionHeader::SortUp},
        {CFileView::kUrlColumn,
         {"F http://h/C", "S http://h/b", "S http://h/a"},
         Qt::DescendingOrder,
         QStyleOptionHeader::SortDown},
        {CFileView::kStateColumn,
         {"F http://h/C", "S http://h/b", "S http://h/a"},
         Qt::AscendingOrder,
         QStyleOptionHeader::SortUp},
        {CFileView::kStateColumn,
         {"S http://h/b", "S http://h/a", "F http://h/C"},
         Qt::DescendingOrder,
         QStyleOptionHeader::SortDown},
    };
    for (const Click& click : clicks) {
        ClickHeader(view, click.column);
        QCOMPARE(Rows(view), click.rows);
        QCOMPARE(view.header()->sortIndicatorSection(), click.column);
        QCOMPARE(view.header()->sortIndicatorOrder(), click.order);
        QCOMPARE(SortMark(view.header(), click.column), click.mark);
        QCOMPARE(SortMark(view.header(), 1 - click.column), QStyleOptionHeader::None);
        // The current row follows its URL.
        QCOMPARE(view.GetItemText(view.currentIndex().row(), CFileView::kUrlColumn), "http://h/C");
    }
    // A later row is not sorted into place, but is found again.
    Report(view, {"S http://h/0", "S http://h/C"});
    QCOMPARE(Rows(view).last(), "S http://h/0");
    QCOMPARE(Rows(view).first(), "S http://h/b");
    QCOMPARE(Rows(view).count("S http://h/C"), 1);
}

void CFileViewTest::copyUrlTakesTheSelectedRowOnly() {
    CFileView view;
    Report(view, {"S http://h/a", "F http://h/b"});
    view.FlushPendingRows();
    QClipboard* clipboard = QGuiApplication::clipboard();
    clipboard->setText("before");

    view.CopySelectedUrl();
    QCOMPARE(clipboard->text(), "before");
    view.selectionModel()->setCurrentIndex(view.model()->index(1, 0),
                                           QItemSelectionModel::NoUpdate);
    view.CopySelectedUrl();
    QCOMPARE(clipboard->text(), "before");

    view.setCurrentIndex(view.model()->index(1, 0));
    view.CopySelectedUrl();
    QCOMPARE(clipboard->text(), "http://h/b");
}

void CFileViewTest::rowsTellTheirResult() {
    CFileView view;
    view.ShowUrlFailed("http://h/missing", ERR_HTTP_CLIENT_ERROR, 404);
    view.ShowUrlFailed("http://nowhere.invalid/", ERR_HOST_NOT_FOUND);
    view.ShowUrlFailed("http://h/late", ERR_HTTP_SERVER_ERROR, 503);
    view.ShowUrlSaved("http://h/late");
    view.ShowUrlFailed("http://h/late", ERR_HOST_NOT_FOUND);
    view.FlushPendingRows();
    const QStringList expected = {
        "404 Not Found; 0x20010302: The HTTP request contains bad syntax or cannot be fulfilled!",
        "0x2001030A: The host name does not exist!",
        // Saved at last: the failures before and after do not stand.
        "0x00000000: Success",
    };
    for (int row = 0; row < expected.size(); ++row) {
        // Every cell of the row tells it, the icon's too.
        for (int column : {CFileView::kStateColumn, CFileView::kUrlColumn}) {
            QCOMPARE(view.model()->index(row, column).data(Qt::ToolTipRole).toString(),
                     expected[row]);
        }
    }
}

void CFileViewTest::failedOnlyHidesSavedRows() {
    CFileView view;
    QAction* failedOnly = view.GetFailedOnlyAction();
    QVERIFY(failedOnly->isCheckable());
    QVERIFY(view.GetPopupMenu()->actions().contains(failedOnly));
    Report(view, {"S http://h/a", "F http://h/b", "S http://h/c", "F http://h/d", "K http://h/k"});
    view.FlushPendingRows();

    failedOnly->trigger();
    QCOMPARE(ShownUrls(view), (QStringList{"http://h/b", "http://h/d"}));
    // Rows that come or change while it is on are filtered too, and a sort
    // keeps each row's state.
    Report(view, {"S http://h/e", "F http://h/f", "S http://h/d"});
    view.FlushPendingRows();
    QCOMPARE(ShownUrls(view), (QStringList{"http://h/b", "http://h/f"}));
    view.SortByColumn(CFileView::kUrlColumn);
    view.SortByColumn(CFileView::kUrlColumn);
    QCOMPARE(ShownUrls(view), (QStringList{"http://h/f", "http://h/b"}));

    failedOnly->trigger();
    QCOMPARE(ShownUrls(view).size(), 7);
}

void CFileViewTest::columnWidthsOutliveTheView_data() {
    QTest::addColumn<QByteArray>("stored");
    QTest::addColumn<int>("stateWidth");
    QTest::addColumn<int>("urlWidth");
    QTest::newRow("none stored") << QByteArray() << 30 << 500;
    QTest::newRow("eight bytes") << QByteArray("\x28\x00\x00\x00\x2c\x01\x00\x00", 8) << 40 << 300;
    QTest::newRow("another length") << QByteArray("\x28\x00\x00\x00\x2c\x01", 6) << 30 << 500;
}

void CFileViewTest::columnWidthsOutliveTheView() {
    QFETCH(QByteArray, stored);
    QFETCH(int, stateWidth);
    QFETCH(int, urlWidth);
    if (!stored.isEmpty()) {
        GetSectionKey("Layout").WriteBinary("File View", stored.constData(), stored.size());
    }
    {
        CFileView view;
        QCOMPARE(view.GetColumnWidth(CFileView::kStateColumn), stateWidth);
        QCOMPARE(view.GetColumnWidth(CFileView::kUrlColumn), urlWidth);
        view.header()->resizeSection(CFileView::kUrlColumn, 333);
    }
    CFileView view;
    QCOMPARE(view.GetColumnWidth(CFileView::kStateColumn), stateWidth);
    QCOMPARE(view.GetColumnWidth(CFileView::kUrlColumn), 333);
}

TARNWICK_UI_TEST(CFileViewTest);
#include "file_view_test.moc"
