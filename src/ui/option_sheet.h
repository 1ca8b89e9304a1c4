// "Program Options": the settings that apply to all projects. OK copies the
// pages into the settings, which reach the settings store at exit; Cancel
// changes nothing.
#pragma once

#include <cstdint>
#include <string>

#include "ui/prop_sheet.h"

class CProgramOptions;
class CSpinEdit;
class QCheckBox;
class QComboBox;
class QLineEdit;

class CPropOptConn : public CPropPage {
    Q_OBJECT
public:
    CPropOptConn(const CProgramOptions& options, CUserPrompts& prompts);

    bool Validate() override;
    void CopyTo(CProgramOptions& options) const;

    CSpinEdit* ConnectionTimeout() const { return m_connectionEdit; }
    CSpinEdit* RequestTimeout() const { return m_requestEdit; }
    CSpinEdit* TransferLimit() const { return m_transferEdit; }
    CSpinEdit* Retries() const { return m_retriesEdit; }
    QComboBox* Agent() const { return m_agent; }
    QCheckBox* VerifyCertificates() const { return m_verify; }
    QCheckBox* HeadRequests() const { return m_head; }
    QCheckBox* PageRequisites() const { return m_requisites; }
    QCheckBox* Robots() const { return m_robots; }
    CSpinEdit* Wait() const { return m_waitEdit; }
    QCheckBox* RandomWait() const { return m_randomWait; }
    CSpinEdit* LimitRate() const { return m_limitRateEdit; }

private:
    void ShowUserAgent(const CProgramOptions& options);
    void CopyUserAgentTo(CProgramOptions& options) const;

    std::uint32_t m_connectionTimeout;
    std::uint32_t m_requestTimeout;
    std::uint32_t m_transferLimit;
    std::uint32_t m_retries;
    std::uint32_t m_waitMs;
    std::uint32_t m_limitRate;
    CSpinEdit* m_connectionEdit;
    CSpinEdit* m_requestEdit;
    CSpinEdit* m_transferEdit;
    CSpinEdit* m_retriesEdit;
    QComboBox* m_agent;
    QCheckBox* m_verify;
    QCheckBox* m_head;
    QCheckBox* m_requisites;
    QCheckBox* m_robots;
    CSpinEdit* m_waitEdit;
    QCheckBox* m_randomWait;
    CSpinEdit* m_limitRateEdit;
};

class CPropOptProxy : public CPropPage {
    Q_OBJECT
public:
    CPropOptProxy(const CProgramOptions& options, CUserPrompts& prompts);

    bool Validate() override;
    void CopyTo(CProgramOptions& options) const;

    QCheckBox* Enabled() const { return m_enabled; }
    QLineEdit* Address() const { return m_address; }
    QLineEdit* Port() const { return m_portEdit; }
    QLineEdit* User() const { return m_user; }
    QLineEdit* Password() const { return m_password; }

private:
    void EnableEdits(bool enabled);

    std::uint32_t m_port = 0;
    QCheckBox* m_enabled;
    QLineEdit* m_address;
    QLineEdit* m_portEdit;
    QLineEdit* m_user;
    QLineEdit* m_password;
};

class COptionSheet : public CPropSheet {
    Q_OBJECT
public:
    COptionSheet(CProgramOptions& options, CUserPrompts& prompts, QWidget* parent = nullptr);

    void accept() override;

    CPropOptConn& Connection() const { return *m_connection; }
    CPropOptProxy& Proxy() const { return *m_proxy; }

private:
    CProgramOptions& m_options;
    CPropOptConn* m_connection;
    CPropOptProxy* m_proxy;
};
