// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// What every animation tool takes besides its input and parameters: a progress callback
// and a cancellation check, so that the editor can run a tool on a worker thread, show
// its progress and stop it.

#include <atomic>
#include <exception>
#include <functional>
#include <optional>
#include <vector>

namespace vorlane::tools {

// Thrown by a tool whose cancellation check answered true. The tool's input is const
// and nothing else was changed, so the caller has nothing to undo. It is deliberately
// not a GifError: a cancelled tool is no failure to report.
class Cancelled : public std::exception {
public:
    const char* what() const noexcept override { return "Cancelled"; }
};

struct ToolContext {
    // Called with 0..100, rising, on the thread that called the tool (never on a helper
    // thread of the tool's own), at most once per percent.
    std::function<void(int percent)> progress;
    // Polled at least once per frame (a frame of 1920 x 1080 takes some milliseconds);
    // true makes the tool throw Cancelled. May be called from the tool's helper threads,
    // so it must be thread-safe (reading an atomic flag is).
    std::function<bool()> cancelled;

    // A context whose cancellation check reads `flag`; the flag must outlive the tool.
    static ToolContext watching(const std::atomic<bool>& flag,
                                std::function<void(int percent)> progress = {}) {
        ToolContext context;
        context.progress = std::move(progress);
        context.cancelled = [&flag] { return flag.load(std::memory_order_relaxed); };
        return context;
    }
};

// The frames a tool acts on: indices into the animation, in any order, repeats ignored.
// No value means every frame. An index out of range makes the tool throw GifError.
using FrameSet = std::optional<std::vector<int>>;

} // namespace vorlane::tools
