// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Animations made in memory and files written and read back, shared by the document,
// window and command-line tests.

#include <cstdint>
#include <memory>
#include <string>

#include <QByteArray>
#include <QString>

#include "codec/GifImage.h"
#include "support/GifBuilder.h"

namespace vorlane::test {

// The records that makeAnimation gives its frames.
struct AnimationRecords {
    int loops = -1;       // a loop record with this count heads frame 0; none when negative
    std::string comment;  // a comment record on frame 0; none when empty
    bool controls = true; // a graphic control record on every frame
};

// An animation of `frames` solid frames of w x h, frame i in colour index i % 4 of a
// four-colour global table (red, green, blue, white); frame i's graphic control record
// has delay 10 * (i + 1) and disposal 1.
std::unique_ptr<gif::GifImage> makeAnimation(int frames, uint16_t w = 8, uint16_t h = 6,
                                             const AnimationRecords& records = {});

// Writes bytes to a file, failing the running test when it cannot; returns the file name.
QString writeFile(const QString& fileName, const Bytes& bytes);
// The file's content; empty when it cannot be read.
QByteArray readFile(const QString& fileName);

} // namespace vorlane::test
