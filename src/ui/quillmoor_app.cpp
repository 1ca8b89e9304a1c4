#include "ui/quillmoor_app.h"

#include <openssl/ssl.h>

#include <QCoreApplication>
#include <QFileInfo>

#include "engine/program_options.h"
#include "ui/main_frame.h"
#include "ui/shell_registration.h"
#include "ui/user_prompts.h"

namespace {

enum class ShellCommand { FileNew, FileOpen, Print, Register, Unregister };

// The switches that a leading "/" marks as well as a leading "-": a path
// begins with "/" too, so an unknown name after it is taken for a file.
bool IsKnownSwitch(const QString& name) {
    if (name == "p" || name == "pt" || name == "dde") {
        return true;
    }
    for (const char* known :
         {"Register", "Regserver", "Unregister", "Unregserver", "Embedding", "Automation"}) {
        if (name.compare(known, Qt::CaseInsensitive) == 0) {
            return true;
        }
    }
    return false;
}

struct CommandLine {
    ShellCommand command = ShellCommand::FileNew;
    QString fileName;

    explicit CommandLine(const QStringList& arguments) {
        for (const QString& argument : arguments) {
            const QString name = argument.mid(1);
            if (argument.startsWith('-') || (argument.startsWith('/') && IsKnownSwitch(name))) {
                ReadSwitch(name);
            } else {
                fileName = argument;
                if (command == ShellCommand::FileNew) {
                    command = ShellCommand::FileOpen;
                }
            }
        }
    }

    void ReadSwitch(const QString& name) {
        if (name == "p" || name == "pt") {
            command = ShellCommand::Print;
        } else if (name.compare("Register", Qt::CaseInsensitive) == 0 ||
                   name.compare("Regserver", Qt::CaseInsensitive) == 0) {
            command = ShellCommand::Register;
        } else if (name.compare("Unregister", Qt::CaseInsensitive) == 0 ||
                   name.compare("Unregserver", Qt::CaseInsensitive) == 0) {
            command = ShellCommand::Unregister;
        }
    }
};

}  // namespace

CQuillmoorApp::CQuillmoorApp(std::unique_ptr<CUserPrompts> prompts,
                             CDownloadManager::WorkerFactory factory)
    : m_prompts(std::move(prompts)), m_factory(std::move(factory)) {}

CQuillmoorApp::~CQuillmoorApp() = default;

bool CQuillmoorApp::InitInstance(const QStringList& arguments) {
    const CommandLine commandLine(arguments);
    if (commandLine.command == ShellCommand::Print) {
        return false;
    }
    OPENSSL_init_ssl(0, nullptr);
    GetProgramOptions().Load();
    m_recentFiles.Load();
    if (commandLine.command == ShellCommand::Unregister) {
        const bool removed = CShellRegistration(ProgramPath()).Unregister();
        ReportUnregister(removed);
        m_startFailure = removed ? 0 : 1;
        return false;
    }
    if (commandLine.command == ShellCommand::Register) {
        m_startFailure = CShellRegistration(ProgramPath()).Register() ? 0 : 1;
        return false;
    }
    m_saveSettings = true;
    m_frame = std::make_unique<CMainFrame>(m_recentFiles, std::move(m_prompts), m_factory);
    if (commandLine.command == ShellCommand::FileOpen) {
        const QString& fileName = commandLine.fileName;
        const QFileInfo file(fileName);
        const QString longName = file.exists() ? file.canonicalFilePath() : fileName;
        if (!m_frame->OpenProject(longName.toStdString())) {
            return false;
        }
    }
    m_frame->show();
    return true;
}

void CQuillmoorApp::ReportUnregister(bool removed) {
    if (!m_prompts) {
        m_prompts = std::make_unique<CDialogPrompts>(nullptr);
    }
    m_prompts->ShowMessage(
        removed ? "System registry entries have been removed and the INI file (if any) was deleted."
                : "Not all of the system registry entries (or INI file) were removed.");
}

QString CQuillmoorApp::ProgramPath() {
    return QCoreApplication::applicationFilePath();
}

void CQuillmoorApp::ExitInstance() {
    m_frame.reset();
    if (m_saveSettings) {
        GetProgramOptions().Save();
        m_recentFiles.Save();
    }
}
