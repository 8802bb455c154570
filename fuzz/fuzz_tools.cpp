// SPDX-License-Identifier: GPL-3.0-or-later
// Fuzz target: the animation tools on whatever the reader accepts. The last byte of the
// input picks the tool and whether it gets the frames as read or as opening makes them
// (each the picture shown at it); the byte before it picks the parameters. Every tool
// must either refuse with a GifError (and then its dry run must refuse too) or make an
// image of the size and frame count its dry run said, which saves and reads back; the
// tools that only move pixels or frames, done again the other way (turned back, flipped
// again, reversed again), must show what the source shows wherever its pictures fit in
// one table. Anything else (a crash, a sanitizer report, another exception) is a
// finding.

#include <cstdio>
#include <cstdlib>
#include <span>

#include "FuzzChecks.h"
#include "FuzzLimits.h"
#include "codec/GifReader.h"
#include "codec/Unoptimize.h"
#include "tools/Operation.h"

using namespace vorlane::gif;
using namespace vorlane::tools;

namespace {

[[noreturn]] void finding(const char* what, size_t frame = 0) {
    std::fprintf(stderr, "fuzz_tools: %s (frame %zu)\n", what, frame);
    std::abort();
}

// Every third frame, or all.
FrameSet framesFrom(uint8_t param, size_t count) {
    if (!(param & 1)) return std::nullopt;
    std::vector<int> frames;
    for (size_t i = param % 3; i < count; i += 3)
        frames.push_back(int(i));
    return frames;
}

// The tool and its parameters, small enough to keep each input to milliseconds.
Operation pick(uint8_t choice, uint8_t param, const GifImage& image) {
    const int w = image.screenWidth;
    const int h = image.screenHeight;
    const auto filter = ResizeFilter((choice >> 4) % 5);
    switch (choice % 12) {
    case 0:
        return op::Resize{1 + param % 48, (param / 48) % 2 ? 0 : 1 + (param * 7) % 48,
                          bool(param & 0x80), filter};
    case 1:
        return op::Scale{10.0 + param % 91, filter};
    case 2: {
        const int x = w > 0 ? param % w : 0;
        const int y = h > 0 ? (param / 4) % h : 0;
        return op::Crop{
            QRect(x, y, 1 + (param * 3) % std::max(1, w), 1 + (param * 5) % std::max(1, h))};
    }
    case 3:
        return op::AutoCrop{};
    case 4:
        return op::Rotate{param % 3 == 0   ? Rotation::Quarter
                          : param % 3 == 1 ? Rotation::Half
                                           : Rotation::ThreeQuarters};
    case 5:
        return op::Flip{param & 1 ? FlipDirection::Horizontal : FlipDirection::Vertical};
    case 6:
        return op::Reverse{framesFrom(param, image.frameCount())};
    case 7:
        return op::Yoyo{};
    case 8:
        return op::KeepEvery{1 + (param >> 1) % 5, framesFrom(param, image.frameCount())};
    case 9:
        return op::Dedupe{framesFrom(param, image.frameCount())};
    case 10:
        return op::Speed{1 + param * 4, framesFrom(param, image.frameCount())};
    default:
        return op::Delay{param, framesFrom(param, image.frameCount())};
    }
}

// The operation that undoes `operation` as far as pictures go, if there is one.
std::optional<Operation> inverse(const Operation& operation) {
    if (const auto* r = std::get_if<op::Rotate>(&operation)) {
        if (r->rotation == Rotation::Half) return operation;
        return op::Rotate{r->rotation == Rotation::Quarter ? Rotation::ThreeQuarters
                                                           : Rotation::Quarter};
    }
    if (std::holds_alternative<op::Flip>(operation)) return operation;
    if (std::holds_alternative<op::Reverse>(operation)) return operation;
    return std::nullopt;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2) return 0;
    const uint8_t choice = data[size - 1];
    const uint8_t param = data[size - 2];
    GifImage read;
    try {
        readGif(read, std::span(data, size), vorlane::fuzz::fuzzLimits());
    } catch (const GifError&) {
        return 0;
    }
    GifImage opened;
    const bool asOpened = choice & 0x08;
    if (asOpened) {
        try {
            opened = unoptimize(read);
        } catch (const GifError&) {
            return 0; // a limit of the compositor; opening reports it
        }
    }
    const GifImage& source = asOpened ? opened : read;
    const Operation operation = pick(choice, param, source);

    std::optional<Outcome> predicted;
    try {
        predicted = predict(source, operation);
    } catch (const GifError&) {
    }
    GifImage result;
    try {
        result = run(source, operation);
    } catch (const GifError&) {
        if (predicted) finding("the tool refused what its dry run accepted");
        return 0;
    }
    if (!predicted) finding("the tool ran where its dry run refused");
    if (predicted->screen != QSize(result.screenWidth, result.screenHeight) ||
        predicted->frames != result.frameCount())
        finding("the tool made another size or frame count than its dry run said");

    if (result.frameCount() > 0) {
        try {
            GifImage back;
            // Read with the default limits: yo-yo may make more frames than the fuzzing
            // limits let in.
            readGif(back, result.saveToBytes(), ReadLimits{});
            if (back.frameCount() != result.frameCount()) finding("frames lost in saving");
        } catch (const GifError& e) {
            std::fprintf(stderr, "fuzz_tools: %s\n", e.what());
            finding("a tool's result could not be saved and read back");
        }
    }

    if (const std::optional<Operation> back = inverse(operation)) {
        const GifImage again = run(result, *back);
        size_t frame = 0;
        // Frames as opened are moved index by index; frames as read are composed first,
        // exactly where their pictures fit in one table.
        if (!vorlane::fuzz::sameShown(source, again, !asOpened, frame))
            finding("a tool done and undone changed what a frame shows", frame);
    }
    return 0;
}
