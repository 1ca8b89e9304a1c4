#include "ui/quillmoor_app.h"

#include <openssl/ssl.h>

#include <QFileInfo>

#include "engine/program_options.h"
#include "ui/main_frame.h"
#include "ui/user_prompts.h"

namespace {

bool IsPrintSwitch(const QString& argument) {
    return argument == "-p" || argument == "-pt";
}

}  // namespace

CQuillmoorApp::CQuillmoorApp(std::unique_ptr<CUserPrompts> prompts,
                             CDownloadManager::WorkerFactory factory)
    : m_prompts(std::move(prompts)), m_factory(std::move(factory)) {}

CQuillmoorApp::~CQuillmoorApp() = default;

bool CQuillmoorApp::InitInstance(const QStringList& arguments) {
    // Paths begin with "/" here, so only "-" starts a switch.
    QString fileName;
    for (const QString& argument : arguments) {
        if (IsPrintSwitch(argument)) {
            return false;
        }
        if (!argument.startsWith('-')) {
            fileName = argument;
        }
    }
    OPENSSL_init_ssl(0, nullptr);
    GetProgramOptions().Load();
    m_recentFiles.Load();
    m_settingsLoaded = true;
    m_frame = std::make_unique<CMainFrame>(m_recentFiles, std::move(m_prompts), m_factory);
    if (!fileName.isEmpty()) {
        const QFileInfo file(fileName);
        const QString longName = file.exists() ? file.canonicalFilePath() : fileName;
        if (!m_frame->OpenProject(longName.toStdString())) {
            return false;
        }
    }
    m_frame->show();
    return true;
}

void CQuillmoorApp::ExitInstance() {
    m_frame.reset();
    if (m_settingsLoaded) {
        GetProgramOptions().Save();
        m_recentFiles.Save();
    }
}
