// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The editor's command line: `--help`, `--version` and the files to open. Qt's own
// options (-platform, -style, ...) are taken out by QApplication before these are read.

#include <QString>
#include <QStringList>

namespace vorlane {

struct EditorOptions {
    enum class Action { Run, ShowHelp, ShowVersion, Error };
    Action action = Action::Run;
    // The files named, in the order given.
    QStringList files;
    // With Error: what was wrong, in one line.
    QString error;

    // `arguments` as QCoreApplication::arguments() gives them, the program first.
    static EditorOptions parse(const QStringList& arguments);
    // Whether `arguments` ask for --help or --version, which are answered before any
    // window system is reached (so they work without a display).
    static bool asksForTextOnly(const QStringList& arguments);

    static QString helpText();
    static QString versionText();
};

} // namespace vorlane
