// The usual checks of a numeric dialog field: the text must be a number of
// the field's kind and lie within its range. A refused field shows the
// usual message and takes the focus, so the user corrects it in place.
#pragma once

#include <QString>
#include <cstdint>

class CUserPrompts;
class QWidget;

// Unsigned fields: "Please enter a positive integer." for text that is no
// unsigned 32-bit number.
bool ReadUnsignedField(QWidget* field, const QString& text, CUserPrompts& prompts,
                       std::uint32_t& value);
bool ReadUnsignedField(QWidget* field, const QString& text, CUserPrompts& prompts,
                       std::uint32_t minimum, std::uint32_t maximum, std::uint32_t& value);
// Signed fields: "Please enter an integer." for text that is no signed
// 32-bit number.
bool ReadSignedField(QWidget* field, const QString& text, CUserPrompts& prompts,
                     std::int32_t minimum, std::int32_t maximum, std::int32_t& value);

// Refuses the field with the message and moves the focus into it.
void RefuseField(QWidget* field, const QString& message, CUserPrompts& prompts);
