// tarnwick-cli: the command-line front end over the crawl engine.
#include <cstdio>
#include <cstring>
#include <iostream>
#include <string>
#include <vector>

#include "cli/mirror_command.h"
#include "cli/mirror_options.h"
#include "storage/html_library.h"

namespace {

void PrintUsage(std::FILE* out) {
    std::fprintf(out,
                 "Tarnwick %s - mirrors a website for offline browsing\n"
                 "\n"
                 "usage: tarnwick-cli COMMAND [ARGS]\n"
                 "\n"
                 "commands:\n"
                 "  mirror URL [OPTIONS]  download the site at URL for offline browsing\n"
                 "  help                  show this text\n"
                 "  version               print the version\n"
                 "\n"
                 "mirror options:\n"
                 "  --into FOLDER         download folder (default: HOST.files, dots as _)\n"
                 "  --threads N           worker threads, 1 to 16 (default 3)\n"
                 "  --levels all|N        levels of internal links to follow (default all)\n"
                 "  --external N          levels of external links to follow (default 0)\n"
                 "  --scope directory|domain\n"
                 "                        stay below the starting directory (default) or\n"
                 "                        anywhere on the starting host\n"
                 "  --user U --password P credentials for the site\n"
                 "  --filter GROUP        save only files of this group (Image, Archive,\n"
                 "                        Document, Audio, Video, Other); may be repeated\n"
                 "\n"
                 "Ctrl+C pauses the crawl and exits.\n",
                 TARNWICK_VERSION);
}

int Mirror(int argc, char** argv) {
    CMirrorOptions options;
    std::string error;
    if (!ParseMirrorArguments(std::vector<std::string>(argv + 2, argv + argc), options, error)) {
        std::fprintf(stderr, "tarnwick-cli: %s\n\n", error.c_str());
        PrintUsage(stderr);
        return 2;
    }
    return RunMirror(options, std::cout, std::cerr);
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
    if (std::strcmp(argv[1], "mirror") == 0) {
        return Mirror(argc, argv);
    }
    std::fprintf(stderr, "tarnwick-cli: unknown command '%s'\n\n", argv[1]);
    PrintUsage(stderr);
    return 2;
}
