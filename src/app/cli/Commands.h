// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The commands of the command-line tool. Each returns the process exit status: 0 on
// success, 1 when the work failed (the reason is written to standard error first).
// Outputs are written whole or not at all, through writeFileSafely (codec/SafeFile.h):
// a failure keeps an existing file as it was, and a pipe or device given as the output
// is written into, never replaced. Every problem the reader repaired or ignored in an
// input is written to standard error as "warning: FILE: MESSAGE".

#include <cstdio>
#include <vector>

#include <QString>

#include "tools/Operation.h"

namespace vorlane::cli {

// Exit statuses.
inline constexpr int ExitOk = 0;
inline constexpr int ExitFailure = 1;
inline constexpr int ExitUsage = 2;

// What applies to every command.
struct Options {
    // A warning about an input fails the command (status 1) before anything is written.
    bool strict = false;
};

// Writes a stable, line-oriented description of the GIF to `out`, ending with the
// problems the reader repaired or ignored ("warning ..." lines).
int info(const QString& path, std::FILE* out, const Options& options = {});
// Reads, replaces every frame by the full picture shown at it, writes.
int unoptimize(const QString& in, const QString& out, const Options& options = {});
// Reads, unoptimizes, optimizes with crop, merge, clean-up and colour tables, writes.
int optimize(const QString& in, const QString& out, const Options& options = {});
// Writes the picture shown at every frame as DIR/000.png, DIR/001.png, ..., then
// removes the numbered pictures (NNN.png, three digits or more) that an earlier run left
// in DIR and this run did not write.
int frames(const QString& in, const QString& dir, const Options& options = {});
// Reduces a picture to 256 colours (nearest colour) and writes a one-frame GIF.
int quantize(const QString& picture, const QString& out);
// Reads and writes the GIF unchanged (for timing the reader and writer alone).
int resave(const QString& in, const QString& out, const Options& options = {});
// Reads IN as the editor opens it (every frame the full picture shown at it), applies
// the operations in order, and writes OUT as the editor's Save does: the loop record of
// the first frame first (one saying "repeat indefinitely" when the file had none, with a
// note on standard error), its comments after its other records, a graphic control
// record on every frame. A tool refusing its parameters fails the command, naming IN
// and the operation.
int edit(const QString& in, const QString& out, const std::vector<tools::Operation>& operations,
         const Options& options = {});

// The file name of frame `index` among `count` frames: three digits at least, more when
// the last index needs them.
QString frameFileName(size_t index, size_t count);

} // namespace vorlane::cli
