// The HTML Help compiler, which turns a help project (.hhp) into a compiled
// help file (.chm). It is Free Pascal's chmcmd run as a child process, or the
// program that TARNWICK_CHM_COMPILER names.
#pragma once

#include <functional>
#include <string>
#include <string_view>

#include "base/errors.h"
#include "storage/file_path.h"

// Receives the compiler's progress: each line of its output, then an empty
// text that closes the line's group. While the compiler is silent it gets an
// empty text every kCompilerPollMs, so that a stop is seen without waiting for
// the next line. Returns non-zero to let the compiler go on, zero to end it.
using ChmProgressCallback = std::function<int(const std::string& text)>;

constexpr int kCompilerPollMs = 100;

// Whether a line of the compiler's output tells of one file taken into the
// help file (or of the file being written at the end): the steps of its
// progress. At the verbosity it is run with it prints several notes for some
// files, which would run the count past the number of files.
bool ReportsCompilerStep(std::string_view line);

// The program to run: TARNWICK_CHM_COMPILER when set and not empty (a path
// with a '/' is taken from the caller's folder), else "chmcmd".
std::string GetChmCompilerProgram();

// What the compiler is given in place of the project file. chmcmd resolves
// every path in a project against the project's folder, an absolute one
// included, and writes the compiled file relative to its own working folder;
// so the absolute paths of the options that name files, and of the files
// list, become relative to the project's folder, and the compiler runs there.
struct CCompilerProject {
    std::string text;
    // Absolute: where the compiler will write the compiled file.
    CFilePath compiledFile;
};
CCompilerProject TranslateProjectForCompiler(std::string_view projectText,
                                             const CFilePath& projectFile);

// Compiles the project file; the compiler is asked to print a line for each
// file it takes in. ERR_SUCCESS only when the compiler exited with 0
// and wrote the compiled file (an older file there is removed first);
// ERR_CHM_LOAD_COMPILER when the program cannot be started; ERR_CHM_COMPILE
// when it failed, or when the callback ended it. A compiled file that a
// failed run left behind is removed.
ResultCode CompileHtmlHelpProject(const CFilePath& projectFile,
                                  const ChmProgressCallback& progress);
