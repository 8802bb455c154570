// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

namespace vorlane {

// The desktop shell's "open" action for a file, a web address or a mail address.
class Shell {
public:
    virtual ~Shell() = default;
    // Hands the target over whole; no result, no error report.
    virtual void open(const QString& target) = 0;
};

} // namespace vorlane
