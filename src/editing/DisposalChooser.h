// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The choice of a frame's disposal method, as the disposal dialog offers it: three list
// items, "No disposal" (0), "Fill with background color" (1) and "Previous image" (2).
// The editor's implementation is a dialog made once and kept, so that the list keeps its
// last choice between uses; tests answer from a script.

#include <optional>

namespace vorlane {

class DisposalChooser {
public:
    virtual ~DisposalChooser() = default;
    // Shows the choice modally with `item` (0..2) preselected, or with the item chosen
    // last when `item` is -1. Returns the item chosen with OK, nothing on Cancel.
    virtual std::optional<int> choose(int item) = 0;
};

} // namespace vorlane
