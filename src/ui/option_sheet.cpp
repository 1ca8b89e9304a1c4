#include "ui/option_sheet.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QLineEdit>
#include <QVBoxLayout>
#include <limits>

#include "engine/program_options.h"
#include "ui/number_field.h"
#include "ui/spin_edit.h"

namespace {

constexpr std::uint32_t kMaxSeconds = 99;
constexpr std::uint32_t kMaxRetries = 99;
constexpr auto kMaxTransferLimit = static_cast<std::uint32_t>(CProgramOptions::kMaxTransferLimit);
constexpr std::uint32_t kMaxPort = 65535;
constexpr std::uint32_t kMaxLimitRate = std::numeric_limits<std::uint32_t>::max();
// The arrows of a spin edit step within an int; typed text goes beyond.
constexpr int kMaxLimitRateStep = std::numeric_limits<int>::max();

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
      m_waitMs(options.GetWaitMs()),
      m_limitRate(options.GetLimitRate()),
      m_connectionEdit(MakeSpinEdit(1, kMaxSeconds, m_connectionTimeout)),
      m_requestEdit(MakeSpinEdit(1, kMaxSeconds, m_requestTimeout)),
      m_transferEdit(MakeSpinEdit(0, kMaxTransferLimit, m_transferLimit)),
      m_retriesEdit(MakeSpinEdit(0, kMaxRetries, m_retries)),
      m_agent(new QComboBox),
      m_verify(new QCheckBox("Verify server certificates")),
      m_head(new QCheckBox("Send a HEAD request before every download")),
      m_requisites(
          new QCheckBox("Download page requisites (style sheets, images in srcset, media)")),
      m_robots(new QCheckBox("Obey robots.txt and nofollow")),
      m_waitEdit(MakeSpinEdit(0, static_cast<int>(CProgramOptions::kMaxWaitMs), m_waitMs)),
      m_randomWait(new QCheckBox("Vary each wait from half to one and a half times")),
      m_limitRateEdit(MakeSpinEdit(0, kMaxLimitRateStep, m_limitRate)) {
    ShowUserAgent(options);
    m_verify->setChecked(options.GetVerifyCertificates());
    m_head->setChecked(options.GetHeadRequests());
    m_requisites->setChecked(options.GetPageRequisites());
    m_robots->setChecked(options.GetRobots());
    m_randomWait->setChecked(options.GetRandomWait());
    auto* form = new QFormLayout;
    form->addRow("Connection Timeout:", m_connectionEdit);
    form->addRow("Request Timeout:", m_requestEdit);
    m_transferEdit->setToolTip("Seconds one whole response may take; 0 for no limit");
    form->addRow("Transfer Limit:", m_transferEdit);
    form->addRow("Retry Times:", m_retriesEdit);
    form->addRow("Agent Identity", m_agent);
    m_waitEdit->setToolTip("Milliseconds between two requests to one server; 0 for none");
    form->addRow("Wait (ms):", m_waitEdit);
    m_limitRateEdit->setToolTip("Bytes per second that the whole crawl receives; 0 for no limit");
    form->addRow("Limit Rate (bytes/s):", m_limitRateEdit);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    for (QCheckBox* box : {m_randomWait, m_robots, m_verify, m_head, m_requisites}) {
        layout->addWidget(box);
    }
    layout->addStretch();
}

// The presets by name, each with the identity it sends as its tool tip;
// an own text stands in the edit instead.
void CPropOptConn::ShowUserAgent(const CProgramOptions& options) {
    m_agent->setEditable(true);
    m_agent->setInsertPolicy(QComboBox::NoInsert);
    for (int index = 0; index < CProgramOptions::kUserAgentCount; ++index) {
        m_agent->addItem(CProgramOptions::UserAgentName(index));
        m_agent->setItemData(index, CProgramOptions::PresetUserAgentString(index), Qt::ToolTipRole);
    }
    m_agent->setToolTip("A preset, or the text to send as the user agent");
    // An index outside the table selects no row.
    m_agent->setCurrentIndex(
        options.GetUserAgent() < CProgramOptions::kUserAgentCount ? options.GetUserAgent() : -1);
    if (!options.GetUserAgentText().empty()) {
        m_agent->setEditText(QString::fromStdString(options.GetUserAgentText()));
    }
}

// A preset's name chooses the preset; any other text is sent as it is.
void CPropOptConn::CopyUserAgentTo(CProgramOptions& options) const {
    const QString text = m_agent->currentText().trimmed();
    const int preset = m_agent->findText(text, Qt::MatchFixedString);
    if (preset >= 0) {
        options.SetUserAgent(preset);
        options.SetUserAgentText({});
    } else {
        // A stored index beyond the table stays as it was.
        options.SetUserAgentText(text.toStdString());
    }
}

bool CPropOptConn::Validate() {
    return ReadUnsignedField(m_connectionEdit, m_connectionEdit->text(), Prompts(), 1, kMaxSeconds,
                             m_connectionTimeout) &&
           ReadUnsignedField(m_requestEdit, m_requestEdit->text(), Prompts(), 1, kMaxSeconds,
                             m_requestTimeout) &&
           ReadUnsignedField(m_transferEdit, m_transferEdit->text(), Prompts(), 0,
                             kMaxTransferLimit, m_transferLimit) &&
           ReadUnsignedField(m_retriesEdit, m_retriesEdit->text(), Prompts(), 0, kMaxRetries,
                             m_retries) &&
           ReadUnsignedField(m_waitEdit, m_waitEdit->text(), Prompts(), 0,
                             CProgramOptions::kMaxWaitMs, m_waitMs) &&
           ReadUnsignedField(m_limitRateEdit, m_limitRateEdit->text(), Prompts(), 0, kMaxLimitRate,
                             m_limitRate);
}

void CPropOptConn::CopyTo(CProgramOptions& options) const {
    options.SetConnectionTimeout(static_cast<int>(m_connectionTimeout));
    options.SetRequestTimeout(static_cast<int>(m_requestTimeout));
    options.SetTransferLimit(static_cast<int>(m_transferLimit));
    options.SetRetries(static_cast<int>(m_retries));
    CopyUserAgentTo(options);
    options.SetVerifyCertificates(m_verify->isChecked());
    options.SetHeadRequests(m_head->isChecked());
    options.SetPageRequisites(m_requisites->isChecked());
    options.SetRobots(m_robots->isChecked());
    options.SetWaitMs(m_waitMs);
    options.SetRandomWait(m_randomWait->isChecked());
    options.SetLimitRate(m_limitRate);
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
