// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Reader limits for fuzzing: far below the defaults, so that one input never costs more
// than a few milliseconds and a few megabytes even when every frame is composed. What the
// limits guard is the same code either way; only the thresholds differ.

#include "codec/GifReader.h"

namespace vorlane::fuzz {

inline gif::ReadLimits fuzzLimits() {
    gif::ReadLimits limits;
    limits.maxFileBytes = 1 << 20;
    limits.maxScreenPixels = 1 << 20;
    limits.maxFrames = 512;
    limits.maxTotalPixels = 1 << 22;
    limits.maxComposedPixels = 1 << 23;
    limits.maxRecords = 4096;
    limits.maxRecordBlocks = 1 << 16;
    // The screen limit is 1/256 of the default; the slack and the fill limit shrink with
    // it, so that the memory budget's ratio is what holds (HeapBudget.h).
    limits.maxFilledPixels = 1 << 18;
    // Above what the limits before allow, so that they decide; fixed, so that a finding
    // does not depend on the memory free at the time.
    limits.maxHeldBytes = uint64_t(1) << 26;
    limits.budgetSlackBytes = 1 << 18;
    return limits;
}

} // namespace vorlane::fuzz
