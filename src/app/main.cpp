// The editor: builds the platform services, creates the main window and runs the
// start-up sequence.

#include <QApplication>

#include "mainwindow/MainWindow.h"
#include "platform/QtClipboard.h"
#include "platform/QtClock.h"
#include "platform/QtSettingsStore.h"
#include "platform/QtShell.h"
#include "platform/widgets/QtFileDialogs.h"
#include "platform/widgets/QtPrompts.h"

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    app.setApplicationName(vorlane::Document::AppTitle);
    app.setApplicationDisplayName(vorlane::Document::AppTitle);

    vorlane::QtSettingsStore settings;
    vorlane::QtPrompts prompts;
    vorlane::QtFileDialogs fileDialogs;
    vorlane::QtClipboard clipboard;
    vorlane::QtShell shell;
    vorlane::QtClock clock;
    const vorlane::Platform platform{&settings, &prompts, &fileDialogs, &clipboard, &shell, &clock};

    // The main window; message boxes and file dialogs open over it.
    vorlane::TMainform window(platform);
    prompts.setParent(&window);
    fileDialogs.setParent(&window);
    window.show();
    window.activateWindow(); // where no window manager gives it the focus
    window.repaint();

    // The splash window, the welcome, how-to and wizard dialogs join the sequence through
    // these hooks; until they exist their steps are skipped.
    vorlane::StartupDialogs dialogs;
    QStringList arguments = app.arguments();
    arguments.removeFirst();
    window.startUp(arguments, dialogs);
    return app.exec();
}
