// SPDX-License-Identifier: GPL-3.0-or-later
// vorlane-gif-cli: the editor's GIF codec without a window, for batch work and for
// checking the codec against other tools.

#include <cstdio>
#include <cstring>

#include <QCoreApplication>
#include <QStringList>

#include "cli/Commands.h"

namespace {

const char* const usageText =
    "Usage: vorlane-gif-cli COMMAND ARGUMENTS\n"
    "\n"
    "Commands:\n"
    "  info FILE                  describe a GIF: screen, loop count, comment, frames\n"
    "  unoptimize IN OUT          write every frame as the full picture shown at it\n"
    "  optimize IN OUT            unoptimize, then write an optimised copy (crop, merge,\n"
    "                             clean-up, colour tables; colours are kept)\n"
    "  frames IN DIR              write the picture shown at every frame as DIR/000.png, ...\n"
    "  quantize PICTURE OUT.gif   reduce a picture to 256 colours (nearest colour) and\n"
    "                             write it as a one-frame GIF\n"
    "  resave IN OUT              read and write a GIF unchanged (times the codec alone)\n"
    "  --help                     show this text\n"
    "\n"
    "Exit status: 0 on success, 1 when reading or writing failed, 2 on a usage error.\n"
    "Outputs are written to a temporary name and renamed, so a failure never leaves a\n"
    "partly written file.\n";

int usageError(const char* message) {
    std::fprintf(stderr, "vorlane-gif-cli: %s\n\n%s", message, usageText);
    return vorlane::cli::ExitUsage;
}

struct Command {
    const char* name;
    int arguments;
    int (*run)(const QStringList& args);
};

const Command commands[] = {
    {"info", 1, [](const QStringList& a) { return vorlane::cli::info(a[0], stdout); }},
    {"unoptimize", 2, [](const QStringList& a) { return vorlane::cli::unoptimize(a[0], a[1]); }},
    {"optimize", 2, [](const QStringList& a) { return vorlane::cli::optimize(a[0], a[1]); }},
    {"frames", 2, [](const QStringList& a) { return vorlane::cli::frames(a[0], a[1]); }},
    {"quantize", 2, [](const QStringList& a) { return vorlane::cli::quantize(a[0], a[1]); }},
    {"resave", 2, [](const QStringList& a) { return vorlane::cli::resave(a[0], a[1]); }},
};

} // namespace

int main(int argc, char** argv) {
    // A core application is enough: reading and writing pictures needs Qt's image
    // plugins but no display.
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("vorlane-gif-cli"));

    if (argc < 2) return usageError("no command given");
    const char* name = argv[1];
    if (std::strcmp(name, "--help") == 0 || std::strcmp(name, "-h") == 0 ||
        std::strcmp(name, "help") == 0) {
        std::fputs(usageText, stdout);
        return vorlane::cli::ExitOk;
    }

    for (const Command& command : commands) {
        if (std::strcmp(name, command.name) != 0) continue;
        if (argc - 2 != command.arguments) {
            std::fprintf(stderr, "vorlane-gif-cli: %s takes %d argument%s\n\n%s", command.name,
                         command.arguments, command.arguments == 1 ? "" : "s", usageText);
            return vorlane::cli::ExitUsage;
        }
        // Arguments are taken from the application, which decodes them from the
        // locale's encoding.
        const QStringList args = QCoreApplication::arguments().mid(2);
        return command.run(args);
    }
    std::fprintf(stderr, "vorlane-gif-cli: unknown command \"%s\"\n\n%s", name, usageText);
    return vorlane::cli::ExitUsage;
}
