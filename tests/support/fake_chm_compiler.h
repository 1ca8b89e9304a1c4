// Stand-ins for chmcmd that a test points TARNWICK_CHM_COMPILER at: shell
// scripts run like the compiler, with the project copy as their argument, in
// the project's folder.
#pragma once

#include <sys/stat.h>

#include <string>

#include "support/temp_folder.h"

namespace testing_support {

// Prints the compiled file's name as the project copy gives it.
inline const char* kCompiledNameCommand = "sed -n 's/^Compiled file=\\(.*\\)\\r$/\\1/p' \"$1\"";

// Writes an executable script with the body under a #!/bin/sh line.
inline std::string WriteFakeCompiler(const TempFolder& folder, const std::string& name,
                                     const std::string& body) {
    std::string path = folder.File(name);
    WriteFile(path, "#!/bin/sh\n" + body);
    ::chmod(path.c_str(), 0755);
    return path;
}

// Writes the compiled file, printing one progress line per page and a note
// that is none, and exits 0.
inline std::string WriteSucceedingCompiler(const TempFolder& folder) {
    return WriteFakeCompiler(folder, "succeeding.sh",
                             std::string("out=$(") + kCompiledNameCommand +
                                 ")\n"
                                 "echo 'Note: Scanning a'\necho 'Note: Good url: a'\n"
                                 "echo 'Note: Scanning b'\n"
                                 "printf 'compiled' > \"$out\"\n");
}

// Writes part of the compiled file, says so, then hangs until killed.
inline std::string WriteHangingCompiler(const TempFolder& folder) {
    return WriteFakeCompiler(folder, "hanging.sh",
                             std::string("out=$(") + kCompiledNameCommand +
                                 ")\n"
                                 "printf 'partial' > \"$out\"\necho 'Writing CHM'\n"
                                 "exec sleep 600\n");
}

}  // namespace testing_support
