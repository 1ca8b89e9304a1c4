// settings [NAME=VALUE ...]: shows or changes the program settings, the
// options that apply to every project, from the command line.
#pragma once

#include <ostream>
#include <string>

#include "cli/project_commands.h"

// Without arguments prints every setting as NAME=VALUE, one a line, under
// the names the settings store gives them, then the User Agent presets. With arguments checks each
// value as the Program Options sheet does and stores them all, or none: 2 for an argument that
// names no setting, 1 for a value the sheet would refuse.
int RunSettingsCommand(const Arguments& arguments, std::ostream& out, std::ostream& err);

// The six User Agent presets, each with its index, name and the identity it
// sends, under a heading line.
std::string DescribeUserAgentPresets();
