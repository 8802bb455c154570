// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The splash window `TSplashForm`: the product picture inside a one-pixel frame,
// borderless, above other windows and centred on the screen (it exists before the main
// window). It has no interaction.

#include <QFrame>

namespace vorlane {

class TSplashForm : public QFrame {
    Q_OBJECT
public:
    explicit TSplashForm(QWidget* parent = nullptr);

    // Shows the window centred on the primary screen and paints it at once, before the
    // event loop runs.
    void showNow();
};

} // namespace vorlane
