// tarnwick-cli: the command-line front end over the crawl engine.
#include <cstdio>
#include <cstring>

#include "storage/html_library.h"

namespace {

void PrintUsage(std::FILE* out) {
    std::fprintf(out,
                 "Tarnwick %s - mirrors a website for offline browsing\n"
                 "\n"
                 "usage: tarnwick-cli COMMAND [ARGS]\n"
                 "\n"
                 "commands:\n"
                 "  help      show this text\n"
                 "  version   print the version\n",
                 TARNWICK_VERSION);
}

}  // namespace

int main(int argc, char** argv) {
    const CHtmlLibrary htmlLibrary;
    if (argc < 2 || std::strcmp(argv[1], "help") == 0 || std::strcmp(argv[1], "--help") == 0) {
        PrintUsage(stdout);
        return 0;
    }
    if (std::strcmp(argv[1], "version") == 0) {
        std::printf("Tarnwick %s\n", TARNWICK_VERSION);
        return 0;
    }
    std::fprintf(stderr, "tarnwick-cli: unknown command '%s'\n\n", argv[1]);
    PrintUsage(stderr);
    return 2;
}
