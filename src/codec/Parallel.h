// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Loops over independent items (frames, bands of rows) on several threads. The codec's
// work on a file splits this way: frames' image data can be decoded and coded apart once
// their positions are known, and colour work on one frame needs no other.

#include <cstddef>
#include <cstdint>
#include <functional>

namespace vorlane::gif {

// Threads a loop may use: the processors this process may run on (so that `taskset`
// and container limits are honoured), at most 8.
unsigned workerCount();

// Work on fewer pixels than this runs on the calling thread alone: starting threads would
// cost more than they save, and each thread's own working memory (an LZW table, a row of
// a picture) would weigh on a small file.
inline constexpr uint64_t ThreadedPixels = uint64_t(1) << 18;

// The threads for work on `pixels` pixels: workerCount(), or 1 for small work.
unsigned threadsFor(uint64_t pixels);

// Calls work(k) for every k in [0, count), on up to `threads` threads, this one among
// them; items are handed out in increasing order, so early items finish first.
// `report(done)` is called on this thread only, after each item this thread finishes,
// with the number of items done in all; it may throw to stop the loop (a cancelled
// job). When work or report throws, no item starts any more, the items under way
// finish, and the first exception is thrown here once every thread has stopped. work
// must not touch state another item touches.
void parallelFor(size_t count, const std::function<void(size_t item)>& work,
                 const std::function<void(size_t done)>& report = {},
                 unsigned threads = workerCount());

} // namespace vorlane::gif
