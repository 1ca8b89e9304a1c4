// "About": the program's name and version, its copyright, and links to the
// maker's web site and support address.
#pragma once

#include <QDialog>

class CHyperLink;
class QLabel;

class CAboutDlg : public QDialog {
    Q_OBJECT
public:
    explicit CAboutDlg(QWidget* parent = nullptr);

    // "Tarnwick  v1.0.0.0" for version "1.0.0": four numbers, the missing
    // ones 0.
    static QString NameLine(const QString& productName, const QString& version);

    QString NameText() const;
    QString CopyrightText() const;
    CHyperLink* Website() const { return m_website; }
    CHyperLink* Email() const { return m_email; }

private:
    QLabel* m_name;
    QLabel* m_copyright;
    CHyperLink* m_website;
    CHyperLink* m_email;
};
