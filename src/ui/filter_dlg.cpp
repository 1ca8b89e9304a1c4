#include "ui/filter_dlg.h"

#include <QDialogButtonBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QShowEvent>
#include <QVBoxLayout>

#include "ui/number_field.h"

CFilterDlg::CFilterDlg(CUserPrompts& prompts, QWidget* parent)
    : QDialog(parent),
      m_prompts(prompts),
      m_nameEdit(new QLineEdit),
      m_extensionsEdit(new QLineEdit),
      m_minimumEdit(new QLineEdit),
      m_maximumEdit(new QLineEdit) {
    setWindowTitle("Filter Properties");
    auto* grid = new QGridLayout;
    grid->addWidget(new QLabel("Name:"), 0, 0);
    grid->addWidget(m_nameEdit, 0, 1, 1, 2);
    grid->addWidget(new QLabel("Extensions:"), 1, 0);
    grid->addWidget(m_extensionsEdit, 1, 1, 1, 2);
    grid->addWidget(new QLabel("Min. Size:"), 2, 0);
    grid->addWidget(m_minimumEdit, 2, 1);
    grid->addWidget(new QLabel("KBytes"), 2, 2);
    grid->addWidget(new QLabel("Max. Size:"), 3, 0);
    grid->addWidget(m_maximumEdit, 3, 1);
    grid->addWidget(new QLabel("KBytes"), 3, 2);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    connect(buttons, &QDialogButtonBox::accepted, this, &CFilterDlg::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &CFilterDlg::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(grid);
    layout->addWidget(buttons);
}

void CFilterDlg::showEvent(QShowEvent* event) {
    // A window restored by the system keeps what the user typed.
    if (event->spontaneous()) {
        QDialog::showEvent(event);
        return;
    }
    m_nameEdit->setText(m_name);
    m_extensionsEdit->setText(m_extensions);
    m_minimumEdit->setText(QString::number(m_minimum));
    m_maximumEdit->setText(QString::number(m_maximum));
    QDialog::showEvent(event);
}

void CFilterDlg::accept() {
    const QString name = m_nameEdit->text().trimmed();
    if (name.isEmpty()) {
        RefuseField(m_nameEdit, "Filter name must not be empty!", m_prompts);
        return;
    }
    std::uint32_t minimum = 0;
    std::uint32_t maximum = 0;
    if (!ReadUnsignedField(m_minimumEdit, m_minimumEdit->text(), m_prompts, minimum) ||
        !ReadUnsignedField(m_maximumEdit, m_maximumEdit->text(), m_prompts, maximum)) {
        return;
    }
    m_name = name;
    m_extensions = m_extensionsEdit->text();
    m_minimum = minimum;
    m_maximum = maximum;
    QDialog::accept();
}
