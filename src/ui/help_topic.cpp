#include "ui/help_topic.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QUrl>

QString HelpTopicPage(HelpTopic topic) {
    switch (topic) {
        case HelpTopic::Index:
            return "index.htm";
        case HelpTopic::Connection:
            return "Program Options/Connection.htm";
        case HelpTopic::ProxyServer:
            return "Program Options/Proxy Server.htm";
        case HelpTopic::General:
            return "Project Properties/General.htm";
        case HelpTopic::Links:
            return "Project Properties/Links.htm";
        case HelpTopic::Filters:
            return "Project Properties/Filters.htm";
    }
    return "index.htm";
}

namespace {

// Other viewers cannot be told a topic, so without xCHM the HTML page is the
// better choice.
bool ShowInChmViewer(const QDir& programDir, HelpTopic topic) {
    const QString chm = programDir.filePath("Tarnwick.chm");
    const QString viewer = QStandardPaths::findExecutable("xchm");
    if (!QFileInfo::exists(chm) || viewer.isEmpty()) {
        return false;
    }
    return QProcess::startDetached(viewer, {ChmViewerLocation(chm, topic)});
}

}  // namespace

QString ChmViewerLocation(const QString& chmPath, HelpTopic topic) {
    // xCHM opens a page only from its own location form; a plain path with
    // "#xchm:/" appended is taken for the file's own name.
    return "file:" + chmPath + "#xchm:/" + HelpTopicPage(topic);
}

void ShowHelpTopic(HelpTopic topic) {
    const QDir programDir(QCoreApplication::applicationDirPath());
    if (ShowInChmViewer(programDir, topic)) {
        return;
    }
    const QString html = programDir.filePath("help/" + HelpTopicPage(topic));
    if (QFileInfo::exists(html)) {
        QDesktopServices::openUrl(QUrl::fromLocalFile(html));
    }
}
