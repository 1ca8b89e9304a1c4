#include "ui/user_prompts.h"

#include <QApplication>
#include <QDesktopServices>
#include <QFileDialog>
#include <QMessageBox>
#include <QUrl>

#include "platform/registry_key.h"
#include "ui/project_sheet.h"
#include "ui/summary_dlg.h"

namespace {

const QString kCaption = kApplicationName;

}  // namespace

bool CDialogPrompts::AskOkCancel(const QString& text) {
    return QMessageBox::warning(m_parent, kCaption, text, QMessageBox::Ok | QMessageBox::Cancel) ==
           QMessageBox::Ok;
}

bool CDialogPrompts::AskYesNo(const QString& text) {
    return QMessageBox::warning(m_parent, kCaption, text, QMessageBox::Yes | QMessageBox::No) ==
           QMessageBox::Yes;
}

bool CDialogPrompts::AskQuestion(const QString& text) {
    return QMessageBox::question(m_parent, kCaption, text, QMessageBox::Yes | QMessageBox::No) ==
           QMessageBox::Yes;
}

CQuillmoorDoc::SaveAnswer CDialogPrompts::AskToSave(const QString& prompt) {
    switch (QMessageBox::warning(m_parent, kCaption, prompt,
                                 QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel)) {
        case QMessageBox::Yes:
            return CQuillmoorDoc::SaveAnswer::Yes;
        case QMessageBox::No:
            return CQuillmoorDoc::SaveAnswer::No;
        default:
            return CQuillmoorDoc::SaveAnswer::Cancel;
    }
}

void CDialogPrompts::ShowMessage(const QString& text) {
    QMessageBox::information(m_parent, kCaption, text);
}

void CDialogPrompts::ShowWarning(const QString& text) {
    // The refusals come from the dialog in front, which owns the message.
    QWidget* dialog = QApplication::activeModalWidget();
    QMessageBox::warning(dialog != nullptr ? dialog : m_parent, kCaption, text);
}

QString CDialogPrompts::AskSaveFileName(const QString& filter, const QString& defaultSuffix,
                                        const QString& initialName, const QString& folder) {
    QFileDialog dialog(m_parent, {}, folder, filter);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setDefaultSuffix(defaultSuffix);
    dialog.selectFile(initialName);
    return dialog.exec() == QDialog::Accepted ? dialog.selectedFiles().value(0) : QString();
}

QString CDialogPrompts::AskOpenFileName(const QString& filter, const QString& folder) {
    return QFileDialog::getOpenFileName(m_parent, {}, folder, filter);
}

bool CDialogPrompts::EditProject(CProjectSettings& settings, bool newProject) {
    return CProjectSheet(settings, newProject, *this, m_parent).exec() == QDialog::Accepted;
}

void CDialogPrompts::ShowSummary(const CDownloadList::Stats& stats) {
    CSummaryDlg(stats, m_parent).exec();
}

void CDialogPrompts::OpenWithShell(const QString& path) {
    QDesktopServices::openUrl(QUrl::fromLocalFile(path));
}

void CDialogPrompts::OpenUrl(const QString& url) {
    QDesktopServices::openUrl(QUrl(url));
}

void CDialogPrompts::ShowHelpTopic(HelpTopic topic) {
    ::ShowHelpTopic(topic);
}

QString FormatGroupedNumber(unsigned long long value) {
    QString digits = QString::number(value);
    for (qsizetype at = digits.size() - 3; at > 0; at -= 3) {
        digits.insert(at, ',');
    }
    return digits;
}
