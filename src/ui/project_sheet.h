// "New Project" and "Project Properties": the starting URL, credentials and
// threads, the crawl's level and scope rules, and the file filters of one
// project. The settings change only on OK.
#pragma once

#include <cstdint>

#include "engine/filter_list.h"
#include "ui/prop_sheet.h"

class CProjectSettings;
class CSpinEdit;
class CUrl;
class CUrlPatternBox;
class QCheckBox;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QTreeWidget;
class QTreeWidgetItem;

class CPropPrjGen : public CPropPage {
    Q_OBJECT
public:
    // The URL of an open project is shown but cannot be changed.
    CPropPrjGen(const CProjectSettings& settings, bool newProject, CUserPrompts& prompts);

    bool Validate() override;
    // Start URL, credentials and threads, from the values last accepted.
    void CopyTo(CProjectSettings& settings) const;

    QLineEdit* Url() const { return m_url; }
    QLineEdit* User() const { return m_user; }
    QLineEdit* Password() const { return m_password; }
    CSpinEdit* Threads() const { return m_threadsEdit; }
    QLineEdit* CookiesFile() const { return m_cookiesFile; }

private:
    std::uint32_t m_threads;
    QLineEdit* m_url;
    QLineEdit* m_user;
    QLineEdit* m_password;
    CSpinEdit* m_threadsEdit;
    QLineEdit* m_cookiesFile;
};

class CPropPrjLinks : public CPropPage {
    Q_OBJECT
public:
    CPropPrjLinks(const CProjectSettings& settings, bool newProject, CUserPrompts& prompts);

    bool Validate() override;
    // Levels, and the scope around the starting URL.
    void CopyTo(CProjectSettings& settings, const CUrl& start) const;

    QRadioButton* AllLevels() const { return m_allLevels; }
    QRadioButton* LimitedLevels() const { return m_limited; }
    CSpinEdit* InternalLevels() const { return m_internalEdit; }
    CSpinEdit* ExternalLevels() const { return m_externalEdit; }
    QRadioButton* DomainScope() const { return m_domain; }
    QRadioButton* DirectoryScope() const { return m_directory; }

private:
    std::int32_t m_internalLevels;
    std::int32_t m_externalLevels;
    QRadioButton* m_allLevels;
    QRadioButton* m_limited;
    CSpinEdit* m_internalEdit;
    CSpinEdit* m_externalEdit;
    QRadioButton* m_domain;
    QRadioButton* m_directory;
};

class CPropPrjFilters : public CPropPage {
    Q_OBJECT
public:
    CPropPrjFilters(const CProjectSettings& settings, bool newProject, CUserPrompts& prompts);

    // The working list, every group enabled exactly when its row is ticked
    // and "Download all files" is not.
    CFilterList GetFilters() const;

    QCheckBox* DownloadAll() const { return m_downloadAll; }
    QTreeWidget* List() const { return m_list; }
    QPushButton* AddButton() const { return m_add; }
    QPushButton* EditButton() const { return m_edit; }
    QPushButton* DeleteButton() const { return m_delete; }
    CUrlPatternBox* UrlPatterns() const { return m_urlPatterns; }

private:
    void FitColumns();
    void ApplyDownloadAll(bool all);
    void AddRow(const QString& name, const QString& extensions, std::uint32_t minimumKb,
                std::uint32_t maximumKb, bool ticked);
    void OnAdd();
    void OnEdit();
    void EditRow(QTreeWidgetItem* row);
    void OnDelete();

    CFilterList m_filters;
    QCheckBox* m_downloadAll;
    QTreeWidget* m_list;
    QPushButton* m_add;
    QPushButton* m_edit;
    QPushButton* m_delete;
    CUrlPatternBox* m_urlPatterns;
};

class CProjectSheet : public CPropSheet {
    Q_OBJECT
public:
    // The settings are the caller's; they are written only on OK.
    CProjectSheet(CProjectSettings& settings, bool newProject, CUserPrompts& prompts,
                  QWidget* parent = nullptr);

    void accept() override;

    CPropPrjGen& General() const { return *m_general; }
    CPropPrjLinks& Links() const { return *m_links; }
    CPropPrjFilters& Filters() const { return *m_filters; }

private:
    CProjectSettings& m_settings;
    CPropPrjGen* m_general;
    CPropPrjLinks* m_links;
    CPropPrjFilters* m_filters;
};
