// "Filter Properties": one filter group's name, extensions and size limits
// in KBytes. The caller fills the values before the dialog runs and reads
// them after OK.
#pragma once

#include <QDialog>
#include <cstdint>

class CUserPrompts;
class QLineEdit;

class CFilterDlg : public QDialog {
    Q_OBJECT
public:
    CFilterDlg(CUserPrompts& prompts, QWidget* parent = nullptr);

    // Moves the values into the edits when the dialog is shown.
    void showEvent(QShowEvent* event) override;
    // The name must not be empty once trimmed; the sizes must be unsigned
    // numbers, in any order.
    void accept() override;

    QLineEdit* NameEdit() const { return m_nameEdit; }
    QLineEdit* ExtensionsEdit() const { return m_extensionsEdit; }
    QLineEdit* MinimumEdit() const { return m_minimumEdit; }
    QLineEdit* MaximumEdit() const { return m_maximumEdit; }

    QString m_name;
    QString m_extensions;
    std::uint32_t m_minimum = 0;
    std::uint32_t m_maximum = 0;

private:
    CUserPrompts& m_prompts;
    QLineEdit* m_nameEdit;
    QLineEdit* m_extensionsEdit;
    QLineEdit* m_minimumEdit;
    QLineEdit* m_maximumEdit;
};
