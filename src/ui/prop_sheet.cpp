#include "ui/prop_sheet.h"

#include <QDialogButtonBox>
#include <QSignalBlocker>
#include <QTabWidget>
#include <QVBoxLayout>

#include "ui/user_prompts.h"

CPropPage::CPropPage(const QString& title, HelpTopic topic, CUserPrompts& prompts)
    : m_title(title), m_topic(topic), m_prompts(prompts) {}

CPropSheet::CPropSheet(const QString& title, CUserPrompts& prompts, QWidget* parent)
    : QDialog(parent),
      m_prompts(prompts),
      m_tabs(new QTabWidget),
      m_buttons(new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel |
                                     QDialogButtonBox::Help)) {
    setWindowTitle(title);
    connect(m_buttons, &QDialogButtonBox::accepted, this, &CPropSheet::accept);
    connect(m_buttons, &QDialogButtonBox::rejected, this, &CPropSheet::reject);
    connect(m_buttons, &QDialogButtonBox::helpRequested, this,
            [this] { m_prompts.ShowHelpTopic(GetActivePage()->Topic()); });
    connect(m_tabs, &QTabWidget::currentChanged, this, &CPropSheet::OnTabChanged);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_tabs);
    layout->addWidget(m_buttons);
    // Pages keep the size their layouts ask for.
    layout->setSizeConstraint(QLayout::SetFixedSize);
}

void CPropSheet::AddPage(CPropPage* page) {
    m_pages.push_back(page);
    const QSignalBlocker blocker(m_tabs);
    m_tabs->addTab(page, page->Title());
    m_tabs->setCurrentIndex(m_active);
}

bool CPropSheet::SetActivePage(int index) {
    m_tabs->setCurrentIndex(index);
    return m_active == index;
}

void CPropSheet::OnTabChanged(int index) {
    if (index == m_active) {
        return;
    }
    // The page being left stays in view while its fields are checked, so a
    // refused field can take the focus.
    const QSignalBlocker blocker(m_tabs);
    m_tabs->setCurrentIndex(m_active);
    if (!GetActivePage()->Validate()) {
        return;
    }
    m_active = index;
    m_tabs->setCurrentIndex(m_active);
}
