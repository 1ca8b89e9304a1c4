#include "ui/project_sheet.h"

#include <QCheckBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <algorithm>
#include <memory>

#include "engine/project_settings.h"
#include "ui/filter_dlg.h"
#include "ui/number_field.h"
#include "ui/spin_edit.h"
#include "ui/url_pattern_box.h"
#include "ui/user_prompts.h"

namespace {

constexpr std::uint32_t kNewProjectThreads = 3;
constexpr std::int32_t kMaxLevels = 100;

enum FilterColumn { kGroupColumn, kExtensionsColumn, kMinimumColumn, kMaximumColumn };

struct FilterColumnLayout {
    const char* title;
    int width;
    Qt::Alignment alignment;
};

constexpr FilterColumnLayout kFilterColumns[] = {
    {"Group", 80, Qt::AlignLeft},
    {"Extensions", 160, Qt::AlignLeft},
    {"Min Size", 55, Qt::AlignRight},
    {"Max Size", 55, Qt::AlignRight},
};

CSpinEdit* MakeSpinEdit(int minimum, int maximum, long long value) {
    auto* spin = new CSpinEdit;
    spin->SetRange(minimum, maximum);
    spin->SetValue(value);
    return spin;
}

// The list prints the sizes as signed numbers.
QString SizeText(std::uint32_t kilobytes) {
    return QString::number(static_cast<std::int32_t>(kilobytes));
}

void SetRowTexts(QTreeWidgetItem& row, const QString& name, const QString& extensions,
                 std::uint32_t minimumKb, std::uint32_t maximumKb) {
    row.setText(kGroupColumn, name);
    row.setText(kExtensionsColumn, extensions);
    row.setText(kMinimumColumn, SizeText(minimumKb));
    row.setText(kMaximumColumn, SizeText(maximumKb));
}

bool IsValidUrl(const QString& text) {
    return !text.isEmpty() && CUrl().Parse(text.toStdString());
}

}  // namespace

CPropPrjGen::CPropPrjGen(const CProjectSettings& settings, bool newProject, CUserPrompts& prompts)
    : CPropPage("General", HelpTopic::General, prompts),
      m_threads(newProject ? kNewProjectThreads
                           : static_cast<std::uint32_t>(settings.GetThreadCount())),
      m_url(new QLineEdit),
      m_user(new QLineEdit),
      m_password(new QLineEdit),
      m_threadsEdit(MakeSpinEdit(1, CProjectSettings::kMaxThreadCount, m_threads)),
      m_cookiesFile(new QLineEdit(QString::fromStdString(settings.GetCookiesFile()))) {
    if (!newProject) {
        m_url->setText(QString::fromStdString(settings.GetStartUrl().GetSourceText()));
        m_url->setEnabled(false);
        m_user->setText(QString::fromStdString(settings.GetUser()));
        m_password->setText(QString::fromStdString(settings.GetPassword()));
    }
    m_password->setEchoMode(QLineEdit::Password);
    auto* layout = new QFormLayout(this);
    layout->addRow("URL:", m_url);
    layout->addRow("User ID:", m_user);
    layout->addRow("Password:", m_password);
    layout->addRow("Threads:", m_threadsEdit);
    m_cookiesFile->setToolTip(
        "A cookies.txt file (as browsers export it) whose cookies every crawl starts with");
    layout->addRow("Cookies file:", m_cookiesFile);
}

bool CPropPrjGen::Validate() {
    // A stored URL that no longer parses blocks OK too, though it cannot be
    // edited: the project could not start from it.
    if (!IsValidUrl(m_url->text())) {
        RefuseField(m_url, "Invalid URL", Prompts());
        return false;
    }
    return ReadUnsignedField(m_threadsEdit, m_threadsEdit->text(), Prompts(), 1,
                             CProjectSettings::kMaxThreadCount, m_threads);
}

void CPropPrjGen::CopyTo(CProjectSettings& settings) const {
    CUrl url;
    url.Parse(m_url->text().toStdString());
    settings.SetStartUrl(url);
    settings.SetCredentials(m_user->text().toStdString(), m_password->text().toStdString());
    settings.SetThreadCount(static_cast<std::int32_t>(m_threads));
    settings.SetCookiesFile(m_cookiesFile->text().trimmed().toStdString());
}

CPropPrjLinks::CPropPrjLinks(const CProjectSettings& settings, bool newProject,
                             CUserPrompts& prompts)
    : CPropPage("Links", HelpTopic::Links, prompts),
      m_internalLevels(0),
      m_externalLevels(0),
      m_allLevels(new QRadioButton("All levels")),
      m_limited(new QRadioButton("Levels:")),
      m_internalEdit(nullptr),
      m_externalEdit(nullptr),
      m_domain(new QRadioButton("Stay within the starting domain")),
      m_directory(new QRadioButton("Stay within the starting directory")) {
    const CCrawlRules& rules = settings.GetRules();
    const bool limited = !newProject && rules.HasLevelLimit();
    if (limited) {
        m_internalLevels = rules.GetInternalLevels();
    }
    if (!newProject) {
        m_externalLevels = rules.GetExternalLevels();
    }
    m_internalEdit = MakeSpinEdit(0, kMaxLevels, m_internalLevels);
    m_externalEdit = MakeSpinEdit(0, kMaxLevels, m_externalLevels);
    (limited ? m_limited : m_allLevels)->setChecked(true);
    (newProject || rules.IsDirectoryMode() ? m_directory : m_domain)->setChecked(true);
    m_internalEdit->setEnabled(limited);
    connect(m_limited, &QRadioButton::toggled, m_internalEdit, &CSpinEdit::setEnabled);

    // Both groups hold a "Levels:" field; their captions tell them apart.
    auto* internal = new QGroupBox("Internal links");
    auto* internalLayout = new QGridLayout(internal);
    internalLayout->addWidget(m_allLevels, 0, 0);
    internalLayout->addWidget(m_limited, 1, 0);
    internalLayout->addWidget(m_internalEdit, 1, 1);
    auto* external = new QGroupBox("External links");
    auto* externalLayout = new QFormLayout(external);
    externalLayout->addRow("Levels:", m_externalEdit);
    auto* scope = new QGroupBox;
    auto* scopeLayout = new QVBoxLayout(scope);
    scopeLayout->addWidget(m_domain);
    scopeLayout->addWidget(m_directory);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(internal);
    layout->addWidget(external);
    layout->addWidget(scope);
    layout->addStretch();
}

bool CPropPrjLinks::Validate() {
    // With "All levels" the internal edit is disabled and its value unused,
    // so it could neither take the focus nor matter.
    return (!m_limited->isChecked() ||
            ReadSignedField(m_internalEdit, m_internalEdit->text(), Prompts(), 0, kMaxLevels,
                            m_internalLevels)) &&
           ReadSignedField(m_externalEdit, m_externalEdit->text(), Prompts(), 0, kMaxLevels,
                           m_externalLevels);
}

void CPropPrjLinks::CopyTo(CProjectSettings& settings, const CUrl& start) const {
    CCrawlRules& rules = settings.GetRules();
    rules.SetLevels(m_limited->isChecked() ? m_internalLevels : -1, m_externalLevels);
    rules.SetScope(start.GetHost(), m_directory->isChecked() ? start.GetPath() : std::string());
}

CPropPrjFilters::CPropPrjFilters(const CProjectSettings& settings, bool newProject,
                                 CUserPrompts& prompts)
    : CPropPage("Filters", HelpTopic::Filters, prompts),
      m_downloadAll(new QCheckBox("Download all files")),
      m_list(new QTreeWidget),
      m_add(new QPushButton("&Add")),
      m_edit(new QPushButton("&Edit")),
      m_delete(new QPushButton("&Delete")),
      m_urlPatterns(new CUrlPatternBox(settings.GetUrlPatterns(), prompts)) {
    settings.GetRules().CopyFiltersTo(m_filters);
    m_downloadAll->setChecked(newProject || !settings.GetRules().AnyFilterEnabled());
    m_list->setRootIsDecorated(false);
    m_list->setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_list->setColumnCount(std::size(kFilterColumns));
    for (int column = 0; column < static_cast<int>(std::size(kFilterColumns)); ++column) {
        m_list->headerItem()->setText(column, kFilterColumns[column].title);
        m_list->headerItem()->setTextAlignment(column, kFilterColumns[column].alignment);
    }
    for (std::size_t index = 0; index < m_filters.GetCount(); ++index) {
        const CFileFilter& filter = m_filters.GetAt(index);
        AddRow(QString::fromStdString(filter.GetName()),
               QString::fromStdString(filter.GetExtensionText()), filter.GetMinimumSize(),
               filter.GetMaximumSize(), filter.IsEnabled());
    }
    FitColumns();
    ApplyDownloadAll(m_downloadAll->isChecked());
    connect(m_downloadAll, &QCheckBox::toggled, this, &CPropPrjFilters::ApplyDownloadAll);
    connect(m_add, &QPushButton::clicked, this, &CPropPrjFilters::OnAdd);
    connect(m_edit, &QPushButton::clicked, this, &CPropPrjFilters::OnEdit);
    connect(m_delete, &QPushButton::clicked, this, &CPropPrjFilters::OnDelete);
    connect(m_list, &QTreeWidget::itemDoubleClicked, this, &CPropPrjFilters::EditRow);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(m_add);
    buttons->addWidget(m_edit);
    buttons->addWidget(m_delete);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_downloadAll);
    layout->addWidget(m_list);
    layout->addLayout(buttons);
    layout->addWidget(m_urlPatterns);
}

void CPropPrjFilters::AddRow(const QString& name, const QString& extensions,
                             std::uint32_t minimumKb, std::uint32_t maximumKb, bool ticked) {
    auto* row = new QTreeWidgetItem(m_list);
    row->setFlags(row->flags() | Qt::ItemIsUserCheckable);
    row->setCheckState(kGroupColumn, ticked ? Qt::Checked : Qt::Unchecked);
    for (int column = 0; column < static_cast<int>(std::size(kFilterColumns)); ++column) {
        row->setTextAlignment(column, kFilterColumns[column].alignment | Qt::AlignVCenter);
    }
    SetRowTexts(*row, name, extensions, minimumKb, maximumKb);
}

void CPropPrjFilters::FitColumns() {
    int listWidth = 2 * m_list->frameWidth() + m_list->verticalScrollBar()->sizeHint().width();
    for (int column = 0; column < static_cast<int>(std::size(kFilterColumns)); ++column) {
        // The design's width at least; wider where the title, a check box or
        // a cell needs more in this font.
        m_list->resizeColumnToContents(column);
        const int width = std::max(kFilterColumns[column].width, m_list->columnWidth(column));
        m_list->setColumnWidth(column, width);
        listWidth += width;
    }
    // The sheet keeps its pages' size, so the list asks for all four columns.
    m_list->setMinimumWidth(listWidth);
}

void CPropPrjFilters::ApplyDownloadAll(bool all) {
    if (all) {
        // The ticks stay, so clearing the box again shows them as they were.
        m_list->clearSelection();
    }
    for (QWidget* control : std::initializer_list<QWidget*>{m_list, m_add, m_edit, m_delete}) {
        control->setEnabled(!all);
    }
}

void CPropPrjFilters::OnAdd() {
    CFilterDlg dialog(Prompts(), this);
    if (dialog.exec() != QDialog::Accepted) {
        return;
    }
    // The new group stays disabled until its row is ticked.
    m_filters.Append(dialog.m_name.toStdString(), dialog.m_extensions.toStdString(),
                     dialog.m_minimum, dialog.m_maximum, false);
    AddRow(dialog.m_name, dialog.m_extensions, dialog.m_minimum, dialog.m_maximum, false);
    FitColumns();
}

void CPropPrjFilters::OnEdit() {
    QTreeWidgetItem* row = m_list->currentItem();
    if (row != nullptr && row->isSelected()) {
        EditRow(row);
    }
}

void CPropPrjFilters::EditRow(QTreeWidgetItem* row) {
    CFileFilter& filter =
        m_filters.GetAt(static_cast<std::size_t>(m_list->indexOfTopLevelItem(row)));
    CFilterDlg dialog(Prompts(), this);
    dialog.m_name = QString::fromStdString(filter.GetName());
    dialog.m_extensions = QString::fromStdString(filter.GetExtensionText());
    dialog.m_minimum = filter.GetMinimumSize();
    dialog.m_maximum = filter.GetMaximumSize();
    if (dialog.exec() != QDialog::Accepted) {
        return;
    }
    filter.SetName(dialog.m_name.toStdString());
    filter.SetExtensions(dialog.m_extensions.toStdString());
    filter.SetSizes(dialog.m_minimum, dialog.m_maximum);
    SetRowTexts(*row, dialog.m_name, dialog.m_extensions, dialog.m_minimum, dialog.m_maximum);
    FitColumns();
}

void CPropPrjFilters::OnDelete() {
    std::vector<int> selected;
    for (QTreeWidgetItem* row : m_list->selectedItems()) {
        selected.push_back(m_list->indexOfTopLevelItem(row));
    }
    // From the last row down, so the indexes still to delete stay valid.
    std::sort(selected.rbegin(), selected.rend());
    for (int index : selected) {
        m_filters.RemoveAt(static_cast<std::size_t>(index));
        const std::unique_ptr<QTreeWidgetItem> removed(m_list->takeTopLevelItem(index));
    }
}

CFilterList CPropPrjFilters::GetFilters() const {
    CFilterList filters = m_filters;
    for (std::size_t index = 0; index < filters.GetCount(); ++index) {
        const bool ticked =
            m_list->topLevelItem(static_cast<int>(index))->checkState(kGroupColumn) == Qt::Checked;
        filters.GetAt(index).SetEnabled(ticked && !m_downloadAll->isChecked());
    }
    return filters;
}

CProjectSheet::CProjectSheet(CProjectSettings& settings, bool newProject, CUserPrompts& prompts,
                             QWidget* parent)
    : CPropSheet(newProject ? "New Project" : "Project Properties", prompts, parent),
      m_settings(settings),
      m_general(new CPropPrjGen(settings, newProject, prompts)),
      m_links(new CPropPrjLinks(settings, newProject, prompts)),
      m_filters(new CPropPrjFilters(settings, newProject, prompts)) {
    AddPage(m_general);
    AddPage(m_links);
    AddPage(m_filters);
}

void CProjectSheet::accept() {
    if (!ValidateActivePage()) {
        return;
    }
    m_general->CopyTo(m_settings);
    m_links->CopyTo(m_settings, m_settings.GetStartUrl());
    m_settings.GetRules().SetFilters(m_filters->GetFilters());
    m_settings.GetUrlPatterns() = m_filters->UrlPatterns()->GetPatterns();
    CPropSheet::accept();
}
