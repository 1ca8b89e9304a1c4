#include "cli/command_line.h"

#include <algorithm>
#include <iterator>

#include "cli/exit_status.h"
#include "cli/printable_text.h"

namespace {

enum Command : unsigned {
    kMirror = 1U << 0,
    kNew = 1U << 1,
    kStart = 1U << 2,
    kStop = 1U << 3,
    kSet = 1U << 4,
    kSummary = 1U << 5,
    kList = 1U << 6,
    kClear = 1U << 7,
    kChm = 1U << 8,
    kSettings = 1U << 9,
};

constexpr unsigned kProject = kMirror | kNew;
constexpr unsigned kRules = kMirror | kNew | kSet;
constexpr unsigned kRun = kMirror | kStart;

enum class Kind {
    kValue,
    // Takes no value at all.
    kFlag,
    // Takes no value, or "yes" or "no".
    kSwitch,
};

struct OptionSpec {
    const char* name;
    // "-q" beside "--quiet"; nullptr for none.
    const char* shortName;
    Kind kind;
    unsigned commands;
    // The value's placeholder and the help line of the command's usage.
    const char* value;
    const char* help;
};

// One line per option.
constexpr OptionSpec kOptions[] = {
    {"--into", nullptr, Kind::kValue, kMirror, "FOLDER",
     "download folder; the project file is FOLDER.tkp"},
    {"--project", nullptr, Kind::kValue, kMirror, "NAME", "the project file NAME.tkp"},
    {"--threads", nullptr, Kind::kValue, kRules, "N", "worker threads, 1 to 16 (default 3)"},
    {"--levels", nullptr, Kind::kValue, kRules, "all|N",
     "link levels on the site (all; 0: the start page only)"},
    {"--external", nullptr, Kind::kValue, kRules, "N",
     "levels of links to other hosts, 0 to 100 (default 0)"},
    {"--scope", nullptr, Kind::kValue, kRules, "directory|domain",
     "stay below the starting folder (default) or host"},
    {"--filter", nullptr, Kind::kValue, kRules, "GROUP",
     "only files of GROUP; repeatable (all: every file)"},
    {"--user", nullptr, Kind::kValue, kRules, "U", "user name for the site"},
    {"--password", nullptr, Kind::kValue, kRules, "P", "password for the site (needs --user)"},
    {"--ask-password", nullptr, Kind::kFlag, kRules, nullptr,
     "ask for the password on the terminal (needs --user)"},
    {"--netrc", nullptr, Kind::kFlag, kRules, nullptr,
     "take the site's user and password from ~/.netrc"},
    {"--include", nullptr, Kind::kValue, kRules, "PATTERN",
     "fetch URLs that match (glob, or re:REGEX); repeatable"},
    {"--exclude", nullptr, Kind::kValue, kRules, "PATTERN",
     "never fetch URLs that match; repeatable, the last match decides"},
    {"--load-cookies", nullptr, Kind::kValue, kRules, "FILE",
     "start every crawl with the cookies of a cookies.txt"},
    {"--header", nullptr, Kind::kValue, kRules, "'NAME: VALUE'",
     "send to the starting host; repeatable"},
    {"--autosave", nullptr, Kind::kValue, kRun, "SECONDS",
     "save the project this often (default 30)"},
    {"--no-head", nullptr, Kind::kSwitch, kRun, nullptr,
     "this run: HEAD only where it can spare a body"},
    {"--no-requisites", nullptr, Kind::kSwitch, kRun, nullptr,
     "this run: no srcset, media or style sheet links"},
    {"--no-check-certificate", nullptr, Kind::kSwitch, kRun, nullptr,
     "this run: accept any server certificate"},
    {"--timeout", nullptr, Kind::kValue, kRun, "SECONDS",
     "this run: connect and request time-out, 1 to 3600"},
    {"--tries", nullptr, Kind::kValue, kRun, "N", "this run: attempts per URL, 1 to 99"},
    {"--max-time", nullptr, Kind::kValue, kRun, "SECONDS",
     "this run: most time per response (0: no limit)"},
    {"--no-robots", nullptr, Kind::kSwitch, kRun, nullptr,
     "this run: ignore robots.txt and nofollow (as Robots=0)"},
    {"--wait", nullptr, Kind::kValue, kRun, "MS",
     "this run: milliseconds between requests to one host"},
    {"--random-wait", nullptr, Kind::kSwitch, kRun, nullptr,
     "this run: each wait 0.5 to 1.5 times --wait"},
    {"--limit-rate", nullptr, Kind::kValue, kRun, "RATE",
     "this run: bytes per second in all, k or m for KiB, MiB"},
    {"--user-agent", nullptr, Kind::kValue, kRun, "TEXT",
     "this run: the identity sent (as User Agent Text)"},
    {"--save-cookies", nullptr, Kind::kValue, kRun, "FILE",
     "this run: write the cookies to a cookies.txt at the end"},
    {"--quiet", "-q", Kind::kSwitch, kRun, nullptr, "print nothing unless something fails"},
    {"--verbose", "-v", Kind::kSwitch, kRun, nullptr,
     "also show every URL a worker takes, and result codes"},
    {"--output-file", "-o", Kind::kValue, kRun, "FILE", "write all output to FILE"},
    {"--yes", nullptr, Kind::kFlag, kClear, nullptr, "do not ask"},
};

struct CommandSpec {
    const char* name;
    Command id;
    const char* synopsis;
    const char* summary;
};

constexpr CommandSpec kCommands[] = {
    {"mirror", kMirror, "URL [OPTIONS]",
     "Downloads the site at URL for offline browsing: new, then start. Run again,\n"
     "it updates the same project."},
    {"new", kNew, "URL [PROJECT.tkp] [OPTIONS]",
     "Creates a project that downloads into PROJECT.files beside its file."},
    {"start", kStart, "PROJECT.tkp [OPTIONS]", "Starts a stopped project or resumes a paused one."},
    {"stop", kStop, "PROJECT.tkp", "Stops a paused project and updates its links."},
    {"set", kSet, "PROJECT.tkp OPTIONS",
     "Changes the rules or credentials of a stopped or paused project."},
    {"summary", kSummary, "PROJECT.tkp", "URLs queued and requested, files and bytes."},
    {"list", kList, "PROJECT.tkp", "Every URL of the project with its state."},
    {"clear", kClear, "PROJECT.tkp [--yes]", "Deletes all the URLs of the project."},
    {"chm", kChm, "PROJECT.tkp OUT.chm",
     "Compiles the downloaded files of a stopped project into one help file."},
    {"settings", kSettings, "[NAME | NAME=VALUE ...]",
     "Prints every program setting, one of them, or changes some."},
};

const CommandSpec* FindCommand(std::string_view name) {
    const auto* found = std::find_if(std::begin(kCommands), std::end(kCommands),
                                     [&](const CommandSpec& spec) { return spec.name == name; });
    return found == std::end(kCommands) ? nullptr : found;
}

const OptionSpec* FindOption(std::string_view name) {
    const auto* found =
        std::find_if(std::begin(kOptions), std::end(kOptions), [&](const OptionSpec& spec) {
            return spec.name == name || (spec.shortName != nullptr && spec.shortName == name);
        });
    return found == std::end(kOptions) ? nullptr : found;
}

bool Takes(const CommandSpec* command, const OptionSpec& option) {
    return command != nullptr && (option.commands & command->id) != 0;
}

bool IsHelp(std::string_view argument) {
    return argument == "-h" || argument == "--help";
}

// "yes" or "no" for a switch's "=value"; false for anything else.
bool ReadSwitchValue(const OptionSpec& option, const std::string& value, std::string& result,
                     std::string& error) {
    if (option.kind == Kind::kFlag) {
        error = std::string(option.name) + " takes no value";
        return false;
    }
    if (value != "yes" && value != "no") {
        error = std::string(option.name) + " takes no value, or yes or no";
        return false;
    }
    result = value;
    return true;
}

}  // namespace

bool CCommandLine::Parse(std::string_view command, const Arguments& arguments, std::string& error) {
    *this = CCommandLine();
    bool optionsEnded = false;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string& argument = arguments[i];
        if (optionsEnded || argument == "-" || !argument.starts_with("-")) {
            m_positional.push_back(argument);
        } else if (argument == "--") {
            optionsEnded = true;
        } else if (IsHelp(argument)) {
            m_help = true;
        } else if (!ReadOption(command, arguments, i, error)) {
            return false;
        }
    }
    return true;
}

bool CCommandLine::ReadOption(std::string_view command, const Arguments& arguments,
                              std::size_t& index, std::string& error) {
    const std::string& argument = arguments[index];
    const std::size_t equals = argument.starts_with("--") ? argument.find('=') : std::string::npos;
    const std::string name = argument.substr(0, equals);
    const OptionSpec* option = FindOption(name);
    if (option == nullptr || !Takes(FindCommand(command), *option)) {
        error = "unknown option " + name;
        return false;
    }
    std::string value = "yes";
    if (option->kind != Kind::kValue) {
        if (equals != std::string::npos &&
            !ReadSwitchValue(*option, argument.substr(equals + 1), value, error)) {
            return false;
        }
    } else if (equals != std::string::npos) {
        value = argument.substr(equals + 1);
    } else if (index + 1 < arguments.size()) {
        value = arguments[++index];
    } else {
        error = name + " needs a value";
        return false;
    }
    m_options.emplace_back(option->name, value);
    return true;
}

bool CCommandLine::Has(std::string_view name) const {
    return std::any_of(m_options.begin(), m_options.end(),
                       [&](const auto& option) { return option.first == name; });
}

bool CCommandLine::IsOn(std::string_view name) const {
    return Value(name) == "yes";
}

std::string CCommandLine::Value(std::string_view name) const {
    const auto found = std::find_if(m_options.rbegin(), m_options.rend(),
                                    [&](const auto& option) { return option.first == name; });
    return found == m_options.rend() ? std::string() : found->second;
}

std::string CommandUsage(std::string_view command) {
    const CommandSpec* spec = FindCommand(command);
    if (spec == nullptr) {
        return {};
    }
    std::string usage = std::string("usage: tarnwick-cli ") + spec->name + " " + spec->synopsis +
                        "\n\n" + spec->summary + "\n";
    std::string lines;
    for (const OptionSpec& option : kOptions) {
        if (!Takes(spec, option)) {
            continue;
        }
        std::string head = "  ";
        head += option.shortName != nullptr ? std::string(option.shortName) + ", " : "";
        head += option.name;
        head += option.value != nullptr ? std::string(" ") + option.value : "";
        constexpr std::size_t kHelpColumn = 28;
        head += head.size() < kHelpColumn ? std::string(kHelpColumn - head.size(), ' ')
                                          : "\n" + std::string(kHelpColumn, ' ');
        lines += head + option.help + "\n";
    }
    usage += "\noptions";
    usage += lines.empty() ? ": -h, --help only\n" : " (--name=value works too):\n" + lines;
    return usage;
}

bool IsCommand(std::string_view command) {
    return FindCommand(command) != nullptr;
}

bool TakesOption(std::string_view command, std::string_view option) {
    const OptionSpec* spec = FindOption(option);
    return spec != nullptr && Takes(FindCommand(command), *spec);
}

bool ReadCommandLine(std::string_view command, const Arguments& arguments, CCommandLine& line,
                     std::ostream& out, std::ostream& err, int& status) {
    std::string error;
    if (!line.Parse(command, arguments, error)) {
        err << "tarnwick-cli: " << PrintableText(error) << "\n\n" << CommandUsage(command);
        status = kExitUsage;
        return false;
    }
    if (line.WantsHelp()) {
        out << CommandUsage(command);
        status = kExitSuccess;
        return false;
    }
    return true;
}
