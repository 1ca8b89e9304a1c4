#include "ui/command_table.h"

namespace {

bool Always(const CProjectStatus&) {
    return true;
}

bool ProjectOpen(const CProjectStatus& status) {
    return status.open;
}

bool NoProjectOrStopped(const CProjectStatus& status) {
    return !status.open || status.state == Stopped;
}

bool StoppedOrPaused(const CProjectStatus& status) {
    return status.open && (status.state == Stopped || status.state == Paused);
}

bool IsStopped(const CProjectStatus& status) {
    return status.open && status.state == Stopped;
}

bool IsRunning(const CProjectStatus& status) {
    return status.open && status.state == Running;
}

bool RunningOrPaused(const CProjectStatus& status) {
    return status.open && (status.state == Running || status.state == Paused);
}

bool UrlsToDelete(const CProjectStatus& status) {
    return StoppedOrPaused(status) && !status.listEmpty;
}

using M = CommandMenu;

constexpr CCommand kCommands[] = {
    {ID_FILE_NEW_PROJECT, M::File, false, "&New...", "Ctrl+N", "Create a new project\nNew project",
     Always},
    {ID_FILE_OPEN, M::File, false, "&Open...", "Ctrl+O", "Open an existing project\nOpen a project",
     Always},
    {ID_FILE_SAVE, M::File, false, "&Save", "Ctrl+S", "Save the current project\nSave project",
     ProjectOpen},
    {ID_FILE_SAVE_AS, M::File, false, "Save &As...", "",
     "Save the current project with a new name\nSave As", ProjectOpen},
    {ID_FILE_OPTIONS, M::File, true, "Op&tions", "", "Change options\nOptions", NoProjectOrStopped},
    {ID_APP_EXIT, M::File, true, "E&xit", "",
     "Quit the application; prompt to save the current project\nExit", Always},
    {ID_VIEW_TOOLBAR, M::View, false, "&Toolbar", "", "", Always},
    {ID_VIEW_STATUS_BAR, M::View, false, "&Status Bar", "", "", Always},
    {ID_PROJECT_START, M::Project, false, "&Start", "", "Start the current project\nStart",
     StoppedOrPaused},
    {ID_PROJECT_PAUSE, M::Project, false, "&Pause", "", "Suspend the current project\nPause",
     IsRunning},
    {ID_PROJECT_STOP, M::Project, false, "S&top", "", "Stop the current project\nStop",
     RunningOrPaused},
    {ID_PROJECT_PROPERTIES, M::Project, true, "P&roperties...", "",
     "Change the property of the current project\nProperty", StoppedOrPaused},
    {ID_PROJECT_BROWSE_OFFLINE, M::Project, false, "&Browse Offline", "",
     "Browse the downloaded files offline\nBrowse Offline", IsStopped},
    {ID_PROJECT_SUMMARY, M::Project, false, "S&ummary...", "",
     "Display the summary of the current project\nSummary", StoppedOrPaused},
    {ID_PROJECT_DELETE_ALL, M::Project, false, "&Delete All", "",
     "Delete all the URLs in the project\n Delete All", UrlsToDelete},
    {ID_PROJECT_CREATE_CHM, M::Project, true, "Create &CHM...", "",
     "Create a CHM file from the downloaded files\nCreate CHM", IsStopped},
    {ID_HELP_INDEX, M::Help, false, "&Content", "", "Display the table of contents\nHelp", Always},
    {ID_HELP_WEBSITE, M::Help, true, "Tarnwick On The &Web", "",
     "Visit the homepage of Tarnwick\nWebsite", Always},
    {ID_HELP_DOWNLOAD, M::Help, false, "&Download Latest Version", "", "", Always},
    {ID_APP_ABOUT, M::Help, true, "&About...", "",
     "Display the program information and copyright\nAbout", Always},
};

constexpr std::optional<CommandId> kToolbar[] = {
    ID_FILE_NEW_PROJECT,   ID_FILE_OPEN,     ID_FILE_SAVE,    std::nullopt,
    ID_PROJECT_START,      ID_PROJECT_PAUSE, ID_PROJECT_STOP, ID_PROJECT_CREATE_CHM,
    ID_PROJECT_PROPERTIES, std::nullopt,     ID_HELP_INDEX,   ID_APP_ABOUT,
};

}  // namespace

std::span<const CCommand> GetCommands() {
    return kCommands;
}

std::span<const std::optional<CommandId>> GetToolbarButtons() {
    return kToolbar;
}

std::string_view StatusPrompt(const CCommand& command) {
    return command.prompt.substr(0, command.prompt.find('\n'));
}

std::string_view ToolTip(const CCommand& command) {
    const auto lineBreak = command.prompt.find('\n');
    return lineBreak == std::string_view::npos ? std::string_view{}
                                               : command.prompt.substr(lineBreak + 1);
}
