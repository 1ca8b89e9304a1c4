// Keeps every dialog at least as wide as its window title needs, so that the
// window manager does not cut the caption short ("Proj…mary"). Installed on
// the application, it reaches message boxes and file dialogs as well as the
// program's own dialogs and property sheets.
#pragma once

#include <QObject>
#include <QString>

class QDialog;

class CDialogTitleFitter : public QObject {
    Q_OBJECT
public:
    // Watches every widget of the running application until destroyed.
    CDialogTitleFitter();
    ~CDialogTitleFitter() override;

    // The width a window needs to show the whole title in its title bar: the
    // text in a bold title font beside the room for the window's icon and
    // its minimise, maximise and close buttons.
    static int TitleBarWidth(const QString& title);
    // Reserves that width in the dialog's layout, which decides its size.
    static void FitToTitle(QDialog& dialog);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
};
