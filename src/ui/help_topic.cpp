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

// xCHM takes a page inside the file after "#xchm:/"; other viewers cannot be
// told a topic, so the HTML page is the better choice without it.
bool ShowInChmViewer(const QDir& programDir, const QString& page) {
    const QString chm = programDir.filePath("Tarnwick.chm");
    const QString viewer = QStandardPaths::findExecutable("xchm");
    if (!QFileInfo::exists(chm) || viewer.isEmpty()) {
        return false;
    }
    return QProcess::startDetached(viewer, {chm + "#xchm:/" + page});
}

}  // namespace

void ShowHelpTopic(HelpTopic topic) {
    const QDir programDir(QCoreApplication::applicationDirPath());
    const QString page = HelpTopicPage(topic);
    if (ShowInChmViewer(programDir, page)) {
        return;
    }
    const QString html = programDir.filePath("help/" + page);
    if (QFileInfo::exists(html)) {
        QDesktopServices::openUrl(QUrl::fromLocalFile(html));
    }
}
