// tarnwick-cli: the command-line front end over the crawl engine.

#include <csignal>
#include <cstdio>
#include <cstring>
#include <initializer_list>
#include <iostream>
#include <string>
#include <vector>

#include "cli/chm_command.h"
#include "cli/command_line.h"
#include "cli/exit_status.h"
#include "cli/printable_text.h"
#include "cli/project_commands.h"
#include "cli/settings_command.h"
#include "html/html_library.h"

// Read by the allocator at its start. Every page becomes a tree of small
// blocks that is freed soon after: one arena lets the next page reuse the
// blocks of the last whichever worker built it (an arena per thread would keep
// the biggest tree each worker ever built), and the per-thread caches keep the
// workers off its lock. Unused pages go back after a second rather than ten,
// and the caches hold half the usual blocks, so that the peak stays low.
extern "C" {
const char* malloc_conf = "narenas:1,dirty_decay_ms:1000,lg_tcache_nslots_mul:-1";
}

namespace {

void PrintUsage(std::FILE* out) {
    std::fprintf(out,
                 "Tarnwick %s - mirrors a website for offline browsing\n"
                 "\n"
                 "usage: tarnwick-cli COMMAND [ARGS]\n"
                 "\n"
                 "commands:\n"
                 "  mirror URL [OPTIONS]  download the site at URL for offline browsing:\n"
                 "                        new, then start (project file HOST_PORT_FOLDER.tkp\n"
                 "                        after the URL's host, port and first folder)\n"
                 "  new URL [PROJECT.tkp] [OPTIONS]\n"
                 "                        create a project that downloads into\n"
                 "                        PROJECT.files beside its file\n"
                 "  start PROJECT.tkp [OPTIONS]\n"
                 "                        start a stopped project or resume a paused one\n"
                 "  stop PROJECT.tkp      stop a paused project and update its links\n"
                 "  set PROJECT.tkp OPTIONS\n"
                 "                        change --threads, --levels, --external, --scope,\n"
                 "                        --filter or the site's --user and --password (or\n"
                 "                        --ask-password, --netrc), add --include,\n"
                 "                        --exclude or --header, or give --load-cookies, of\n"
                 "                        a stopped or paused project (--filter all: every\n"
                 "                        file again)\n"
                 "  summary PROJECT.tkp   URLs queued and requested, files and bytes\n"
                 "  list PROJECT.tkp      every URL with its state\n"
                 "  clear PROJECT.tkp [--yes]\n"
                 "                        delete all the URLs of the project\n"
                 "  chm PROJECT.tkp OUT.chm\n"
                 "                        compile the downloaded files of a stopped project\n"
                 "                        into one help file that opens with the starting\n"
                 "                        page (chmcmd, or the program that\n"
                 "                        TARNWICK_CHM_COMPILER names)\n"
                 "  settings [NAME | NAME=VALUE ...]\n"
                 "                        print every program setting as NAME=VALUE, one\n"
                 "                        of them, or change some: Connection and Request\n"
                 "                        (time-outs, 1 to 99 seconds), Retry (attempts per\n"
                 "                        URL, the first included, 0 to 99), Proxy, Port\n"
                 "                        (0 to 65535; without both the proxy is off),\n"
                 "                        User name, Password, User Agent (0 to 5 or its\n"
                 "                        name), Verify Certificates (0 or 1), Head\n"
                 "                        Requests (1: HEAD before every GET; 0: only to\n"
                 "                        spare a body), Page Requisites (1: also srcset,\n"
                 "                        media and what style sheets load; 0: off).\n"
                 "                        Transfer Limit (seconds one whole response may\n"
                 "                        take, 0 to 86400; 0: no limit), Robots (1: obey\n"
                 "                        robots.txt and nofollow), Wait (milliseconds\n"
                 "                        between requests to one host), Random Wait (0 or\n"
                 "                        1), Limit Rate (bytes per second, 0: none), User\n"
                 "                        Agent Text (sent instead of the preset when set).\n"
                 "                        The password is printed as ***; control\n"
                 "                        characters are refused.\n"
                 "                        Quote names with spaces.\n"
                 "  help, -h, --help      show this text; COMMAND -h shows the command's own\n"
                 "  version, -V, --version\n"
                 "                        print the version\n"
                 "\n"
                 "options of mirror and new (--name=value works too; an argument that starts\n"
                 "with - is always an option, and -- ends the options):\n"
                 "  --into FOLDER         mirror only: download folder (the project file is\n"
                 "                        FOLDER.tkp beside it)\n"
                 "  --project NAME        mirror only: the project file NAME.tkp\n"
                 "  --threads N           worker threads, 1 to 16 (default 3)\n"
                 "  --levels all|N        levels of internal links to follow (default all);\n"
                 "                        0 fetches only the starting page (wget's -l 0\n"
                 "                        means no limit: that is --levels all here)\n"
                 "  --external N          links to other hosts, 0 to 100 (default 0): 0 follows\n"
                 "                        none, 1 fetches the pages that the site links to\n"
                 "                        on other hosts, 2 also the pages those link to\n"
                 "                        on their own hosts, and so on\n"
                 "  --scope directory|domain\n"
                 "                        stay below the starting directory (default) or\n"
                 "                        anywhere on the starting host\n"
                 "  --user U --password P credentials for the site (user:password@ in the\n"
                 "                        URL works too; the password is never shown)\n"
                 "  --ask-password        with --user: read the password from the terminal\n"
                 "  --netrc               take the user and password for the host from\n"
                 "                        ~/.netrc\n"
                 "  --filter GROUP        save only files of this group (Image, Archive,\n"
                 "                        Document, Audio, Video, Other); may be repeated\n"
                 "  --include PATTERN     fetch the URLs that match, within scope and levels\n"
                 "  --exclude PATTERN     never fetch the URLs that match; both repeatable,\n"
                 "                        the last pattern that matches decides; a glob\n"
                 "                        (*, ?) on the whole URL, or re:REGEX\n"
                 "  --load-cookies FILE   start each crawl with the cookies of a cookies.txt\n"
                 "  --header 'NAME: VALUE'\n"
                 "                        send with every request to the starting host;\n"
                 "                        repeatable (set adds to the project's)\n"
                 "Run again, mirror updates the project it made for the same URL.\n"
                 "options of mirror and start:\n"
                 "  --autosave SECONDS    save the project this often while it runs\n"
                 "                        (default 30)\n"
                 "  --no-head             this run only: send a HEAD only when a size filter\n"
                 "                        is on; a file saved before is asked for with one\n"
                 "                        GET on condition that it changed\n"
                 "  --no-requisites       this run only: fetch no srcset candidates, media\n"
                 "                        or style sheet links (as Page Requisites=0)\n"
                 "  --max-time SECONDS    this run only: the time one whole response may\n"
                 "                        take, 0 for no limit (as Transfer Limit)\n"
                 "  --timeout SECONDS     this run only: the connection and request\n"
                 "                        time-outs, 1 to 3600\n"
                 "  --tries N             this run only: attempts per URL, 1 to 99 (as Retry)\n"
                 "  --no-check-certificate\n"
                 "                        this run only: accept any server certificate (as\n"
                 "                        Verify Certificates=0)\n"
                 "  --no-robots           this run only: ignore robots.txt and nofollow\n"
                 "  --wait MS             this run only: milliseconds between two requests\n"
                 "                        to one host (as Wait)\n"
                 "  --random-wait         this run only: each wait 0.5 to 1.5 times --wait\n"
                 "  --limit-rate RATE     this run only: bytes per second for the whole\n"
                 "                        crawl, k or m for KiB or MiB (200k)\n"
                 "  --user-agent TEXT     this run only: the identity sent to servers\n"
                 "  --save-cookies FILE   this run only: write the cookies to FILE at the end\n"
                 "  -q, --quiet           print nothing when all went well; failures and the\n"
                 "                        summary of a failed run still print\n"
                 "  -v, --verbose         also show every URL a worker takes and the codes\n"
                 "                        of failures\n"
                 "  -o, --output-file FILE\n"
                 "                        write all output to FILE\n"
                 "\n"
                 "exit status (when URLs of one crawl fail in several ways, the lowest\n"
                 "non-zero status wins):\n"
                 "  0  all fine            4  network failure (DNS, connect, time-out, TLS)\n"
                 "  1  generic error       5  certificate verification failure\n"
                 "  2  usage error         6  authentication failure (401, 407)\n"
                 "                         8  the server answered an error for some URL\n"
                 "  130 interrupted by Ctrl+C\n"
                 "A project that another command is changing is refused with status 1.\n"
                 "\n"
                 "While a crawl runs the project is saved as paused every 30 seconds.\n"
                 "Ctrl+C pauses the crawl, saves the project and exits; a second Ctrl+C\n"
                 "stops the project instead. When a crawl ends, the links of the saved\n"
                 "pages are updated for offline browsing. Ctrl+C cancels a chm build.\n",
                 TARNWICK_VERSION);
    std::fprintf(out, "\n%s", DescribeUserAgentPresets().c_str());
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
    if (command == "stop") {
        return RunStopCommand(arguments, std::cout, std::cerr);
    }
    if (command == "set") {
        return RunSetCommand(arguments, std::cout, std::cerr);
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
    return RunSettingsCommand(arguments, std::cout, std::cerr);
}

bool IsOneOf(const char* argument, std::initializer_list<const char*> names) {
    for (const char* name : names) {
        if (std::strcmp(argument, name) == 0) {
            return true;
        }
    }
    return false;
}

}  // namespace

int main(int argc, char** argv) {
    // A reader that goes away (| head) must not kill a crawl before it saves
    // its project: a write to the closed pipe fails instead, the stream stops
    // printing, and the work goes on.
    std::signal(SIGPIPE, SIG_IGN);

    const CHtmlLibrary htmlLibrary;
    if (argc < 2) {
        PrintUsage(stderr);
        return kExitUsage;
    }
    if (IsOneOf(argv[1], {"help", "-h", "--help"})) {
        PrintUsage(stdout);
        return 0;
    }
    if (IsOneOf(argv[1], {"version", "-V", "--version"})) {
        std::printf("Tarnwick %s\n", TARNWICK_VERSION);
        return 0;
    }
    if (!IsCommand(argv[1])) {
        std::fprintf(stderr, "tarnwick-cli: unknown command '%s'\nTry 'tarnwick-cli help'.\n",
                     PrintableText(argv[1]).c_str());
        return kExitUsage;
    }
    return Dispatch(argv[1], Arguments(argv + 2, argv + argc));
}
