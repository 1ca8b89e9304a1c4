#include "ui/spin_edit.h"

#include <QLineEdit>
#include <algorithm>

CSpinEdit::CSpinEdit(QWidget* parent) : QAbstractSpinBox(parent) {
    setCorrectionMode(QAbstractSpinBox::CorrectToPreviousValue);
}

void CSpinEdit::SetRange(int minimum, int maximum) {
    m_minimum = minimum;
    m_maximum = maximum;
}

void CSpinEdit::SetValue(long long value) {
    SetText(QString::number(value));
}

void CSpinEdit::SetText(const QString& text) {
    lineEdit()->setText(text);
}

void CSpinEdit::stepBy(int steps) {
    bool isNumber = false;
    const long long current = text().trimmed().toLongLong(&isNumber);
    // Text that is no number steps from the bottom of the range.
    const long long start = isNumber ? current : m_minimum;
    SetValue(std::clamp<long long>(start + steps, m_minimum, m_maximum));
    selectAll();
}

QValidator::State CSpinEdit::validate(QString&, int&) const {
    return QValidator::Acceptable;
}

QAbstractSpinBox::StepEnabled CSpinEdit::stepEnabled() const {
    if (isReadOnly() || !isEnabled()) {
        return StepNone;
    }
    return StepUpEnabled | StepDownEnabled;
}
