// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The options dialog `TOptions` ("Options"): one page "Preferences" with the one
// preference, whether the welcome dialog shows at start-up.

#include <QDialog>

class QCheckBox;

namespace vorlane {

class TOptions : public QDialog {
    Q_OBJECT
public:
    explicit TOptions(QWidget* parent = nullptr);

    QCheckBox* welc() const { return m_welc; }

private:
    QCheckBox* m_welc;
};

} // namespace vorlane
