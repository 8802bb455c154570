// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The animation tools (tools/Operation.h) as commands of the editor: a tool runs on the
// worker over a snapshot of the animation, with its progress in the status bar and a
// Cancel, and what it made takes the animation's place on the window's thread as one
// step named after the tool ("Undo Resize"). A cancel, a failure or a result equal to
// the animation leave the animation and its history as they were.

#include <QString>

#include "document/AnimationModel.h"
#include "document/BackgroundWork.h"
#include "platform/Platform.h"
#include "tools/Operation.h"

namespace vorlane {

enum class ToolResult {
    Applied,   // one step more in the history
    Unchanged, // the tool made the animation as it was (nothing to crop, no duplicates)
    Cancelled,
    Failed, // said through the prompts
};

// The name of the tool's step, as the Edit menu shows it after "Undo ".
QString toolStepName(const tools::Operation& operation);

// The frames a tool that may act on some frames acts on: the selected ones when there
// are several, else all (no set).
tools::FrameSet toolFrames(const FrameSelection& selection);

// Runs `operation` on the animation on `work` (nullptr: on this thread), its progress to
// `sink`, and applies the result as one step. A failure (parameters that do not fit,
// too large a result, no memory) is told through `platform.prompts` with its reason.
// Afterwards the selection is as it was where the frame count stayed. Otherwise, after a
// tool on the selected frames, the frames from the first selected one to where the last
// selected one now stands are selected; after a tool on the whole animation, the current
// frame (or the last, where it no longer exists) is.
ToolResult runTool(AnimationModel& animation, const FrameSelection& selection,
                   const tools::Operation& operation, const Platform& platform,
                   BackgroundWork* work = nullptr, const WorkProgress::Sink& sink = {});

} // namespace vorlane
