// A text that opens its address when clicked: blue, underlined, with the
// hand cursor while the mouse is over it.
#pragma once

#include <QLabel>
#include <QUrl>

class CHyperLink : public QLabel {
    Q_OBJECT
public:
    explicit CHyperLink(const QString& text, QWidget* parent = nullptr);

    void SetAddress(const QUrl& address) { m_address = address; }
    const QUrl& Address() const { return m_address; }

protected:
    // Opens the address when the left button is released over the text;
    // a failure to open it is ignored.
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    QUrl m_address;
};
