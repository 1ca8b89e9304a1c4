// The program settings: time-outs, attempts and identity on one page, the
// proxy server on the other. OK copies them into the settings, which reach
// the settings store at exit.
#pragma once

#include <QDialog>

class CProgramOptions;
class QCheckBox;
class QComboBox;
class QLineEdit;
class QSpinBox;

class COptionsDialog : public QDialog {
    Q_OBJECT
public:
    COptionsDialog(CProgramOptions& options, QWidget* parent = nullptr);

    void accept() override;

    QSpinBox* ConnectionTimeout() const { return m_connection; }
    QSpinBox* RequestTimeout() const { return m_request; }
    QSpinBox* Retries() const { return m_retries; }
    QComboBox* Agent() const { return m_agent; }
    QCheckBox* ProxyEnabled() const { return m_proxyEnabled; }
    QLineEdit* ProxyAddress() const { return m_address; }
    QSpinBox* ProxyPort() const { return m_port; }
    QLineEdit* ProxyUser() const { return m_user; }
    QLineEdit* ProxyPassword() const { return m_password; }

private:
    QWidget* MakeConnectionPage();
    QWidget* MakeProxyPage();

    CProgramOptions& m_options;
    QSpinBox* m_connection;
    QSpinBox* m_request;
    QSpinBox* m_retries;
    QComboBox* m_agent;
    QCheckBox* m_proxyEnabled;
    QLineEdit* m_address;
    QSpinBox* m_port;
    QLineEdit* m_user;
    QLineEdit* m_password;
};
