// The "URL patterns" of a project's Filters page: an ordered list of
// "+pattern" and "-pattern" lines that one edit adds, replaces and a button
// deletes, and a test box that names the pattern deciding a typed URL.
#pragma once

#include <QGroupBox>

#include "engine/url_patterns.h"

class CUserPrompts;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;

class CUrlPatternBox : public QGroupBox {
    Q_OBJECT
public:
    CUrlPatternBox(const CUrlPatterns& patterns, CUserPrompts& prompts);

    const CUrlPatterns& GetPatterns() const { return m_patterns; }

    QLineEdit* PatternEdit() const { return m_patternEdit; }
    QListWidget* List() const { return m_list; }
    QPushButton* AddButton() const { return m_add; }
    QPushButton* EditButton() const { return m_edit; }
    QPushButton* DeleteButton() const { return m_delete; }
    QLineEdit* TestUrl() const { return m_testUrl; }
    QLabel* TestResult() const { return m_testResult; }

private:
    void OnAdd();
    void OnEdit();
    void OnDelete();
    void ShowSelected();
    // The patterns with the row at index (or a new last row) as line; false,
    // with the refusal shown, for a line that is no pattern.
    bool Put(int index, const QString& line);
    void ShowPatterns();
    void ShowTest();

    CUserPrompts& m_prompts;
    CUrlPatterns m_patterns;
    QLineEdit* m_patternEdit;
    QListWidget* m_list;
    QPushButton* m_add;
    QPushButton* m_edit;
    QPushButton* m_delete;
    QLineEdit* m_testUrl;
    QLabel* m_testResult;
};
