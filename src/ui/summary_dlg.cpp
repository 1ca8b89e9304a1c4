#include "ui/summary_dlg.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QVBoxLayout>

#include "ui/user_prompts.h"

CSummaryDlg::CSummaryDlg(const CDownloadList::Stats& stats, QWidget* parent) : QDialog(parent) {
    setWindowTitle("Project Summary");
    const struct {
        const char* label;
        unsigned long long figure;
    } rows[] = {
        {"URLs queued:", stats.queued},
        {"URLs requested:", stats.requested},
        {"Files written:", stats.written},
        {"Bytes Received:", static_cast<unsigned long long>(stats.bytes)},
    };
    auto* form = new QFormLayout;
    for (int row = 0; row < static_cast<int>(std::size(rows)); ++row) {
        m_figures[row] = new QLabel(FormatGroupedNumber(rows[row].figure));
        m_figures[row]->setTextInteractionFlags(Qt::TextSelectableByMouse);
        form->addRow(rows[row].label, m_figures[row]);
    }
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok);
    connect(buttons, &QDialogButtonBox::accepted, this, &CSummaryDlg::accept);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);
}

QString CSummaryDlg::FigureText(int row) const {
    return m_figures[row]->text();
}
