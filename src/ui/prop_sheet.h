// The modal property sheets: tabbed pages over OK, Cancel and Help. Every
// page is built with its sheet, so all of them take part in OK whether the
// user looked at them or not. Leaving a page checks its fields first and
// keeps the user on it when one is refused; OK checks the page in view.
#pragma once

#include <QDialog>
#include <vector>

#include "ui/help_topic.h"

class CUserPrompts;
class QDialogButtonBox;
class QTabWidget;

class CPropPage : public QWidget {
    Q_OBJECT
public:
    CPropPage(const QString& title, HelpTopic topic, CUserPrompts& prompts);

    const QString& Title() const { return m_title; }
    HelpTopic Topic() const { return m_topic; }

    // Reads the fields into the page's values; false, with the message
    // shown and the focus in the field, when one is refused.
    virtual bool Validate() { return true; }

protected:
    CUserPrompts& Prompts() const { return m_prompts; }

private:
    QString m_title;
    HelpTopic m_topic;
    CUserPrompts& m_prompts;
};

class CPropSheet : public QDialog {
    Q_OBJECT
public:
    CPropSheet(const QString& title, CUserPrompts& prompts, QWidget* parent);

    // Shows the page; refused while the page in view keeps a field refused.
    bool SetActivePage(int index);
    int GetActiveIndex() const { return m_active; }
    CPropPage* GetActivePage() const { return m_pages.at(m_active); }
    QTabWidget* Tabs() const { return m_tabs; }
    QDialogButtonBox* Buttons() const { return m_buttons; }

protected:
    // The sheet takes the page; the first page added is shown first.
    void AddPage(CPropPage* page);
    bool ValidateActivePage() { return GetActivePage()->Validate(); }

private:
    void OnTabChanged(int index);

    CUserPrompts& m_prompts;
    QTabWidget* m_tabs;
    QDialogButtonBox* m_buttons;
    std::vector<CPropPage*> m_pages;
    int m_active = 0;
};
