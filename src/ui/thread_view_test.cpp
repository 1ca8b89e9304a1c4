#include "ui/thread_view.h"

#include <QHeaderView>
#include <QtTest>

#include "platform/registry_key.h"
#include "support/config_folder.h"
#include "support/thread_rows.h"
#include "support/ui_test_registry.h"

using testing_support::ConfigFolder;
using testing_support::ThreadRows;

class CThreadViewTest : public QObject {
    Q_OBJECT

private slots:
    void init() { m_config = std::make_unique<ConfigFolder>(); }
    void cleanup() { m_config.reset(); }

    void workersFillTheirOwnRows();
    void aLateSizeStaysOffTheRow_data();
    void aLateSizeStaysOffTheRow();
    void columnWidthsOutliveTheView_data();
    void columnWidthsOutliveTheView();

private:
    std::unique_ptr<ConfigFolder> m_config;
};

void CThreadViewTest::workersFillTheirOwnRows() {
    CThreadView view;
    QCOMPARE(view.model()->headerData(2, Qt::Horizontal).toString(), "Progress");
    view.SetWorkerCount(3);
    QCOMPARE(ThreadRows(view), (QStringList{"0|||", "1|||", "2|||"}));
    QCOMPARE(view.model()->rowCount(), 3);

    view.SetWorkerUrl(1, 1, "http://h/a");
    view.SetWorkerPercent(1, 57);
    view.SetWorkerSize(1, 1, 1234);
    view.SetWorkerUrl(2, 1, "http://h/b");
    view.SetWorkerPercent(2, 0);
    view.SetWorkerSize(2, 1, 0);
    // Rows that do not exist are ignored.
    view.SetWorkerUrl(3, 1, "http://h/c");
    view.SetWorkerSize(3, 1, 10);
    view.SetWorkerPercent(-1, 10);
    QCOMPARE(ThreadRows(view), (QStringList{"0|||", "1|http://h/a|57%|1234", "2|http://h/b||"}));

    view.ClearWorker(1);
    QCOMPARE(ThreadRows(view), (QStringList{"0|||", "1|||", "2|http://h/b||"}));
    view.SetWorkerCount(2);
    QCOMPARE(ThreadRows(view), (QStringList{"0|||", "1|||"}));
    view.DeleteAllItems();
    QCOMPARE(view.GetItemCount(), 0);
}

void CThreadViewTest::aLateSizeStaysOffTheRow_data() {
    QTest::addColumn<bool>("nextTaskTaken");
    QTest::addColumn<QString>("row");
    QTest::newRow("row idle") << false << "0|||";
    QTest::newRow("row on the next task") << true << "0|http://h/b||";
}

// A size is posted, so it can arrive after the notice that its task ended,
// and after the worker's next URL too.
void CThreadViewTest::aLateSizeStaysOffTheRow() {
    QFETCH(bool, nextTaskTaken);
    QFETCH(QString, row);
    CThreadView view;
    view.SetWorkerCount(1);
    view.SetWorkerUrl(0, 1, "http://h/a");
    view.ClearWorker(0);
    if (nextTaskTaken) {
        view.SetWorkerUrl(0, 2, "http://h/b");
    }
    view.SetWorkerSize(0, 1, 446);
    view.SetWorkerSize(0, 0, 358);
    QCOMPARE(ThreadRows(view), QStringList{row});
}

void CThreadViewTest::columnWidthsOutliveTheView_data() {
    QTest::addColumn<QByteArray>("stored");
    QTest::addColumn<QList<int>>("widths");
    const QList<int> defaults{60, 400, 80, 80};
    QTest::newRow("none stored") << QByteArray() << defaults;
    QTest::newRow("sixteen bytes")
        << QByteArray("\x46\x00\x00\x00\x2c\x01\x00\x00\x5a\x00\x00\x00\x64\x00\x00\x00", 16)
        << QList<int>{70, 300, 90, 100};
    QTest::newRow("eight bytes") << QByteArray("\x46\x00\x00\x00\x2c\x01\x00\x00", 8) << defaults;
}

void CThreadViewTest::columnWidthsOutliveTheView() {
    QFETCH(QByteArray, stored);
    QFETCH(QList<int>, widths);
    if (!stored.isEmpty()) {
        GetSectionKey("Layout").WriteBinary("Thread View", stored.constData(), stored.size());
    }
    {
        CThreadView view;
        for (int column = 0; column < 4; ++column) {
            QCOMPARE(view.GetColumnWidth(column), widths[column]);
        }
        view.header()->resizeSection(CThreadView::kSizeColumn, 99);
    }
    widths[CThreadView::kSizeColumn] = 99;
    CThreadView view;
    for (int column = 0; column < 4; ++column) {
        QCOMPARE(view.GetColumnWidth(column), widths[column]);
    }
}

TARNWICK_UI_TEST(CThreadViewTest);
#include "thread_view_test.moc"
