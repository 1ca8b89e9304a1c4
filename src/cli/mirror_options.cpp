#include "cli/mirror_options.h"

#include <algorithm>
#include <charconv>
#include <filesystem>

#include "base/ascii.h"
#include "base/url.h"
#include "engine/filter_list.h"
#include "engine/project_settings.h"

namespace {

constexpr int kMaxLevel = 100;

bool ParseNumber(const std::string& text, int low, int high, int& value) {
    const char* end = text.data() + text.size();
    const auto [rest, error] = std::from_chars(text.data(), end, value);
    return error == std::errc() && rest == end && value >= low && value <= high;
}

// One option with its value; false with error when it is not understood.
bool ApplyOption(const std::string& name, const std::string& value, CMirrorOptions& options,
                 std::string& error) {
    if (name == "--into") {
        options.folder = value;
    } else if (name == "--threads") {
        if (!ParseNumber(value, 1, static_cast<int>(CProjectSettings::kMaxThreadCount),
                         options.threads)) {
            error = "--threads takes a number from 1 to 16";
            return false;
        }
    } else if (name == "--levels") {
        if (value == "all") {
            options.internalLevels = -1;
        } else if (!ParseNumber(value, 0, kMaxLevel, options.internalLevels)) {
            error = "--levels takes \"all\" or a number from 0 to 100";
            return false;
        }
    } else if (name == "--external") {
        if (!ParseNumber(value, 0, kMaxLevel, options.externalLevels)) {
            error = "--external takes a number from 0 to 100";
            return false;
        }
    } else if (name == "--scope") {
        if (value != "directory" && value != "domain") {
            error = "--scope takes \"directory\" or \"domain\"";
            return false;
        }
        options.directoryScope = value == "directory";
    } else if (name == "--user") {
        options.user = value;
    } else if (name == "--password") {
        options.password = value;
    } else if (name == "--filter") {
        options.filterGroups.push_back(value);
    } else {
        error = "unknown option " + name;
        return false;
    }
    return true;
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

bool ParseMirrorArguments(const std::vector<std::string>& arguments, CMirrorOptions& options,
                          std::string& error) {
    options = CMirrorOptions();
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string& argument = arguments[i];
        if (argument.rfind("--", 0) != 0) {
            if (!options.url.empty()) {
                error = "more than one URL: " + argument;
                return false;
            }
            options.url = argument;
            continue;
        }
        if (i + 1 == arguments.size()) {
            error = argument + " needs a value";
            return false;
        }
        if (!ApplyOption(argument, arguments[++i], options, error)) {
            return false;
        }
    }
    if (options.url.empty()) {
        error = "mirror needs a URL";
        return false;
    }
    return true;
}

bool BuildProject(const CMirrorOptions& options, CProjectSettings& project, std::string& error) {
    CUrl url;
    if (!url.Parse(options.url) && options.url.find("://") == std::string::npos) {
        url.Parse("http://" + options.url);
    }
    if (url.GetHost().empty()) {
        error = "not a URL: " + options.url;
        return false;
    }
    const UrlScheme scheme = url.GetScheme();
    if (scheme != SchemeHttp && scheme != SchemeHttps && scheme != SchemeFtp) {
        error = "only http, https and ftp URLs can be mirrored: " + options.url;
        return false;
    }
    CCrawlRules& rules = project.GetRules();
    if (!EnableFilterGroups(options.filterGroups, rules, error)) {
        return false;
    }
    project.SetStartUrl(url);
    project.SetCredentials(options.user, options.password);
    project.SetThreadCount(options.threads);
    rules.SetLevels(options.internalLevels, options.externalLevels);
    rules.SetScope(url.GetHost(), options.directoryScope ? url.GetPath() : std::string());
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

std::string DefaultFolderName(const CUrl& url) {
    std::string name = url.GetHost();
    std::replace(name.begin(), name.end(), '.', '_');
    return name + ".files";
}
