// SPDX-License-Identifier: GPL-3.0-or-later
// The editor: builds the platform services, shows the splash window while the main window
// and its dialogs are made, then runs the start-up sequence.

#include <memory>

#include "dialogs/GuidanceDialogs.h"
#include "dialogs/SplashScreen.h"
#include "mainwindow/Application.h"
#include "mainwindow/MainWindow.h"
#include "platform/QtClipboard.h"
#include "platform/QtClock.h"
#include "platform/QtSettingsStore.h"
#include "platform/QtShell.h"
#include "platform/widgets/QtFileDialogs.h"
#include "platform/Prompts.h"
#include "platform/widgets/QtPrompts.h"

int main(int argc, char* argv[]) {
    vorlane::Application app(argc, argv);

    // The splash window stands while everything else is made.
    auto splash = std::make_unique<vorlane::TSplashForm>();
    splash->showNow();

    vorlane::QtSettingsStore settings;
    vorlane::QtPrompts prompts;
    vorlane::QtFileDialogs fileDialogs;
    vorlane::QtClipboard clipboard;
    vorlane::QtShell shell;
    vorlane::QtClock clock;
    const vorlane::Platform platform{&settings, &prompts, &fileDialogs, &clipboard, &shell, &clock};

    // The main window; message boxes and file dialogs open over it. The guidance dialogs
    // are made once, as its children, and connect its Help menu and "Options...".
    vorlane::TMainform window(platform);
    prompts.setParent(&window);
    app.setErrorReporter([&prompts](const QString& message) {
        prompts.tell(vorlane::Prompts::Icon::Error, message);
    });
    fileDialogs.setParent(&window);
    auto* guidance = new vorlane::GuidanceDialogs(window, platform);
    window.show();
    window.activateWindow(); // where no window manager gives it the focus
    window.repaint();

    splash.reset();
    window.repaint();

    QStringList arguments = app.arguments();
    arguments.removeFirst();
    window.startUp(arguments, guidance->startupDialogs());
    return app.exec();
}
