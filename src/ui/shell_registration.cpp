#include "ui/shell_registration.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QSaveFile>
#include <QStandardPaths>

namespace {

const char* const kFileName = "ostrevane-tarnwick";
// A helper that hangs must not keep the program from ending.
constexpr int kToolTimeoutMs = 30000;

QString DataHome() {
    const QString configured = qEnvironmentVariable("XDG_DATA_HOME");
    return configured.isEmpty() ? QDir::homePath() + "/.local/share" : configured;
}

QString MimeDefinition() {
    return QString(
               "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
               "<mime-info xmlns=\"http://www.freedesktop.org/standards/shared-mime-info\">\n"
               "  <mime-type type=\"%1\">\n"
               "    <comment>Tarnwick Document</comment>\n"
               "    <glob pattern=\"*.tkp\"/>\n"
               "  </mime-type>\n"
               "</mime-info>\n")
        .arg(CShellRegistration::kMimeType);
}

// The Exec key quotes the path, so that one with spaces still starts. Inside
// the quotes '"', '`', '$' and '\\' take a backslash, every backslash is then
// doubled again as in any string value, and '%' is doubled so that it is no
// field code.
QString QuotedExecPath(const QString& programPath) {
    QString quoted;
    for (const QChar c : programPath) {
        if (c == '%') {
            quoted += "%%";
            continue;
        }
        if (c == '"' || c == '`' || c == '$' || c == '\\') {
            quoted += "\\\\";
        }
        quoted += c == '\\' ? QString("\\\\") : QString(c);
    }
    return '"' + quoted + '"';
}

QString DesktopEntry(const QString& programPath) {
    return QString(
               "[Desktop Entry]\n"
               "Type=Application\n"
               "Name=Tarnwick\n"
               "Comment=Download a website for offline browsing\n"
               "Exec=%1 %f\n"
               "MimeType=%2;\n"
               "Categories=Network;FileTransfer;\n"
               "Terminal=false\n")
        .arg(QuotedExecPath(programPath), CShellRegistration::kMimeType);
}

bool WriteWhole(const QString& path, const QString& text) {
    if (!QDir().mkpath(QFileInfo(path).absolutePath())) {
        return false;
    }
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        return false;
    }
    file.write(text.toUtf8());
    return file.commit();
}

bool RemoveIfPresent(const QString& path) {
    return !QFile::exists(path) || QFile::remove(path);
}

// The caches are the desktop's business: a missing or failing tool leaves
// the files in place for the next refresh.
void RunIfInstalled(const QString& tool, const QString& folder) {
    const QString program = QStandardPaths::findExecutable(tool);
    if (program.isEmpty() || !QDir(folder).exists()) {
        return;
    }
    QProcess process;
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process.setStandardOutputFile(QProcess::nullDevice());
    process.start(program, {folder});
    if (!process.waitForFinished(kToolTimeoutMs)) {
        process.kill();
        process.waitForFinished();
    }
}

}  // namespace

CShellRegistration::CShellRegistration(const QString& programPath)
    : m_programPath(programPath), m_dataHome(DataHome()) {}

QString CShellRegistration::GetMimeFile() const {
    return m_dataHome + "/mime/packages/" + kFileName + ".xml";
}

QString CShellRegistration::GetDesktopFile() const {
    return m_dataHome + "/applications/" + kFileName + ".desktop";
}

bool CShellRegistration::Register() const {
    const bool written = WriteWhole(GetMimeFile(), MimeDefinition()) &&
                         WriteWhole(GetDesktopFile(), DesktopEntry(m_programPath));
    RunIfInstalled("update-mime-database", m_dataHome + "/mime");
    RunIfInstalled("update-desktop-database", m_dataHome + "/applications");
    return written;
}

bool CShellRegistration::Unregister() const {
    const bool mimeRemoved = RemoveIfPresent(GetMimeFile());
    const bool entryRemoved = RemoveIfPresent(GetDesktopFile());
    RunIfInstalled("update-mime-database", m_dataHome + "/mime");
    RunIfInstalled("update-desktop-database", m_dataHome + "/applications");
    return mimeRemoved && entryRemoved;
}
