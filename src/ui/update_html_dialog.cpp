#include "ui/update_html_dialog.h"

#include <QApplication>
#include <QGroupBox>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

#include "html/update_html_thread.h"
#include "storage/file_path.h"
#include "ui/user_prompts.h"

CUpdateHtmlDialog::CUpdateHtmlDialog(CMessageQueue& queue, CUserPrompts& prompts, QWidget* parent)
    : QDialog(parent),
      m_target(queue,
               [this](UINT message, WPARAM wParam, LPARAM lParam) {
                   DispatchCrawlMessage(message, wParam, lParam, *this);
                   return LRESULT{0};
               }),
      m_prompts(prompts),
      m_progress(new QProgressBar) {
    setWindowTitle("Update HTML Files");
    auto* group = new QGroupBox("Update Progress");
    auto* groupLayout = new QVBoxLayout(group);
    groupLayout->addWidget(m_progress);
    auto* cancel = new QPushButton("Cancel");
    connect(cancel, &QPushButton::clicked, this, &CUpdateHtmlDialog::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(group);
    layout->addWidget(cancel, 0, Qt::AlignRight);
}

CUpdateHtmlDialog::~CUpdateHtmlDialog() = default;

bool CUpdateHtmlDialog::Run(CDownloadList& list, const std::string& downloadFolder) {
    CUpdateHtmlThread thread(list, CFilePath(downloadFolder), &m_target);
    m_progress->setRange(0, 0);
    if (!thread.Start(0)) {
        return false;
    }
    m_thread = &thread;
    const bool completed = exec() == QDialog::Accepted;
    m_thread = nullptr;
    return completed;
}

void CUpdateHtmlDialog::reject() {
    if (!m_prompts.AskQuestion("Cancel file updating?")) {
        return;
    }
    QApplication::setOverrideCursor(Qt::WaitCursor);
    if (m_thread) {
        m_thread->Stop();
    }
    QDialog::reject();
    QApplication::restoreOverrideCursor();
}

void CUpdateHtmlDialog::OnUpdateBegin(long fileCount) {
    m_progress->setRange(0, static_cast<int>(fileCount));
    m_progress->setValue(0);
}

void CUpdateHtmlDialog::OnUpdateStep() {
    m_progress->setValue(m_progress->value() + 1);
}

void CUpdateHtmlDialog::OnUpdateEnd() {
    accept();
}
