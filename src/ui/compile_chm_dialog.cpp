#include "ui/compile_chm_dialog.h"

#include <QApplication>
#include <QGroupBox>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

#include "chm/chm_compilation.h"
#include "ui/user_prompts.h"

CCompileChmDialog::CCompileChmDialog(CUserPrompts& prompts, QWidget* parent)
    : QDialog(parent), m_prompts(prompts), m_label(new QLabel), m_progress(new QProgressBar) {
    setWindowTitle("Compile CHM File");
    auto* group = new QGroupBox("Compilation Progress");
    auto* groupLayout = new QVBoxLayout(group);
    groupLayout->addWidget(m_label);
    groupLayout->addWidget(m_progress);
    auto* cancel = new QPushButton("Cancel");
    connect(cancel, &QPushButton::clicked, this, &CCompileChmDialog::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(group);
    layout->addWidget(cancel, 0, Qt::AlignRight);
}

CCompileChmDialog::~CCompileChmDialog() {
    StopBuild();
}

bool CCompileChmDialog::Run(const CChmRequest& request) {
    m_build = std::thread([this, request] {
        m_outcome = CompileChmFile(request, *this, &m_cancel);
        QMetaObject::invokeMethod(
            this, [this] { OnBuildEnded(); }, Qt::QueuedConnection);
    });
    exec();
    StopBuild();
    return m_outcome.targetWritten && !m_outcome.cancelled;
}

void CCompileChmDialog::OnBuildEnded() {
    if (m_outcome.cancelled) {
        return;
    }
    // Without a downloaded starting page there was nothing to build; after
    // a failure the message has been shown and the dialog waits for Cancel.
    if (!m_outcome.started) {
        QDialog::reject();
    } else if (m_outcome.targetWritten) {
        accept();
    }
}

void CCompileChmDialog::reject() {
    if (!m_prompts.AskQuestion("Cancel file compiling?")) {
        return;
    }
    QApplication::setOverrideCursor(Qt::WaitCursor);
    StopBuild();
    QApplication::restoreOverrideCursor();
    QDialog::reject();
}

void CCompileChmDialog::StopBuild() {
    if (m_build.joinable()) {
        m_cancel.Set();
        m_build.join();
    }
}

void CCompileChmDialog::OnBegin(std::size_t range, LPARAM phase) {
    QMetaObject::invokeMethod(
        this,
        [this, range, phase] {
            if (const char* label = GetChmPhaseLabel(phase)) {
                m_label->setText(label);
            }
            m_progress->setRange(0, static_cast<int>(range));
            m_progress->setValue(0);
        },
        Qt::QueuedConnection);
}

void CCompileChmDialog::OnStep(LPARAM) {
    QMetaObject::invokeMethod(
        this,
        [this] {
            if (m_progress->value() < m_progress->maximum()) {
                m_progress->setValue(m_progress->value() + 1);
            }
        },
        Qt::QueuedConnection);
}

void CCompileChmDialog::OnEnd(ResultCode result, LPARAM phase) {
    QMetaObject::invokeMethod(
        this,
        [this, result, phase] {
            m_progress->setValue(m_progress->maximum());
            if (const char* message = GetChmEndMessage(result, phase)) {
                m_prompts.ShowMessage(message);
            }
        },
        Qt::QueuedConnection);
}
