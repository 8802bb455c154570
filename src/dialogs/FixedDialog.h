// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The window frame the guidance dialogs share: a fixed dialog border whose title bar
// holds only the close button.

#include <QDialog>

namespace vorlane {

inline void useFixedDialogFrame(QDialog* dialog) {
    dialog->setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::CustomizeWindowHint |
                           Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
}

// Fixes the dialog at the size its layout asks for, at least `minimum`.
inline void fixToContent(QDialog* dialog, QSize minimum = {}) {
    dialog->adjustSize();
    dialog->setFixedSize(dialog->sizeHint().expandedTo(minimum));
}

} // namespace vorlane
