// tarnwick: the desktop front end over the crawl engine.
#include <QApplication>

#include "ui/quillmoor_app.h"

int main(int argc, char* argv[]) {
    QApplication qt(argc, argv);
    QApplication::setApplicationName("Tarnwick");
    CQuillmoorApp app;
    QStringList arguments = QApplication::arguments();
    arguments.removeFirst();
    int status = 1;
    if (app.InitInstance(arguments)) {
        status = QApplication::exec();
    }
    app.ExitInstance();
    return status;
}
