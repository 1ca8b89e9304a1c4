#include "ui/about_dlg.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QVBoxLayout>

#include "platform/registry_key.h"
#include "ui/hyper_link.h"

namespace {

constexpr const char* kCopyright = "Copyright (C) 2026 Ostrevane";
constexpr const char* kWebsiteName = "tarnwick.org";
constexpr const char* kWebsiteAddress = "https://tarnwick.org/";
constexpr const char* kSupportAddress = "support@tarnwick.org";
constexpr int kVersionParts = 4;

}  // namespace

CAboutDlg::CAboutDlg(QWidget* parent)
    : QDialog(parent),
      m_name(new QLabel(NameLine(kApplicationName, TARNWICK_VERSION))),
      m_copyright(new QLabel(kCopyright)),
      m_website(new CHyperLink(kWebsiteName)),
      m_email(new CHyperLink(kSupportAddress)) {
    setWindowTitle("About");
    m_website->SetAddress(QUrl(kWebsiteAddress));
    m_email->SetAddress(QUrl(QString("mailto:") + kSupportAddress));
    auto* links = new QFormLayout;
    links->addRow("Website:", m_website);
    links->addRow("E-Mail:", m_email);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok);
    connect(buttons, &QDialogButtonBox::accepted, this, &CAboutDlg::accept);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_name);
    layout->addWidget(m_copyright);
    layout->addLayout(links);
    layout->addWidget(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);
}

QString CAboutDlg::NameLine(const QString& productName, const QString& version) {
    QStringList parts = version.split('.', Qt::SkipEmptyParts);
    while (!version.isEmpty() && parts.size() < kVersionParts) {
        parts << "0";
    }
    return productName + "  v" + parts.join('.');
}

QString CAboutDlg::NameText() const {
    return m_name->text();
}

QString CAboutDlg::CopyrightText() const {
    return m_copyright->text();
}
