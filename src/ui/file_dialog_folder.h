// Where the program's file dialogs open: beside the open project, or else in
// the folder the user last chose a file in, which the settings store keeps
// from one run to the next.
#pragma once

#include <QString>
#include <string>

class CFileDialogFolder {
public:
    // The project file's folder; without a project the folder last used
    // while it still exists; else empty, and the dialog chooses.
    static QString StartFolder(const std::string& projectPath);
    // Keeps the folder of a file the user chose; an empty choice is none.
    static void Remember(const QString& chosenFile);
};
