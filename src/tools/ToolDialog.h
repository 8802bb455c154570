// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The editor's questions for the tools that take values (resize, crop, keep every n-th
// frame, speed, delay), as the commands see them. The editor's implementation shows a
// dialog made once and kept, so that each holds its last values; tests answer from a
// script. Each dialog shows what the tool would make (predict) before OK.

#include <optional>
#include <vector>

#include <QImage>

#include "codec/GifImage.h"
#include "tools/Operation.h"

namespace vorlane::tools {

enum class ToolDialogKind { Resize, Crop, KeepEvery, Speed, Delay };

// What a dialog is shown for.
struct ToolRequest {
    // The animation as it stands; it outlives the question.
    const gif::GifImage* image = nullptr;
    // The selected frames (ascending) when more than one is selected; the tools that
    // may act on them alone offer that, and do so by default.
    std::vector<int> selected;
    // What the current frame shows (ARGB32, transparent where nothing is drawn): the
    // crop dialog draws its rectangle on it.
    QImage picture;
};

class ToolDialog {
public:
    virtual ~ToolDialog() = default;
    // Shows the dialog modally: the operation on OK, nothing otherwise.
    virtual std::optional<Operation> ask(ToolDialogKind kind, const ToolRequest& request) = 0;
};

} // namespace vorlane::tools
