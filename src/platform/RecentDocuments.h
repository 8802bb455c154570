// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

namespace vorlane {

// The desktop's own list of recently used files, which its file dialogs and launchers
// offer (the program's four recent files are a list of its own, in the settings).
class RecentDocuments {
public:
    virtual ~RecentDocuments() = default;
    // Records that this program used the file (full path) of that media type now.
    // Returns false when the list could not be updated; nothing is reported to the user.
    virtual bool add(const QString& fileName, const QString& mimeType) = 0;
};

} // namespace vorlane
