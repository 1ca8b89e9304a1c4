// tarnwick: the desktop front end over the crawl engine.
#include <QApplication>

#include "ui/quillmoor_app.h"

int main(int argc, char* argv[]) {
    QApplication qt(argc, argv);
    QApplication::setApplicationName("Tarnwick");
    CQuillmoorApp app;
    QStringList arguments = QApplication::arguments();
    arguments.removeFirst();
    const int status =
        app.InitInstance(arguments) ? QApplication::exec() : app.GetStartFailureStatus();
    app.ExitInstance();
    return status;
}
