// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The options dialog `TOptions` ("Options"): one page "Preferences" with whether the
// welcome dialog shows at start-up, how much memory the undo history may hold, and how
// often a recovery copy of unsaved work is written.

#include <QDialog>

class QCheckBox;
class QSpinBox;

namespace vorlane {

class TOptions : public QDialog {
    Q_OBJECT
public:
    explicit TOptions(QWidget* parent = nullptr);

    QCheckBox* welc() const { return m_welc; }
    // Megabytes of pictures the undo history may keep of frames no longer in the
    // animation; beyond it the oldest steps are dropped.
    QSpinBox* undoMemory() const { return m_undoMemory; }
    // Seconds between recovery copies of unsaved work; 0 ("Off") writes none.
    QSpinBox* recoverySeconds() const { return m_recoverySeconds; }

private:
    QCheckBox* m_welc;
    QSpinBox* m_undoMemory;
    QSpinBox* m_recoverySeconds;
};

} // namespace vorlane
