// Moving a finished file to where the user wants it.
#pragma once

#include <string>

// Moves the file from one path to another, replacing a file that is there.
// Across file systems the file is copied beside the target first and then
// renamed over it, so that the target is never left half written. False on
// failure: the target is then as it was, and so is the file that was moved.
// Only a plain file is moved: a symbolic link at from fails the move.
bool MoveFileReplacing(const std::string& from, const std::string& to);
