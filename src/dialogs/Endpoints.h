// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The addresses the Help menu and the About dialog hand to the desktop shell. They are
// the maker's to choose; the defaults are placeholders under the reserved example domain
// until real ones are configured.

#include <QString>

namespace vorlane {

struct Endpoints {
    // The product web site's start page in the program's language.
    QString homePage = QStringLiteral("https://vorlane-gif.example.org/en/");
    // A "mailto:" address of the maker.
    QString contactMail = QStringLiteral("mailto:contact@vorlane-gif.example.org");
};

} // namespace vorlane
