// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The About dialog `TAboutBox` ("About Vorlane Gif"): the product picture, the version,
// the web site as a link, the licence and the credits of the libraries the program
// uses. Its web-site and mail actions serve the Help menu too.

#include <QDialog>

#include "BuildInfo.h"

#include "dialogs/Endpoints.h"

class QLabel;

namespace vorlane {

class Shell;

class TAboutBox : public QDialog {
    Q_OBJECT
public:
    static inline const QString VersionLine =
        QStringLiteral("Vorlane Gif - Version ") + QLatin1String(build::Version);
    static inline const QString LicenceText = QStringLiteral(
        "Vorlane Gif is free software: you can redistribute it and/or modify it under the "
        "terms of the GNU General Public License, version 3 or (at your option) any later "
        "version. It comes with no warranty.");
    // One line per library the program uses: name, what for, licence.
    static QStringList credits();

    // `shell` opens the addresses (may be null: they open nowhere).
    TAboutBox(Shell* shell, Endpoints endpoints, QWidget* parent = nullptr);

    // Opens the product's home page (the link, "&Website").
    void urlClick();
    // Opens a new mail message to the maker's contact address.
    void mailClick();

    QLabel* link() const { return m_link; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    Shell* m_shell;
    Endpoints m_endpoints;
    QLabel* m_link;
};

} // namespace vorlane
