#include "ui/options_dialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLineEdit>
#include <QSpinBox>
#include <QTabWidget>
#include <QVBoxLayout>

#include "engine/program_options.h"

namespace {

constexpr int kMaxSeconds = 99;
constexpr int kMaxRetries = 99;
constexpr int kMaxPort = 65535;

QSpinBox* MakeSpin(int minimum, int maximum, int value) {
    auto* spin = new QSpinBox;
    spin->setRange(minimum, maximum);
    spin->setValue(value);
    return spin;
}

}  // namespace

COptionsDialog::COptionsDialog(CProgramOptions& options, QWidget* parent)
    : QDialog(parent),
      m_options(options),
      m_connection(MakeSpin(1, kMaxSeconds, options.GetConnectionTimeout())),
      m_request(MakeSpin(1, kMaxSeconds, options.GetRequestTimeout())),
      m_retries(MakeSpin(0, kMaxRetries, options.GetRetries())),
      m_agent(new QComboBox),
      m_proxyEnabled(new QCheckBox("Enable proxy server")),
      m_address(new QLineEdit),
      m_port(MakeSpin(0, kMaxPort, 0)),
      m_user(new QLineEdit),
      m_password(new QLineEdit) {
    setWindowTitle("Program Options");
    for (int index = 0; index < CProgramOptions::kUserAgentCount; ++index) {
        m_agent->addItem(CProgramOptions::UserAgentName(index));
    }
    // An index outside the table selects no row.
    m_agent->setCurrentIndex(
        options.GetUserAgent() < CProgramOptions::kUserAgentCount ? options.GetUserAgent() : -1);
    if (options.IsProxyInUse()) {
        m_proxyEnabled->setChecked(true);
        m_address->setText(QString::fromStdString(options.GetProxyHost()));
        m_port->setValue(static_cast<int>(options.GetProxyPort()));
        m_user->setText(QString::fromStdString(options.GetProxyUser()));
        m_password->setText(QString::fromStdString(options.GetProxyPassword()));
    }
    m_password->setEchoMode(QLineEdit::Password);
    auto* tabs = new QTabWidget;
    tabs->addTab(MakeConnectionPage(), "Connection");
    tabs->addTab(MakeProxyPage(), "Proxy Server");
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    connect(buttons, &QDialogButtonBox::accepted, this, &COptionsDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &COptionsDialog::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(tabs);
    layout->addWidget(buttons);
}

QWidget* COptionsDialog::MakeConnectionPage() {
    auto* page = new QWidget;
    auto* layout = new QFormLayout(page);
    layout->addRow("Connection Timeout:", m_connection);
    layout->addRow("Request Timeout:", m_request);
    layout->addRow("Retry Times:", m_retries);
    layout->addRow("Agent Identity", m_agent);
    return page;
}

QWidget* COptionsDialog::MakeProxyPage() {
    auto* page = new QWidget;
    auto* layout = new QFormLayout(page);
    layout->addRow(m_proxyEnabled);
    layout->addRow("Address:", m_address);
    layout->addRow("Port:", m_port);
    layout->addRow("User ID:", m_user);
    layout->addRow("Password:", m_password);
    const auto enableEdits = [this](bool enabled) {
        for (QWidget* edit :
             std::initializer_list<QWidget*>{m_address, m_port, m_user, m_password}) {
            edit->setEnabled(enabled);
        }
    };
    enableEdits(m_proxyEnabled->isChecked());
    connect(m_proxyEnabled, &QCheckBox::toggled, this, enableEdits);
    return page;
}

void COptionsDialog::accept() {
    m_options.SetConnectionTimeout(m_connection->value());
    m_options.SetRequestTimeout(m_request->value());
    m_options.SetRetries(m_retries->value());
    if (m_agent->currentIndex() >= 0) {
        m_options.SetUserAgent(m_agent->currentIndex());
    }
    if (m_proxyEnabled->isChecked()) {
        m_options.SetProxy(
            m_address->text().toStdString(), static_cast<std::uint32_t>(m_port->value()),
            m_user->text().trimmed().toStdString(), m_password->text().trimmed().toStdString());
    } else {
        m_options.SetProxy({}, 0);
    }
    QDialog::accept();
}
