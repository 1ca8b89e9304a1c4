// Asks for a password on the terminal without showing what is typed.
#pragma once

#include <optional>
#include <ostream>
#include <string>

// Writes the prompt, reads one line from fd with the terminal's echo off
// (and back on afterwards, also when the read fails), and ends the prompt's
// line. On a descriptor that is no terminal the line is read as it comes.
// Nothing when no line could be read.
std::optional<std::string> ReadHiddenLine(int fd, const std::string& prompt, std::ostream& out);

// The same on the controlling terminal, or standard input without one.
std::optional<std::string> AskPassword(const std::string& user, std::ostream& out);
