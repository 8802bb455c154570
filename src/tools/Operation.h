// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Every tool as one value with its parameters, for the callers that treat them alike:
// the command line applies a list of them in order, and the editor's dialogs show the
// outcome of one before it runs (predict) and then run it (run) as one undo step.

#include <variant>

#include <QRect>
#include <QSize>

#include "codec/GifImage.h"
#include "tools/Geometry.h"
#include "tools/Resize.h"
#include "tools/Timing.h"
#include "tools/ToolContext.h"

namespace vorlane::tools {

namespace op {
// To width x height; see resizedSize for 0 and keepAspect.
struct Resize {
    int width = 0;
    int height = 0;
    bool keepAspect = false;
    ResizeFilter filter = ResizeFilter::Auto;
};
struct Scale {
    double percent = 100;
    ResizeFilter filter = ResizeFilter::Auto;
};
struct Crop {
    QRect rect;
};
struct AutoCrop {};
struct Rotate {
    Rotation rotation = Rotation::Quarter;
};
struct Flip {
    FlipDirection direction = FlipDirection::Horizontal;
};
struct Reverse {
    FrameSet frames;
};
struct Yoyo {};
struct KeepEvery {
    int n = 2;
    FrameSet frames;
};
struct Dedupe {
    FrameSet frames;
};
struct Speed {
    int percent = 100;
    FrameSet frames;
};
struct Delay {
    int delay = 10;
    FrameSet frames;
};
} // namespace op

using Operation =
    std::variant<op::Resize, op::Scale, op::Crop, op::AutoCrop, op::Rotate, op::Flip, op::Reverse,
                 op::Yoyo, op::KeepEvery, op::Dedupe, op::Speed, op::Delay>;

// Runs the tool: a new image; the source stays as it is. Throws Cancelled on a cancel
// and GifError on parameters that do not fit the animation.
gif::GifImage run(const gif::GifImage& source, const Operation& operation,
                  const ToolContext& context = {});

// What run would make, without making it: the logical screen and the number of
// frames. Auto-crop and de-duplicate read the frames' pixels for it (as fast as the
// tool's own first pass); the others only look at the parameters. Throws GifError where
// run would for the parameters.
struct Outcome {
    QSize screen;
    size_t frames = 0;
    friend bool operator==(const Outcome&, const Outcome&) = default;
};
Outcome predict(const gif::GifImage& source, const Operation& operation,
                const ToolContext& context = {});

} // namespace vorlane::tools
