// The help file's fixed topics, opened from the Help menu and from the Help
// button of every property page.
#pragma once

#include <QString>

// The maker's pages that the Help menu opens in the browser.
inline constexpr const char* kHomePageUrl = "https://tarnwick.org/";
inline constexpr const char* kDownloadPageUrl = "https://tarnwick.org/download/";

enum class HelpTopic { Index, Connection, ProxyServer, General, Links, Filters };

// The topic's page inside the help file, e.g. "Program Options/Connection.htm".
QString HelpTopicPage(HelpTopic topic);

// What xCHM is given to open the topic inside the help file at chmPath.
QString ChmViewerLocation(const QString& chmPath, HelpTopic topic);

// Shows the topic of "Tarnwick.chm" beside the program in a CHM viewer that
// can open a topic, otherwise the topic's page from the "help" folder beside
// the program in the default browser. Does nothing when neither exists.
void ShowHelpTopic(HelpTopic topic);
