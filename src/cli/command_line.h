// The arguments of one tarnwick-cli command, read against one table that
// describes every option: its names, whether it takes a value, and which
// commands take it. Help, the refusal of unknown options and of values given
// to switches, and the usage each command prints all follow from that table.
#pragma once

#include <ostream>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

using Arguments = std::vector<std::string>;

class CCommandLine {
public:
    // Reads the arguments that follow the command's name. "--name=value" and
    // "--name value" are the same; a switch takes no value except, for those
    // that the table marks so, "=yes" or "=no". An argument that starts with
    // "-" is an option, never a URL or a file, until "--" (after which every
    // argument is one). False with a message in error.
    bool Parse(std::string_view command, const Arguments& arguments, std::string& error);

    bool WantsHelp() const { return m_help; }
    const std::vector<std::string>& Positional() const { return m_positional; }
    // Options in the order given, under their long names; a switch has the
    // value "yes" or "no".
    const std::vector<std::pair<std::string, std::string>>& Options() const { return m_options; }

    bool Has(std::string_view name) const;
    // A switch given last as "yes" (or without a value).
    bool IsOn(std::string_view name) const;
    // The last value given; empty when the option is absent.
    std::string Value(std::string_view name) const;

private:
    bool ReadOption(std::string_view command, const Arguments& arguments, std::size_t& index,
                    std::string& error);

    bool m_help = false;
    std::vector<std::string> m_positional;
    std::vector<std::pair<std::string, std::string>> m_options;
};

// "usage: tarnwick-cli mirror URL [OPTIONS]", what the command does and the
// options it takes, one a line.
std::string CommandUsage(std::string_view command);

// Whether the table knows the command, and whether the command takes the
// option (by its long name).
bool IsCommand(std::string_view command);
bool TakesOption(std::string_view command, std::string_view option);

// Parse, with what the user must see: for -h the usage on out (status 0),
// for a mistake "tarnwick-cli: MESSAGE" and the usage on err (status 2).
// True when the command is to run.
bool ReadCommandLine(std::string_view command, const Arguments& arguments, CCommandLine& line,
                     std::ostream& out, std::ostream& err, int& status);
