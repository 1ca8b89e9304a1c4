// chm PROJECT.tkp OUT.chm: compiles the project's downloaded files into one
// help file that opens with the starting page, as the Create CHM command of
// the desktop application does.
#pragma once

#include <ostream>

#include "cli/project_commands.h"

// Shows the build's progress and the Compile CHM File dialog's messages;
// Ctrl+C cancels. 0 when OUT.chm was written, 130 when cancelled, 2 for a
// usage error, 1 for any other failure (OUT.chm is then left as it was).
int RunChmCommand(const Arguments& arguments, std::ostream& out, std::ostream& err);
