#include "ui/number_field.h"

#include <QAbstractSpinBox>
#include <QLineEdit>
#include <charconv>
#include <string>
#include <type_traits>

#include "ui/user_prompts.h"

namespace {

// The whole text, white space around it aside, must be the number.
template <typename Number>
bool ParseNumber(const QString& text, Number& value) {
    const std::string digits = text.trimmed().toStdString();
    const char* end = digits.data() + digits.size();
    // from_chars takes no "+" sign, which a signed field allows.
    const char* begin = digits.data();
    if (std::is_signed_v<Number> && begin != end && *begin == '+') {
        ++begin;
    }
    if (begin == end || (std::is_unsigned_v<Number> && *begin == '-')) {
        return false;
    }
    const auto [rest, failure] = std::from_chars(begin, end, value);
    return failure == std::errc() && rest == end;
}

template <typename Number>
bool CheckRange(QWidget* field, Number minimum, Number maximum, Number value,
                CUserPrompts& prompts) {
    if (value >= minimum && value <= maximum) {
        return true;
    }
    RefuseField(field,
                QString("Please enter an integer between %1 and %2.").arg(minimum).arg(maximum),
                prompts);
    return false;
}

}  // namespace

void RefuseField(QWidget* field, const QString& message, CUserPrompts& prompts) {
    prompts.ShowWarning(message);
    field->setFocus();
    if (auto* edit = qobject_cast<QLineEdit*>(field)) {
        edit->selectAll();
    } else if (auto* spin = qobject_cast<QAbstractSpinBox*>(field)) {
        spin->selectAll();
    }
}

bool ReadUnsignedField(QWidget* field, const QString& text, CUserPrompts& prompts,
                       std::uint32_t& value) {
    if (!ParseNumber(text, value)) {
        RefuseField(field, "Please enter a positive integer.", prompts);
        return false;
    }
    return true;
}

bool ReadUnsignedField(QWidget* field, const QString& text, CUserPrompts& prompts,
                       std::uint32_t minimum, std::uint32_t maximum, std::uint32_t& value) {
    return ReadUnsignedField(field, text, prompts, value) &&
           CheckRange(field, minimum, maximum, value, prompts);
}

bool ReadSignedField(QWidget* field, const QString& text, CUserPrompts& prompts,
                     std::int32_t minimum, std::int32_t maximum, std::int32_t& value) {
    if (!ParseNumber(text, value)) {
        RefuseField(field, "Please enter an integer.", prompts);
        return false;
    }
    return CheckRange(field, minimum, maximum, value, prompts);
}
