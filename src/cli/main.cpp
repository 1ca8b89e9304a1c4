// tarnwick-cli: the command-line front end over the crawl engine.
#include <malloc.h>

#include <cstdio>
#include <cstring>
#include <iostream>
#include <string>
#include <vector>

#include "cli/chm_command.h"
#include "cli/project_commands.h"
#include "html/html_library.h"

namespace {

void PrintUsage(std::FILE* out) {
    std::fprintf(out,
                 "Tarnwick %s - mirrors a website for offline browsing\n"
                 "\n"
                 "usage: tarnwick-cli COMMAND [ARGS]\n"
                 "\n"
                 "commands:\n"
                 "  mirror URL [OPTIONS]  download the site at URL for offline browsing:\n"
                 "                        new, then start (project file HOST.tkp, dots as _)\n"
                 "  new URL [PROJECT.tkp] [OPTIONS]\n"
                 "                        create a project that downloads into\n"
                 "                        PROJECT.files beside its file\n"
                 "  start PROJECT.tkp     start a stopped project or resume a paused one\n"
                 "  summary PROJECT.tkp   URLs queued and requested, files and bytes\n"
                 "  list PROJECT.tkp      every URL with its state\n"
                 "  clear PROJECT.tkp [--yes]\n"
                 "                        delete all the URLs of the project\n"
                 "  chm PROJECT.tkp OUT.chm\n"
                 "                        compile the downloaded files of a stopped project\n"
                 "                        into one help file that opens with the starting\n"
                 "                        page (chmcmd, or the program that\n"
                 "                        TARNWICK_CHM_COMPILER names)\n"
                 "  help                  show this text\n"
                 "  version               print the version\n"
                 "\n"
                 "options of mirror and new:\n"
                 "  --into FOLDER         mirror only: download folder (the project file is\n"
                 "                        FOLDER.tkp beside it)\n"
                 "  --threads N           worker threads, 1 to 16 (default 3)\n"
                 "  --levels all|N        levels of internal links to follow (default all)\n"
                 "  --external N          levels of external links to follow (default 0)\n"
                 "  --scope directory|domain\n"
                 "                        stay below the starting directory (default) or\n"
                 "                        anywhere on the starting host\n"
                 "  --user U --password P credentials for the site\n"
                 "  --filter GROUP        save only files of this group (Image, Archive,\n"
                 "                        Document, Audio, Video, Other); may be repeated\n"
                 "options of mirror and start:\n"
                 "  --autosave SECONDS    save the project this often while it runs\n"
                 "                        (default 30)\n"
                 "\n"
                 "While a crawl runs the project is saved as paused every 30 seconds.\n"
                 "Ctrl+C pauses the crawl, saves the project and exits; a second Ctrl+C\n"
                 "stops the project instead. When a crawl ends, the links of the saved\n"
                 "pages are updated for offline browsing. Ctrl+C cancels a chm build.\n",
                 TARNWICK_VERSION);
}

int Dispatch(const std::string& command, const Arguments& arguments) {
    if (command == "mirror") {
        return RunMirrorCommand(arguments, std::cout, std::cerr);
    }
    if (command == "new") {
        return RunNewCommand(arguments, std::cout, std::cerr);
    }
    if (command == "start") {
        return RunStartCommand(arguments, std::cout, std::cerr);
    }
    if (command == "summary") {
        return RunSummaryCommand(arguments, std::cout, std::cerr);
    }
    if (command == "list") {
        return RunListCommand(arguments, std::cout, std::cerr);
    }
    if (command == "clear") {
        return RunClearCommand(arguments, std::cin, std::cout, std::cerr);
    }
    if (command == "chm") {
        return RunChmCommand(arguments, std::cout, std::cerr);
    }
    std::fprintf(stderr, "tarnwick-cli: unknown command '%s'\n\n", command.c_str());
    PrintUsage(stderr);
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    // Every page becomes a tree of small blocks that is freed soon after. With
    // an arena per thread, each worker would keep the memory of the biggest
    // tree it ever built; one shared arena lets the next page reuse it, and
    // on a machine of a few cores its lock is seldom contended.
    mallopt(M_ARENA_MAX, 1);
    const CHtmlLibrary htmlLibrary;
    if (argc < 2 || std::strcmp(argv[1], "help") == 0 || std::strcmp(argv[1], "--help") == 0) {
        PrintUsage(stdout);
        return 0;
    }
    if (std::strcmp(argv[1], "version") == 0) {
        std::printf("Tarnwick %s\n", TARNWICK_VERSION);
        return 0;
    }
    const int status = Dispatch(argv[1], Arguments(argv + 2, argv + argc));
    if (status == 2) {
        std::fputc('\n', stderr);
        PrintUsage(stderr);
    }
    return status;
}
