#include "ui/project_dialog.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLineEdit>
#include <QMessageBox>
#include <QSpinBox>

#include "engine/project_settings.h"

namespace {

constexpr int kNewProjectThreads = 3;

}  // namespace

CProjectDialog::CProjectDialog(CProjectSettings& settings, bool newProject, QWidget* parent)
    : QDialog(parent),
      m_settings(settings),
      m_newProject(newProject),
      m_url(new QLineEdit(this)),
      m_threads(new QSpinBox(this)) {
    setWindowTitle(newProject ? "New Project" : "Project Properties");
    m_threads->setRange(1, static_cast<int>(CProjectSettings::kMaxThreadCount));
    if (newProject) {
        m_threads->setValue(kNewProjectThreads);
    } else {
        m_url->setText(QString::fromStdString(settings.GetStartUrl().GetSourceText()));
        m_url->setEnabled(false);
        m_threads->setValue(settings.GetThreadCount());
    }
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &CProjectDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &CProjectDialog::reject);
    auto* layout = new QFormLayout(this);
    layout->addRow("URL:", m_url);
    layout->addRow("Threads:", m_threads);
    layout->addRow(buttons);
}

void CProjectDialog::accept() {
    const std::string text = m_url->text().toStdString();
    CUrl url;
    if (text.empty() || !url.Parse(text) || url.GetHost().empty()) {
        QMessageBox::warning(this, windowTitle(), "Invalid URL");
        m_url->setFocus();
        return;
    }
    m_settings.SetThreadCount(m_threads->value());
    if (m_newProject) {
        m_settings.SetStartUrl(url);
        CCrawlRules& rules = m_settings.GetRules();
        rules.SetLevels(-1, 0);
        rules.SetScope(url.GetHost(), url.GetPath());
    }
    QDialog::accept();
}
