// Text from outside the program (URLs, file names, project files) on its way
// to a terminal or a log: a URL such as x%1b%5d0%3bTITLE%07.html would
// otherwise retitle the window, move the cursor or split a line in two.
#pragma once

#include <string>
#include <string_view>

// The text with each control character (C0, DEL, and C1 in its UTF-8 form)
// and each byte that is no part of a UTF-8 character written as \xHH.
std::string PrintableText(std::string_view text);

// Whether text holds a control character as PrintableText escapes it: C0,
// DEL, or C1 in its UTF-8 form.
bool HasControlCharacter(std::string_view text);
