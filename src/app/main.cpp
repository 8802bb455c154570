// SPDX-License-Identifier: GPL-3.0-or-later
// The editor: answers --help and --version, builds the platform services, shows the
// splash window while the main window and its dialogs are made, then runs the start-up
// sequence with the files named on the command line.

#include <cstdio>
#include <memory>

#include "BuildInfo.h"
#include "app/EditorOptions.h"
#include "dialogs/GuidanceDialogs.h"
#include "dialogs/SplashScreen.h"
#include "document/DesktopRecent.h"
#include "document/Recovery.h"
#include "mainwindow/Application.h"
#include "mainwindow/MainWindow.h"
#include "platform/QtClipboard.h"
#include "platform/QtClock.h"
#include "platform/QtSettingsStore.h"
#include "platform/QtShell.h"
#include "platform/XbelRecentDocuments.h"
#include "platform/widgets/QtFileDialogs.h"
#include "platform/Prompts.h"
#include "platform/widgets/QtPrompts.h"

namespace {
int printText(const vorlane::EditorOptions& options) {
    const QString text = options.action == vorlane::EditorOptions::Action::ShowHelp
                             ? vorlane::EditorOptions::helpText()
                             : vorlane::EditorOptions::versionText();
    std::fputs(text.toLocal8Bit().constData(), stdout);
    return 0;
}
} // namespace

int main(int argc, char* argv[]) {
    // --help and --version need no display, so they are answered before the window
    // system is reached (a package's install check runs `vorlane-gif --version` headless).
    {
        QStringList raw;
        for (int i = 0; i < argc; ++i)
            raw << QString::fromLocal8Bit(argv[i]);
        if (vorlane::EditorOptions::asksForTextOnly(raw))
            return printText(vorlane::EditorOptions::parse(raw));
    }

    vorlane::Application app(argc, argv);
    app.setApplicationVersion(QLatin1String(vorlane::build::Version));
    // The desktop matches the windows to the desktop entry (icon, name) by this.
    QGuiApplication::setDesktopFileName(QLatin1String(vorlane::build::AppId));

    // Qt's own options are gone from the arguments by now.
    const vorlane::EditorOptions options = vorlane::EditorOptions::parse(app.arguments());
    if (options.action == vorlane::EditorOptions::Action::Error) {
        std::fprintf(stderr, "vorlane-gif: %s\n\n%s", qPrintable(options.error),
                     qPrintable(vorlane::EditorOptions::helpText()));
        return 1;
    }

    // The splash window stands while everything else is made.
    auto splash = std::make_unique<vorlane::TSplashForm>();
    splash->showNow();

    vorlane::QtSettingsStore settings;
    vorlane::QtPrompts prompts;
    vorlane::QtFileDialogs fileDialogs;
    vorlane::QtClipboard clipboard;
    vorlane::QtShell shell;
    vorlane::QtClock clock;
    // The desktop's list of recently used files (it outlives the window that tells it).
    vorlane::XbelRecentDocuments desktopRecent;
    const vorlane::Platform platform{&settings, &prompts, &fileDialogs, &clipboard, &shell, &clock,
                                     true};

    // The main window; message boxes and file dialogs open over it. The guidance dialogs
    // are made once, as its children, and connect its Help menu and "Options...".
    vorlane::TMainform window(platform);
    prompts.setParent(&window);
    app.setErrorReporter([&prompts](const QString& message) {
        prompts.tell(vorlane::Prompts::Icon::Error, message);
    });
    fileDialogs.setParent(&window);
    auto* guidance = new vorlane::GuidanceDialogs(window, platform);
    vorlane::tellDesktopOfRecentFiles(window.recentFiles(), desktopRecent);
    // Copies of unsaved work go to the user's data folder (tests give their own).
    window.setRecoveryFolder(vorlane::RecoveryStore::standardFolder());
    window.show();
    window.activateWindow(); // where no window manager gives it the focus
    window.repaint();

    splash.reset();
    window.repaint();

    window.startUp(options.files, guidance->startupDialogs());
    return app.exec();
}
