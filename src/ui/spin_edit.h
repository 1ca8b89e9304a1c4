// A numeric edit with up and down arrows whose text stays free, so that the
// page reading it can refuse what is not a number in range with the usual
// message instead of the edit silently correcting it.
#pragma once

#include <QAbstractSpinBox>

class QLineEdit;

class CSpinEdit : public QAbstractSpinBox {
    Q_OBJECT
public:
    explicit CSpinEdit(QWidget* parent = nullptr);

    // The arrows step within these bounds; typed text is not held to them.
    void SetRange(int minimum, int maximum);
    void SetValue(long long value);
    void SetText(const QString& text);
    QLineEdit* Edit() const { return lineEdit(); }

    void stepBy(int steps) override;
    QValidator::State validate(QString& input, int& position) const override;

protected:
    StepEnabled stepEnabled() const override;

private:
    int m_minimum = 0;
    int m_maximum = 0;
};
