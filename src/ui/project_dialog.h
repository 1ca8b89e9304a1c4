// The project's starting URL and thread count, for a new project or the open
// one; the rules of a new project crawl every level below the starting
// directory.
#pragma once

#include <QDialog>

class CProjectSettings;
class QLineEdit;
class QSpinBox;

class CProjectDialog : public QDialog {
    Q_OBJECT
public:
    // For an open project the URL is shown but cannot be changed.
    CProjectDialog(CProjectSettings& settings, bool newProject, QWidget* parent = nullptr);

    void accept() override;

    QLineEdit* UrlEdit() const { return m_url; }
    QSpinBox* ThreadsEdit() const { return m_threads; }

private:
    CProjectSettings& m_settings;
    const bool m_newProject;
    QLineEdit* m_url;
    QSpinBox* m_threads;
};
