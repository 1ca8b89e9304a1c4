#include "ui/hyper_link.h"

#include <QDesktopServices>
#include <QMouseEvent>

namespace {

const QColor kLinkColor(0, 0, 255);

}  // namespace

CHyperLink::CHyperLink(const QString& text, QWidget* parent) : QLabel(text, parent) {
    QFont underlined = font();
    underlined.setUnderline(true);
    setFont(underlined);
    QPalette palette = this->palette();
    palette.setColor(QPalette::WindowText, kLinkColor);
    setPalette(palette);
    setCursor(Qt::PointingHandCursor);
}

void CHyperLink::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint())) {
        QDesktopServices::openUrl(m_address);
    }
    QLabel::mouseReleaseEvent(event);
}
