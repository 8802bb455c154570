// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// File choosers. Filters are written as "Description (*.ext)|*.ext|Other (*.x)|*.x",
// pairs of description and pattern separated by '|'; implementations translate them.
// Each call returns the chosen name(s), or nothing when the user cancels.

#include <optional>

#include <QString>
#include <QStringList>

namespace vorlane {

class FileDialogs {
public:
    struct OpenRequest {
        QString title;       // empty: the platform's default title
        QString filter;
        QString initialFile; // the dialog starts at this file or folder
    };
    struct SaveRequest {
        QString title;            // empty: the platform's default title
        QString filter;
        QString defaultExtension; // without dot; appended when the name has none
        QString initialFile;
        bool askOverwrite = true; // ask before replacing an existing file
    };

    virtual ~FileDialogs() = default;
    // The open-picture dialog (with a preview where the platform offers one).
    virtual std::optional<QString> openPicture(const OpenRequest& request) = 0;
    virtual QStringList openPictures(const OpenRequest& request) = 0;
    // The save-picture dialog.
    virtual std::optional<QString> savePicture(const SaveRequest& request) = 0;
    // The plain save dialog.
    virtual std::optional<QString> saveFile(const SaveRequest& request) = 0;
};

} // namespace vorlane
