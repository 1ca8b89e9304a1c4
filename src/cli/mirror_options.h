// The arguments of "tarnwick-cli mirror" and the project they describe.
#pragma once

#include <string>
#include <vector>

class CCommandLine;
class CProjectSettings;
class CUrl;

struct CMirrorOptions {
    std::string url;
    // Empty: a folder named after the starting host in the current folder.
    std::string folder;
    // mirror only: the project file's name; empty names it after the URL.
    std::string project;
    int threads = 3;
    // -1 follows internal links at every level.
    int internalLevels = -1;
    int externalLevels = 0;
    bool directoryScope = true;
    // new only: the project file, the second free-standing argument.
    std::string projectFile;
    std::string user;
    std::string password;
    // A --password was given, if only an empty one.
    bool passwordGiven = false;
    // The password is to be read from the terminal.
    bool askPassword = false;
    // User and password are to be read from ~/.netrc.
    bool netrc = false;
    // Names of the default filter groups to enable; none downloads every file.
    std::vector<std::string> filterGroups;
    // Set when a --filter was given, also "--filter all".
    bool filtersGiven = false;
};

// Reads the URL, the project file that may follow it, and the options of
// "mirror" or "new". False with a message in error for a missing URL, a
// value out of range, or credentials that do not go together: a password
// needs a user, and a user needs a password, --ask-password or --netrc.
bool ParseMirrorArguments(const CCommandLine& line, CMirrorOptions& options, std::string& error);

// Reads the options of "set" into options, which holds the project's
// current values: --threads, --levels, --external, --scope, --filter
// ("--filter all" downloads every file again) and the credentials. The one
// free-standing argument is the project file.
bool ParseSettingArguments(const CCommandLine& line, CMirrorOptions& options, std::string& error);

// Fills a new project's settings: the starting URL ("http://" is assumed
// when the text names no scheme), credentials, threads, levels, scope, the
// filter groups and the absolute download folder. False with a message in
// error when the URL does not parse or is not HTTP, HTTPS or FTP, names an FTP
// folder rather than a file, or a filter group does not exist.
// Credentials in the URL (user:password@) are taken from it and used as the
// site's when no --user is given; an IPv6 literal host is refused.
bool BuildProject(const CMirrorOptions& options, CProjectSettings& project, std::string& error);

// The options as they stand in a project: threads, levels, scope.
CMirrorOptions OptionsOf(const CProjectSettings& project);
// Sets threads, levels and the scope below the project's starting URL, and
// the filters when options.filtersGiven; false when a group does not exist.
bool ApplyRules(const CMirrorOptions& options, CProjectSettings& project, std::string& error);

// The name of a mirror's project file, without extension: the host, the
// port unless it is the scheme's own, and the first folder of the path,
// joined by "_", with every character other than a letter, digit or "-"
// as "_". "http://127.0.0.1:8080/docs/a.html" gives "127_0_0_1_8080_docs".
std::string MirrorProjectName(const CUrl& url);

// The URL text with the password of its user information as "***".
std::string HideUrlPassword(const std::string& text);

// The host with every "." replaced by "_", then ".files": the folder a
// project file named after the host would get.
std::string DefaultFolderName(const CUrl& url);
