#include "ui/option_sheet.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QLineEdit>
#include <QVBoxLayout>

#include "engine/program_options.h"
#include "ui/number_field.h"
#include "ui/spin_edit.h"

namespace {

constexpr std::uint32_t kMaxSeconds = 99;
constexpr std::uint32_t kMaxRetries = 99;
constexpr auto kMaxTransferLimit = static_cast<std::uint32_t>(CProgramOptions::kMaxTransferLimit);
constexpr std::uint32_t kMaxPort = 65535;

CSpinEdit* MakeSpinEdit(int minimum, int maximum, std::uint32_t value) {
    auto* spin = new CSpinEdit;
    spin->SetRange(minimum, maximum);
    spin->SetValue(value);
    return spin;
}

std::uint32_t Unsigned(int value) {
    return static_cast<std::uint32_t>(value);
}

}  // namespace

CPropOptConn::CPropOptConn(const CProgramOptions& options, CUserPrompts& prompts)
    : CPropPage("Connection", HelpTopic::Connection, prompts),
      m_connectionTimeout(Unsigned(options.GetConnectionTimeout())),
      m_requestTimeout(Unsigned(options.GetRequestTimeout())),
      m_transferLimit(Unsigned(options.GetTransferLimit())),
      m_retries(Unsigned(options.GetRetries())),
      m_connectionEdit(MakeSpinEdit(1, kMaxSeconds, m_connectionTimeout)),
      m_requestEdit(MakeSpinEdit(1, kMaxSeconds, m_requestTimeout)),
      m_transferEdit(MakeSpinEdit(0, kMaxTransferLimit, m_transferLimit)),
      m_retriesEdit(MakeSpinEdit(0, kMaxRetries, m_retries)),
      m_agent(new QComboBox),
      m_verify(new QCheckBox("Verify server certificates")),
      m_head(new QCheckBox("Send a HEAD request before every download")),
      m_requisites(
          new QCheckBox("Download page requisites (style sheets, images in srcset, media)")) {
    for (int index = 0; index < CProgramOptions::kUserAgentCount; ++index) {
        m_agent->addItem(CProgramOptions::UserAgentName(index));
    }
    // An index outside the table selects no row.
    m_agent->setCurrentIndex(
        options.GetUserAgent() < CProgramOptions::kUserAgentCount ? options.GetUserAgent() : -1);
    m_verify->setChecked(options.GetVerifyCertificates());
    m_head->setChecked(options.GetHeadRequests());
    m_requisites->setChecked(options.GetPageRequisites());
    auto* form = new QFormLayout;
    form->addRow("Connection Timeout:", m_connectionEdit);
    form->addRow("Request Timeout:", m_requestEdit);
    m_transferEdit->setToolTip("Seconds one whole response may take; 0 for no limit");
    form->addRow("Transfer Limit:", m_transferEdit);
    form->addRow("Retry Times:", m_retriesEdit);
    form->addRow("Agent Identity", m_agent);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(m_verify);
    layout->addWidget(m_head);
    layout->addWidget(m_requisites);
    layout->addStretch();
}

bool CPropOptConn::Validate() {
    return ReadUnsignedField(m_connectionEdit, m_connectionEdit->text(), Prompts(), 1, kMaxSeconds,
                             m_connectionTimeout) &&
           ReadUnsignedField(m_requestEdit, m_requestEdit->text(), Prompts(), 1, kMaxSeconds,
                             m_requestTimeout) &&
           ReadUnsignedField(m_transferEdit, m_transferEdit->text(), Prompts(), 0,
                             kMaxTransferLimit, m_transferLimit) &&
           ReadUnsignedField(m_retriesEdit, m_retriesEdit->text(), Prompts(), 0, kMaxRetries,
                             m_retries);
}

void CPropOptConn::CopyTo(CProgramOptions& options) const {
    options.SetConnectionTimeout(static_cast<int>(m_connectionTimeout));
    options.SetRequestTimeout(static_cast<int>(m_requestTimeout));
    options.SetTransferLimit(static_cast<int>(m_transferLimit));
    options.SetRetries(static_cast<int>(m_retries));
    // A stored index beyond the table shows no row; it stays as it was.
    if (m_agent->currentIndex() >= 0) {
        options.SetUserAgent(m_agent->currentIndex());
    }
    options.SetVerifyCertificates(m_verify->isChecked());
    options.SetHeadRequests(m_head->isChecked());
    options.SetPageRequisites(m_requisites->isChecked());
}

CPropOptProxy::CPropOptProxy(const CProgramOptions& options, CUserPrompts& prompts)
    : CPropPage("Proxy Server", HelpTopic::ProxyServer, prompts),
      m_enabled(new QCheckBox("Enable proxy server")),
      m_address(new QLineEdit),
      m_portEdit(new QLineEdit),
      m_user(new QLineEdit),
      m_password(new QLineEdit) {
    if (options.IsProxyInUse()) {
        m_enabled->setChecked(true);
        m_address->setText(QString::fromStdString(options.GetProxyHost()));
        m_port = options.GetProxyPort();
        m_user->setText(QString::fromStdString(options.GetProxyUser()));
        m_password->setText(QString::fromStdString(options.GetProxyPassword()));
    }
    m_portEdit->setText(QString::number(m_port));
    m_password->setEchoMode(QLineEdit::Password);
    auto* layout = new QFormLayout(this);
    layout->addRow(m_enabled);
    layout->addRow("Address:", m_address);
    layout->addRow("Port:", m_portEdit);
    layout->addRow("User ID:", m_user);
    layout->addRow("Password:", m_password);
    EnableEdits(m_enabled->isChecked());
    connect(m_enabled, &QCheckBox::toggled, this, &CPropOptProxy::EnableEdits);
}

void CPropOptProxy::EnableEdits(bool enabled) {
    for (QWidget* edit : {m_address, m_portEdit, m_user, m_password}) {
        edit->setEnabled(enabled);
    }
}

bool CPropOptProxy::Validate() {
    // The port of a disabled proxy is thrown away on OK, and a disabled
    // field could not take the focus to be corrected.
    return !m_enabled->isChecked() ||
           ReadUnsignedField(m_portEdit, m_portEdit->text(), Prompts(), 0, kMaxPort, m_port);
}

void CPropOptProxy::CopyTo(CProgramOptions& options) const {
    if (m_enabled->isChecked()) {
        options.SetProxy(m_address->text().toStdString(), m_port,
                         m_user->text().trimmed().toStdString(),
                         m_password->text().trimmed().toStdString());
    } else {
        options.SetProxy({}, 0);
    }
}

COptionSheet::COptionSheet(CProgramOptions& options, CUserPrompts& prompts, QWidget* parent)
    : CPropSheet("Program Options", prompts, parent),
      m_options(options),
      m_connection(new CPropOptConn(options, prompts)),
      m_proxy(new CPropOptProxy(options, prompts)) {
    AddPage(m_connection);
    AddPage(m_proxy);
}

void COptionSheet::accept() {
    if (!ValidateActivePage()) {
        return;
    }
    m_connection->CopyTo(m_options);
    m_proxy->CopyTo(m_options);
    CPropSheet::accept();
}
