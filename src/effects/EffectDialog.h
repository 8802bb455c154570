// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The effect settings dialog as the effect commands see it. The editor's implementation
// is a dialog made once and kept, so every setting holds its last value from one effect
// command to the next; tests answer from a script.

#include <optional>

#include "effects/EffectCommand.h"

namespace vorlane::effects {

class EffectDialog {
public:
    virtual ~EffectDialog() = default;
    // Shows the dialog for `effect` modally. The settings on OK, nothing otherwise.
    virtual std::optional<EffectSettings> ask(Effect effect) = 0;
};

} // namespace vorlane::effects
