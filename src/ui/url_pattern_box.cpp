#include "ui/url_pattern_box.h"

#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>
#include <algorithm>
#include <optional>
#include <string>
#include <vector>

#include "ui/number_field.h"

namespace {

QString LineOf(const CUrlPatterns::Pattern& pattern) {
    return QString::fromStdString(CUrlPatterns::FormatLine(pattern));
}

}  // namespace

CUrlPatternBox::CUrlPatternBox(const CUrlPatterns& patterns, CUserPrompts& prompts)
    : QGroupBox("URL patterns"),
      m_prompts(prompts),
      m_patterns(patterns),
      m_patternEdit(new QLineEdit),
      m_list(new QListWidget),
      m_add(new QPushButton("Add &Pattern")),
      m_edit(new QPushButton("Re&place")),
      m_delete(new QPushButton("Remo&ve")),
      m_testUrl(new QLineEdit),
      m_testResult(new QLabel) {
    m_patternEdit->setPlaceholderText("+*.example.org/docs/*  or  -*/ads/*  or  -re:\\.php\\?");
    m_patternEdit->setToolTip(
        "+ includes, - excludes; * any run of characters, ? any one; re: an ECMAScript "
        "regular expression. The last pattern that matches decides.");
    m_testUrl->setPlaceholderText("Type a URL to see which pattern decides");
    m_testResult->setWordWrap(true);
    ShowPatterns();
    ShowTest();
    connect(m_add, &QPushButton::clicked, this, &CUrlPatternBox::OnAdd);
    connect(m_edit, &QPushButton::clicked, this, &CUrlPatternBox::OnEdit);
    connect(m_delete, &QPushButton::clicked, this, &CUrlPatternBox::OnDelete);
    connect(m_list, &QListWidget::currentRowChanged, this, &CUrlPatternBox::ShowSelected);
    connect(m_testUrl, &QLineEdit::textChanged, this, &CUrlPatternBox::ShowTest);

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(m_patternEdit, 1);
    buttons->addWidget(m_add);
    buttons->addWidget(m_edit);
    buttons->addWidget(m_delete);
    auto* test = new QFormLayout;
    test->addRow("&Test URL:", m_testUrl);
    test->addRow(m_testResult);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(buttons);
    layout->addWidget(m_list);
    layout->addLayout(test);
}

void CUrlPatternBox::OnAdd() {
    if (Put(m_list->count(), m_patternEdit->text())) {
        m_list->setCurrentRow(m_list->count() - 1);
    }
}

void CUrlPatternBox::OnEdit() {
    const int row = m_list->currentRow();
    if (row >= 0 && Put(row, m_patternEdit->text())) {
        m_list->setCurrentRow(row);
    }
}

void CUrlPatternBox::OnDelete() {
    const int row = m_list->currentRow();
    if (row < 0) {
        return;
    }
    m_patterns.RemoveAt(static_cast<std::size_t>(row));
    ShowPatterns();
    m_list->setCurrentRow(std::min(row, m_list->count() - 1));
}

void CUrlPatternBox::ShowSelected() {
    const int row = m_list->currentRow();
    if (row >= 0) {
        m_patternEdit->setText(m_list->item(row)->text());
    }
}

bool CUrlPatternBox::Put(int index, const QString& line) {
    std::vector<std::string> lines;
    for (const CUrlPatterns::Pattern& pattern : m_patterns.GetPatterns()) {
        lines.push_back(CUrlPatterns::FormatLine(pattern));
    }
    const auto at = static_cast<std::size_t>(index);
    if (at == lines.size()) {
        lines.emplace_back();
    }
    lines[at] = line.trimmed().toStdString();
    CUrlPatterns changed;
    for (const std::string& text : lines) {
        std::string error;
        if (!changed.AddLine(text, error)) {
            RefuseField(m_patternEdit, QString::fromStdString(error), m_prompts);
            return false;
        }
    }
    m_patterns = std::move(changed);
    ShowPatterns();
    return true;
}

void CUrlPatternBox::ShowPatterns() {
    m_list->clear();
    for (const CUrlPatterns::Pattern& pattern : m_patterns.GetPatterns()) {
        m_list->addItem(LineOf(pattern));
    }
    ShowTest();
}

void CUrlPatternBox::ShowTest() {
    const QString url = m_testUrl->text().trimmed();
    if (url.isEmpty()) {
        m_testResult->setText("The last pattern that matches a URL decides.");
        return;
    }
    const std::optional<std::size_t> deciding = m_patterns.FindDecidingPattern(url.toStdString());
    if (!deciding) {
        m_testResult->setText("No pattern matches: the other rules decide.");
        return;
    }
    const CUrlPatterns::Pattern& pattern = m_patterns.GetPatterns()[*deciding];
    m_testResult->setText(QString("%1 by pattern %2: %3")
                              .arg(pattern.include ? "Included" : "Excluded")
                              .arg(*deciding + 1)
                              .arg(LineOf(pattern)));
}
