// The commands of the menus and the toolbar: their ids, captions, keys,
// prompts and the run states in which each may be chosen. Nothing here
// draws, so the rules can be checked without a window.
#pragma once

#include <optional>
#include <span>
#include <string_view>

#include "engine/crawl_controller.h"

enum CommandId : int {
    ID_FILE_NEW_PROJECT = 32782,
    ID_FILE_OPEN = 57601,
    ID_FILE_SAVE = 57603,
    ID_FILE_SAVE_AS = 57604,
    ID_FILE_OPTIONS = 32785,
    ID_APP_EXIT = 57665,
    ID_VIEW_TOOLBAR = 59392,
    ID_VIEW_STATUS_BAR = 59393,
    ID_PROJECT_START = 32778,
    ID_PROJECT_PAUSE = 32775,
    ID_PROJECT_STOP = 32798,
    ID_PROJECT_PROPERTIES = 32777,
    ID_PROJECT_BROWSE_OFFLINE = 32796,
    ID_PROJECT_SUMMARY = 32794,
    ID_PROJECT_CREATE_CHM = 32799,
    ID_PROJECT_DELETE_ALL = 32793,
    ID_HELP_INDEX = 57670,
    ID_HELP_WEBSITE = 32800,
    ID_HELP_DOWNLOAD = 32801,
    ID_APP_ABOUT = 57664,
};

// What the enabling rules look at.
struct CProjectStatus {
    // The document has settings and a download manager.
    bool open = false;
    ProjectRunState state = Stopped;
    bool listEmpty = true;
};

enum class CommandMenu { File, View, Project, Help };

struct CCommand {
    CommandId id;
    CommandMenu menu;
    // A menu item begins a new group after a separator.
    bool separatorBefore;
    // "&" marks the menu item's key.
    std::string_view caption;
    std::string_view shortcut;
    // Before the line break the status bar's text, after it the tool tip.
    std::string_view prompt;
    bool (*enabled)(const CProjectStatus& status);
};

// In menu order.
std::span<const CCommand> GetCommands();

// The toolbar's buttons in order; an empty entry is a separator.
std::span<const std::optional<CommandId>> GetToolbarButtons();

std::string_view StatusPrompt(const CCommand& command);
std::string_view ToolTip(const CCommand& command);
