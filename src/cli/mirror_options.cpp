#include "cli/mirror_options.h"

#include <algorithm>
#include <charconv>
#include <filesystem>

#include "base/ascii.h"
#include "base/url.h"
#include "cli/command_line.h"
#include "cli/polite_options.h"
#include "engine/filter_list.h"
#include "engine/project_settings.h"

namespace {

constexpr int kMaxLevel = 100;

bool ParseNumber(const std::string& text, int low, int high, int& value) {
    const char* end = text.data() + text.size();
    const auto [rest, error] = std::from_chars(text.data(), end, value);
    return error == std::errc() && rest == end && value >= low && value <= high;
}

std::string RangeError(const std::string& name, int low, int high) {
    return name + ": Please enter an integer between " + std::to_string(low) + " and " +
           std::to_string(high) + ".";
}

// One of the options that shape a project's crawl; false with error when its
// value is not understood.
bool ApplyRuleOption(const std::string& name, const std::string& value, CMirrorOptions& options,
                     std::string& error) {
    const int maxThreads = static_cast<int>(CProjectSettings::kMaxThreadCount);
    if (name == "--threads") {
        if (!ParseNumber(value, 1, maxThreads, options.threads)) {
            error = RangeError(name, 1, maxThreads);
            return false;
        }
    } else if (name == "--levels") {
        if (value == "all") {
            options.internalLevels = -1;
        } else if (!ParseNumber(value, 0, kMaxLevel, options.internalLevels)) {
            error = "--levels takes \"all\" or an integer between 0 and 100.";
            return false;
        }
    } else if (name == "--external") {
        if (!ParseNumber(value, 0, kMaxLevel, options.externalLevels)) {
            error = RangeError(name, 0, kMaxLevel);
            return false;
        }
    } else if (name == "--scope") {
        if (value != "directory" && value != "domain") {
            error = "--scope takes \"directory\" or \"domain\"";
            return false;
        }
        options.directoryScope = value == "directory";
    } else if (name == "--filter") {
        if (!options.filtersGiven) {
            options.filterGroups.clear();
        }
        options.filtersGiven = true;
        if (value != "all") {
            options.filterGroups.push_back(value);
        }
    } else {
        error = "unknown option " + name;
        return false;
    }
    return true;
}

// The site's credentials of mirror, new and set.
bool ApplyCredentialOption(const std::string& name, const std::string& value,
                           CMirrorOptions& options) {
    if (name == "--user") {
        options.user = value;
    } else if (name == "--password") {
        options.password = value;
        options.passwordGiven = true;
    } else if (name == "--ask-password") {
        options.askPassword = true;
    } else if (name == "--netrc") {
        options.netrc = true;
    } else {
        return false;
    }
    return true;
}

// The options of mirror and new with their values.
bool ApplyOption(const std::string& name, const std::string& value, CMirrorOptions& options,
                 std::string& error) {
    if (name == "--into") {
        options.folder = value;
    } else if (name == "--project") {
        options.project = value;
    } else if (!ApplyCredentialOption(name, value, options)) {
        return ApplyRuleOption(name, value, options, error);
    }
    return true;
}

bool CheckCredentials(const CMirrorOptions& options, std::string& error) {
    if (options.user.empty()) {
        error = options.passwordGiven ? "--password needs --user"
                : options.askPassword ? "--ask-password needs --user"
                                      : "";
    } else if (options.askPassword && options.passwordGiven) {
        error = "give --password or --ask-password, not both";
    } else if (options.netrc && (options.passwordGiven || options.askPassword)) {
        error = "--netrc reads the password from ~/.netrc: give no --password with it";
    } else if (!options.passwordGiven && !options.askPassword && !options.netrc) {
        error = "--user needs --password (or --ask-password, or --netrc)";
    }
    return error.empty();
}

// Rule and credential options, in the order given; a command's other
// options are none of this reader's business.
bool ApplyOptions(const CCommandLine& line, bool projectOptions, CMirrorOptions& options,
                  std::string& error) {
    for (const auto& [name, value] : line.Options()) {
        if (TakesOption("start", name) || IsRequestRuleOption(name)) {
            continue;
        }
        const bool applied = projectOptions ? ApplyOption(name, value, options, error)
                                            : ApplyCredentialOption(name, value, options) ||
                                                  ApplyRuleOption(name, value, options, error);
        if (!applied) {
            return false;
        }
    }
    return CheckCredentials(options, error);
}

// Where "user:password@" of the URL text begins and where its "@" is;
// false when the text holds none.
bool FindUserInfo(const std::string& text, std::size_t& start, std::size_t& at) {
    const std::size_t scheme = text.find("://");
    if (scheme == std::string::npos) {
        return false;
    }
    start = scheme + 3;
    const std::size_t end = std::min(text.find_first_of("/?#", start), text.size());
    at = end == start ? std::string::npos : text.rfind('@', end - 1);
    return at != std::string::npos && at >= start;
}

// Cuts "user:password@" out of the URL text; false when it holds none.
bool TakeUserInfo(std::string& text, std::string& user, std::string& password) {
    std::size_t start = 0;
    std::size_t at = 0;
    if (!FindUserInfo(text, start, at)) {
        return false;
    }
    const std::string info = text.substr(start, at - start);
    const std::size_t colon = info.find(':');
    user = CUrl::UnescapeComponent(info.substr(0, colon));
    password = colon == std::string::npos ? "" : CUrl::UnescapeComponent(info.substr(colon + 1));
    text.erase(start, at + 1 - start);
    return true;
}

bool IsNameCharacter(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-';
}

bool EnableFilterGroups(const std::vector<std::string>& names, CCrawlRules& rules,
                        std::string& error) {
    CFilterList filters = CFilterList::DefaultGroups();
    for (const std::string& name : names) {
        bool found = false;
        for (std::size_t i = 0; i < filters.GetCount(); ++i) {
            if (EqualsIgnoreCase(filters.GetAt(i).GetName(), name)) {
                filters.GetAt(i).SetEnabled(true);
                found = true;
            }
        }
        if (!found) {
            error = "no filter group \"" + name +
                    "\" (groups: Image, Archive, Document, Audio, Video, Other)";
            return false;
        }
    }
    rules.SetFilters(filters);
    return true;
}

}  // namespace

bool ParseMirrorArguments(const CCommandLine& line, CMirrorOptions& options, std::string& error) {
    options = CMirrorOptions();
    if (!ApplyOptions(line, true, options, error)) {
        return false;
    }
    const std::vector<std::string>& positional = line.Positional();
    if (positional.empty()) {
        error = "the command needs a URL";
        return false;
    }
    if (positional.size() > 2) {
        error = "unexpected argument " + positional[2];
        return false;
    }
    options.url = positional.front();
    options.projectFile = positional.size() == 2 ? positional[1] : std::string();
    return true;
}

bool ParseSettingArguments(const CCommandLine& line, CMirrorOptions& options, std::string& error) {
    if (line.Positional().size() > 1) {
        error = "unexpected argument " + line.Positional()[1];
        return false;
    }
    return ApplyOptions(line, false, options, error);
}

bool BuildProject(const CMirrorOptions& options, CProjectSettings& project, std::string& error) {
    std::string text = options.url;
    if (text.find("://") == std::string::npos && !CUrl().Parse(text)) {
        text = "http://" + text;
    }
    std::string user = options.user;
    std::string password = options.password;
    std::string urlUser;
    std::string urlPassword;
    if (TakeUserInfo(text, urlUser, urlPassword) && user.empty()) {
        user = urlUser;
        password = urlPassword;
    }
    CUrl url;
    url.Parse(text);
    if (url.GetHost().empty()) {
        error = "not a URL: " + HideUrlPassword(options.url);
        return false;
    }
    const UrlScheme scheme = url.GetScheme();
    if (scheme != SchemeHttp && scheme != SchemeHttps && scheme != SchemeFtp) {
        error = "only http, https and ftp URLs can be mirrored: " + HideUrlPassword(options.url);
        return false;
    }
    // The FTP client fetches files; it does not list a folder to crawl.
    if (scheme == SchemeFtp && (url.GetPath().empty() || url.GetPath().ends_with('/'))) {
        error = "FTP folders are not mirrored; give the URL of a file in it, such as " +
                HideUrlPassword(text) + (text.ends_with('/') ? "" : "/") + "file.zip";
        return false;
    }
    project.SetStartUrl(url);
    CMirrorOptions rules = options;
    rules.filtersGiven = true;
    if (!ApplyRules(rules, project, error)) {
        return false;
    }
    project.SetCredentials(user, password);
    const std::filesystem::path folder = options.folder.empty()
                                             ? std::filesystem::path(DefaultFolderName(url))
                                             : std::filesystem::path(options.folder);
    std::filesystem::path absolute = std::filesystem::absolute(folder).lexically_normal();
    if (!absolute.has_filename() && absolute.has_parent_path()) {
        absolute = absolute.parent_path();  // "out/" names the folder out
    }
    project.SetFolders(absolute.string(), folder.string());
    return true;
}

CMirrorOptions OptionsOf(const CProjectSettings& project) {
    CMirrorOptions options;
    const CCrawlRules& rules = project.GetRules();
    options.threads = project.GetThreadCount();
    options.internalLevels = rules.GetInternalLevels();
    options.externalLevels = rules.GetExternalLevels();
    options.directoryScope = !rules.GetDirectory().empty();
    return options;
}

bool ApplyRules(const CMirrorOptions& options, CProjectSettings& project, std::string& error) {
    CCrawlRules& rules = project.GetRules();
    if (options.filtersGiven && !EnableFilterGroups(options.filterGroups, rules, error)) {
        return false;
    }
    const CUrl& url = project.GetStartUrl();
    project.SetThreadCount(options.threads);
    rules.SetLevels(options.internalLevels, options.externalLevels);
    rules.SetScope(url.GetHost(), options.directoryScope ? url.GetPath() : std::string());
    return true;
}

std::string MirrorProjectName(const CUrl& url) {
    std::string name = url.GetHost();
    if (url.GetPort() != 0 && url.GetPort() != url.GetDefaultPort()) {
        name += "_" + std::to_string(url.GetPort());
    }
    const std::string path = url.GetPath();
    const std::size_t folderEnd = path.find('/', 1);
    if (folderEnd != std::string::npos && folderEnd > 1) {
        name += "_" + path.substr(1, folderEnd - 1);
    }
    // An IPv6 literal keeps its brackets and colons, as its folder in the
    // mirror does: as underscores its addresses would be hard to tell apart.
    const std::size_t literalEnd = name.starts_with('[') ? name.find(']') + 1 : 0;
    for (std::size_t i = literalEnd; i < name.size(); ++i) {
        if (!IsNameCharacter(name[i])) {
            name[i] = '_';
        }
    }
    return name;
}

std::string HideUrlPassword(const std::string& text) {
    std::size_t start = 0;
    std::size_t at = 0;
    if (!FindUserInfo(text, start, at)) {
        return text;
    }
    const std::size_t colon = text.find(':', start);
    if (colon == std::string::npos || colon > at) {
        return text;
    }
    return text.substr(0, colon) + ":***" + text.substr(at);
}

std::string DefaultFolderName(const CUrl& url) {
    std::string name = url.GetHost();
    std::replace(name.begin(), name.end(), '.', '_');
    return name + ".files";
}
