// The list of every URL the project has finished with, one row per URL, with
// an icon that tells whether its content was saved, failed or was skipped
// (kept out by the filters or robots.txt), and a tooltip with the result, as
// the command line words it. Fed by the main frame from the
// crawl's messages; it keeps no link to the download list.
#pragma once

#include <QString>
#include <cstdint>
#include <map>
#include <string_view>
#include <unordered_set>

#include "base/errors.h"
#include "ui/sort_list_ctrl.h"

class QAction;
class QMenu;

class CFileView : public CSortListCtrl {
    Q_OBJECT
public:
    enum Column { kStateColumn, kUrlColumn };
    enum Image { kFailedImage, kSavedImage, kSkippedImage };

    explicit CFileView(QWidget* parent = nullptr);
    ~CFileView() override;

    // code: what the save returned, which may tell of a page kept unread.
    void ShowUrlSaved(std::string_view url, std::uint32_t code = ERR_SUCCESS);
    // A row that exists keeps its icon and result. httpStatus is the
    // server's answer, 0 when there was none. A skip is shown as such.
    void ShowUrlFailed(std::string_view url, std::uint32_t code, int httpStatus = 0);
    void ReserveItems(std::size_t count) override;
    // The URL of the row that is both selected and current, or empty.
    QString GetSelectedUrl() const;
    // Leaves the clipboard alone when no row is selected.
    void CopySelectedUrl();
    // The pop-up menu's commands, which the owner carries out.
    QMenu* GetPopupMenu() const { return m_popup; }
    // The pop-up menu's check that hides every row that did not fail.
    QAction* GetFailedOnlyAction() const { return m_failedOnly; }

signals:
    void openFileRequested();
    void openUrlRequested();

protected:
    int Compare(const CListRow& a, const CListRow& b, int column) const override;
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    void ShowUrl(std::string_view url, Image image, const QString& result);
    void CreatePopupMenu();
    void FilterRows(int first, int last);
    void FilterAllRows();
    // One shared copy of each text, so that a million rows that tell the
    // same result do not hold a million copies of it.
    const QString& ResultText(std::uint32_t code, int httpStatus);

    // The CRC-32 of every URL that has been given a row; it outlives the
    // rows, so a URL listed before a reset is searched among the rows again.
    std::unordered_set<std::uint32_t> m_listedCrcs;
    // By result code and HTTP status (-1 for a saved file).
    std::map<std::pair<std::uint32_t, int>, QString> m_resultTexts;
    QMenu* m_popup = nullptr;
    QAction* m_failedOnly = nullptr;
};
