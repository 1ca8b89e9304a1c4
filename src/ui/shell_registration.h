// Tells the desktop about the program for the current user: a MIME type for
// project files and a menu entry that opens them with this program. The
// files go under $XDG_DATA_HOME (~/.local/share when unset); the desktop's
// caches are refreshed when their tools are installed.
#pragma once

#include <QString>

class CShellRegistration {
public:
    static constexpr const char* kMimeType = "application/x-tarnwick-project";

    explicit CShellRegistration(const QString& programPath);

    // False when a file could not be written.
    bool Register() const;
    // False when a file is left behind; files that were never written count
    // as removed.
    bool Unregister() const;

    // Under mime/packages and applications, named after the maker and the
    // program.
    QString GetMimeFile() const;
    QString GetDesktopFile() const;

private:
    QString m_programPath;
    QString m_dataHome;
};
