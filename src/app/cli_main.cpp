// SPDX-License-Identifier: GPL-3.0-or-later
// vorlane-gif-cli: the editor's GIF codec without a window, for batch work and for
// checking the codec against other tools.

#include <cstdio>
#include <cstring>

#include <QCoreApplication>
#include <QStringList>

#include "cli/Commands.h"
#include "cli/ExportCommand.h"
#include "cli/Operations.h"

namespace {

const char* const usageText =
    "Usage: vorlane-gif-cli [--strict] COMMAND ARGUMENTS\n"
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
    "  edit IN OUT OPERATION...   open IN as the editor does, apply the operations in\n"
    "                             order, and save OUT as the editor does\n"
    "  export IN OUT [OPTION...]  write the animation IN shows (a GIF, animated WebP or\n"
    "                             APNG) as OUT; OUT's extension picks the format: .gif,\n"
    "                             .webp, .png or .apng\n"
    "  --help                     show this text\n"
    "\n"
    "Operations of edit (a value may also follow \"=\", as in --rotate=90):\n"
    "  --resize WxH               resize to W x H pixels; a 0 keeps the aspect (200x0)\n"
    "  --scale PERCENT            resize both sides by PERCENT (50: half size)\n"
    "  --filter NAME              how every resize resamples: auto (area averaging when\n"
    "                             shrinking, bicubic when growing; the default),\n"
    "                             nearest (pixel art: no new colours), area, bicubic,\n"
    "                             lanczos\n"
    "  --crop X,Y,WxH             keep the W x H rectangle at X,Y\n"
    "  --autocrop                 crop to the smallest rectangle any frame draws in\n"
    "  --rotate 90|180|270        turn clockwise\n"
    "  --flip h|v                 mirror: h swaps left and right, v top and bottom\n"
    "  --reverse                  play the frames backwards\n"
    "  --yoyo                     the frames, then back again (0 1 2 3 2 1)\n"
    "  --keep-every N             keep frames 0, N, 2N, ...; each kept frame lasts as\n"
    "                             long as the frames it stands for\n"
    "  --dedupe                   drop each frame showing what the one before shows,\n"
    "                             adding its delay to that one\n"
    "  --speed PERCENT            play at PERCENT of the speed (200: twice as fast);\n"
    "                             delays are rounded half up, never below 2 hundredths\n"
    "                             (delays of 0 and 1 stay as they are)\n"
    "  --delay CS                 set every delay to CS hundredths of a second\n"
    "\n"
    "Options of export (a value may also follow \"=\"):\n"
    "  --colors N                 GIF: at most N colours a table (2..256, default 256);\n"
    "                             frames whose colours fit keep them exactly\n"
    "  --palette frame|global     GIF: a table for each frame (default) or one for all\n"
    "  --dither none|fs|ordered   GIF: how colours are reduced where they must be: nearest\n"
    "                             colour, Floyd-Steinberg (default) or ordered\n"
    "  --lossy N                  GIF: lossy LZW coding up to level N (0..200, default 0:\n"
    "                             exact); higher levels make smaller files\n"
    "  --quality Q                WebP: lossy at quality Q (0..100); without it lossless\n"
    "  --max-bytes N              at most N bytes: GIF raises the lossiness, then lowers\n"
    "                             the colours; WebP lowers the quality; APNG (always\n"
    "                             lossless) fails when larger. The choice is noted on\n"
    "                             standard error\n"
    "GIF is written with the optimised save's optimisation. WebP and APNG keep every frame\n"
    "and delay; delays of 0 and 1 hundredths are written as 100 ms, as browsers show them.\n"
    "\n"
    "Options (before or after the command):\n"
    "  --strict                   fail when the reader had to repair or ignore anything\n"
    "                             in an input (a cut file, bytes after the end, ...)\n"
    "\n"
    "edit writes the loop setting and comment of IN's first frame on OUT's first frame;\n"
    "a file without a loop setting is saved to repeat indefinitely (with a note on\n"
    "standard error), as the editor saves it.\n"
    "Every problem the reader repaired or ignored is written to standard error as\n"
    "\"warning: FILE: MESSAGE\"; without --strict the command goes on.\n"
    "frames also removes the numbered pictures (NNN.png) that an earlier run left in DIR\n"
    "beyond this run's frames; other files there stay.\n"
    "\n"
    "Exit status: 0 on success, 1 when reading or writing failed (or a warning with\n"
    "--strict), 2 on a usage error. Outputs are written to a temporary name and renamed,\n"
    "so a failure never leaves a partly written file or a damaged earlier one; an output\n"
    "that is a pipe or a device is written into, never replaced.\n";

int usageError(const char* message) {
    std::fprintf(stderr, "vorlane-gif-cli: %s\n\n%s", message, usageText);
    return vorlane::cli::ExitUsage;
}

struct Command {
    const char* name;
    int arguments;
    int (*run)(const QStringList& args, const vorlane::cli::Options& options);
};

using vorlane::cli::Options;
const Command commands[] = {
    {"info", 1,
     [](const QStringList& a, const Options& o) { return vorlane::cli::info(a[0], stdout, o); }},
    {"unoptimize", 2,
     [](const QStringList& a, const Options& o) { return vorlane::cli::unoptimize(a[0], a[1], o); }},
    {"optimize", 2,
     [](const QStringList& a, const Options& o) { return vorlane::cli::optimize(a[0], a[1], o); }},
    {"frames", 2,
     [](const QStringList& a, const Options& o) { return vorlane::cli::frames(a[0], a[1], o); }},
    {"quantize", 2,
     [](const QStringList& a, const Options&) { return vorlane::cli::quantize(a[0], a[1]); }},
    {"resave", 2,
     [](const QStringList& a, const Options& o) { return vorlane::cli::resave(a[0], a[1], o); }},
};

} // namespace

int main(int argc, char** argv) {
    // A core application is enough: reading and writing pictures needs Qt's image
    // plugins but no display.
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("vorlane-gif-cli"));

    // Arguments are taken from the application, which decodes them from the locale's
    // encoding; options may stand anywhere.
    QStringList args = QCoreApplication::arguments().mid(1);
    Options options;
    options.strict = args.removeAll(QStringLiteral("--strict")) > 0;

    if (args.isEmpty()) return usageError("no command given");
    const QString name = args.takeFirst();
    if (name == QLatin1String("--help") || name == QLatin1String("-h") ||
        name == QLatin1String("help")) {
        std::fputs(usageText, stdout);
        return vorlane::cli::ExitOk;
    }

    if (name == QLatin1String("edit")) {
        if (args.size() < 3) {
            std::fprintf(stderr,
                         "vorlane-gif-cli: edit takes IN, OUT and at least one "
                         "operation\n\n%s",
                         usageText);
            return vorlane::cli::ExitUsage;
        }
        QString error;
        const auto operations = vorlane::cli::parseOperations(args.mid(2), error);
        if (!operations) {
            std::fprintf(stderr, "vorlane-gif-cli: edit: %s\n\n%s", qUtf8Printable(error),
                         usageText);
            return vorlane::cli::ExitUsage;
        }
        return vorlane::cli::edit(args[0], args[1], *operations, options);
    }

    if (name == QLatin1String("export")) {
        if (args.size() < 2) {
            std::fprintf(stderr, "vorlane-gif-cli: export takes IN and OUT\n\n%s", usageText);
            return vorlane::cli::ExitUsage;
        }
        QString error;
        const auto settings = vorlane::cli::parseExportOptions(args[1], args.mid(2), error);
        if (!settings) {
            std::fprintf(stderr, "vorlane-gif-cli: export: %s\n\n%s", qUtf8Printable(error),
                         usageText);
            return vorlane::cli::ExitUsage;
        }
        return vorlane::cli::exportFile(args[0], args[1], *settings, options);
    }

    for (const Command& command : commands) {
        if (name != QLatin1String(command.name)) continue;
        if (args.size() != command.arguments) {
            std::fprintf(stderr, "vorlane-gif-cli: %s takes %d argument%s\n\n%s", command.name,
                         command.arguments, command.arguments == 1 ? "" : "s", usageText);
            return vorlane::cli::ExitUsage;
        }
        return command.run(args, options);
    }
    std::fprintf(stderr, "vorlane-gif-cli: unknown command \"%s\"\n\n%s", qUtf8Printable(name),
                 usageText);
    return vorlane::cli::ExitUsage;
}
