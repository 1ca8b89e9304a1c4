// The arguments of "tarnwick-cli mirror" and the project they describe.
#pragma once

#include <string>
#include <vector>

class CProjectSettings;
class CUrl;

struct CMirrorOptions {
    std::string url;
    // Empty: a folder named after the starting host in the current folder.
    std::string folder;
    int threads = 3;
    // -1 follows internal links at every level.
    int internalLevels = -1;
    int externalLevels = 0;
    bool directoryScope = true;
    std::string user;
    std::string password;
    // Names of the default filter groups to enable; none downloads every file.
    std::vector<std::string> filterGroups;
};

// Reads the arguments that follow "mirror". False with a message in error
// for a missing URL, an unknown option or a value out of range.
bool ParseMirrorArguments(const std::vector<std::string>& arguments, CMirrorOptions& options,
                          std::string& error);

// Fills a new project's settings: the starting URL ("http://" is assumed
// when the text names no scheme), credentials, threads, levels, scope, the
// filter groups and the absolute download folder. False with a message in
// error when the URL does not parse or is not HTTP, HTTPS or FTP, or a filter
// group does not exist.
bool BuildProject(const CMirrorOptions& options, CProjectSettings& project, std::string& error);

// The host with every "." replaced by "_", then ".files": the folder a
// project file named after the host would get.
std::string DefaultFolderName(const CUrl& url);
