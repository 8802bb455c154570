// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Modal questions and reports. The editor's implementation shows message boxes; tests
// use a fake that answers from a script and records every question.

#include <QString>

namespace vorlane {

class Prompts {
public:
    enum class Icon { Information, Warning, Confirmation, Error };
    enum class Buttons { Ok, YesNo, YesCancel, YesNoCancel };
    // Closing a box without choosing answers Cancel where there is a Cancel button, else
    // No where there is a No button, else Ok.
    enum class Answer { Ok, Yes, No, Cancel };

    virtual ~Prompts() = default;
    virtual Answer ask(Icon icon, Buttons buttons, const QString& text) = 0;

    // Shorthand for a report with an OK button.
    void tell(Icon icon, const QString& text) { ask(icon, Buttons::Ok, text); }
};

} // namespace vorlane
