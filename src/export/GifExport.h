// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The GIF export in two steps: prepare (every shown picture quantized to its table, then
// optimised as the optimised save does) and write (exactly, or with lossy LZW coding).
// The fit-under search prepares once per colour count and writes once per lossiness.

#include <vector>

#include "codec/GifImage.h"
#include "export/ExportSettings.h"
#include "export/ShownAnimation.h"
#include "tools/ToolContext.h"

namespace vorlane::exporting {

// A progress range within a longer job: reports from..to as the step goes 0..100.
struct Steps {
    const tools::ToolContext* context = nullptr;
    int from = 0;
    int to = 100;

    void report(int percent) const;
    // Throws tools::Cancelled when the job was cancelled.
    void check() const;
    Steps part(int partFrom, int partTo) const;
};

// Full-screen frames at (0, 0), each with the picture shown at that frame in at most
// `settings.colors` colours, the frame's delay, and disposals that make each frame show
// exactly its picture; the loop record of the source. Optimised when
// `settings.optimize`. Throws tools::Cancelled, gif::GifError.
gif::GifImage prepareGif(ShownAnimation& shown, const ExportSettings& settings, const Steps& steps);

// The prepared image as a file, lossy at `lossy` (0: every pixel as prepared). With
// `frameEnds`, the file's size after each frame.
gif::Bytes writePreparedGif(const gif::GifImage& prepared, int lossy, const Steps& steps,
                            std::vector<size_t>* frameEnds = nullptr);

} // namespace vorlane::exporting
