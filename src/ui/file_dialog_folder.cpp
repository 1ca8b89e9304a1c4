#include "ui/file_dialog_folder.h"

#include <QDir>
#include <QFileInfo>

#include "platform/registry_key.h"

namespace {

const char* const kLayoutSection = "Layout";
const char* const kLastFolderValue = "Last Folder";

}  // namespace

QString CFileDialogFolder::StartFolder(const std::string& projectPath) {
    if (!projectPath.empty()) {
        return QFileInfo(QString::fromStdString(projectPath)).absolutePath();
    }
    std::string folder;
    if (!GetSectionKey(kLayoutSection).ReadString(kLastFolderValue, folder) ||
        !QFileInfo(QString::fromStdString(folder)).isDir()) {
        return {};
    }
    return QString::fromStdString(folder);
}

void CFileDialogFolder::Remember(const QString& chosenFile) {
    if (chosenFile.isEmpty()) {
        return;
    }
    // Failures are ignored: the dialogs then open where they choose.
    GetSectionKey(kLayoutSection)
        .WriteString(kLastFolderValue, QFileInfo(chosenFile).absolutePath().toStdString());
}
