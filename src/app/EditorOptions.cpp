// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/EditorOptions.h"

#include <QCommandLineOption>
#include <QCommandLineParser>

#include "BuildInfo.h"

namespace vorlane {

namespace {
const QCommandLineOption HelpOption(QStringList{QStringLiteral("h"), QStringLiteral("help")});
const QCommandLineOption VersionOption(QStringList{QStringLiteral("v"), QStringLiteral("version")});

// Help and version win over everything else on the line, also over an unknown option,
// as users expect of `--help`.
EditorOptions read(const QStringList& arguments, bool strict) {
    QCommandLineParser parser;
    parser.addOption(HelpOption);
    parser.addOption(VersionOption);
    parser.addPositionalArgument(QStringLiteral("files"), {}, QStringLiteral("[FILE...]"));
    const bool parsed = parser.parse(arguments);
    EditorOptions options;
    if (parser.isSet(HelpOption)) {
        options.action = EditorOptions::Action::ShowHelp;
    } else if (parser.isSet(VersionOption)) {
        options.action = EditorOptions::Action::ShowVersion;
    } else if (!parsed && strict) {
        options.action = EditorOptions::Action::Error;
        options.error = parser.errorText();
    } else {
        options.files = parser.positionalArguments();
    }
    return options;
}
} // namespace

EditorOptions EditorOptions::parse(const QStringList& arguments) {
    return read(arguments, true);
}

bool EditorOptions::asksForTextOnly(const QStringList& arguments) {
    const Action action = read(arguments, false).action;
    return action == Action::ShowHelp || action == Action::ShowVersion;
}

QString EditorOptions::helpText() {
    return QStringLiteral(
        "Usage: vorlane-gif [FILE...]\n"
        "Edit animated GIF images.\n"
        "\n"
        "  FILE              one GIF file (also .vlgf) is opened; one picture of another\n"
        "                    format, or several files, make a new animation of their\n"
        "                    pictures in the order given (0.6 s each, repeated\n"
        "                    indefinitely)\n"
        "  -h, --help        show this text and exit\n"
        "  -v, --version     show the version and exit\n"
        "\n"
        "Without a file the welcome dialog offers a new animation, the wizard and the\n"
        "recent files. See also vorlane-gif-cli --help for the command-line tool.\n");
}

QString EditorOptions::versionText() {
    return QStringLiteral("vorlane-gif ") + QLatin1String(build::Version) + QLatin1Char('\n');
}

} // namespace vorlane
