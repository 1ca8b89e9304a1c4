#include "ui/dialog_title_fitter.h"

#include <QApplication>
#include <QBoxLayout>
#include <QDialog>
#include <QEvent>
#include <QFontMetrics>
#include <QGridLayout>
#include <QSpacerItem>

namespace {

// The icon and three buttons, each about as wide as the title bar is high,
// and the gaps around them.
constexpr int kDecorationSlots = 5;

int ContentWidth(const QLayout& layout, int windowWidth) {
    const QMargins margins = layout.contentsMargins();
    return windowWidth - margins.left() - margins.right();
}

}  // namespace

CDialogTitleFitter::CDialogTitleFitter() {
    QApplication::instance()->installEventFilter(this);
}

CDialogTitleFitter::~CDialogTitleFitter() {
    QApplication::instance()->removeEventFilter(this);
}

int CDialogTitleFitter::TitleBarWidth(const QString& title) {
    QFont font = QApplication::font("QMdiSubWindowTitleBar");
    font.setBold(true);
    const QFontMetrics metrics(font);
    const int barHeight = 2 * metrics.height();
    return metrics.horizontalAdvance(title) + kDecorationSlots * barHeight;
}

void CDialogTitleFitter::FitToTitle(QDialog& dialog) {
    const int needed = TitleBarWidth(dialog.windowTitle());
    // A message box and a sheet of fixed size set their own size from their
    // layouts whenever they show, so the width goes into the layout.
    QLayout* layout = dialog.layout();
    if (auto* grid = qobject_cast<QGridLayout*>(layout)) {
        grid->addItem(new QSpacerItem(ContentWidth(*grid, needed), 0), grid->rowCount(), 0, 1,
                      grid->columnCount());
    } else if (auto* box = qobject_cast<QBoxLayout*>(layout);
               box != nullptr && (box->direction() == QBoxLayout::TopToBottom ||
                                  box->direction() == QBoxLayout::BottomToTop)) {
        box->addStrut(ContentWidth(*box, needed));
    } else {
        dialog.setMinimumWidth(std::max(dialog.minimumWidth(), needed));
    }
}

bool CDialogTitleFitter::eventFilter(QObject* watched, QEvent* event) {
    // A widget is polished once, just before it first shows, when its title
    // has been set and its size is not yet decided.
    if (event->type() == QEvent::Polish) {
        auto* dialog = qobject_cast<QDialog*>(watched);
        if (dialog != nullptr && dialog->isWindow()) {
            FitToTitle(*dialog);
        }
    }
    return QObject::eventFilter(watched, event);
}
