// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QUrl>

#include "platform/Shell.h"

namespace vorlane {

// The desktop's "open" action through QDesktopServices.
class QtShell : public Shell {
public:
    void open(const QString& target) override;

    // The URL handed to the desktop for a target: addresses with a scheme ("http:",
    // "https:", "mailto:", "file:") as they are, anything else as a local file path.
    static QUrl urlFor(const QString& target);
};

} // namespace vorlane
