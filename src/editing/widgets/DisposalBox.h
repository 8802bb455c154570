// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The disposal dialog `TDispo` ("Image disposal"): the drop-down list `disCombo` under
// "Disposal method:", with OK (default, Enter) and Cancel (Esc). Made once and kept, so
// the list keeps the last choice between uses.

#include <optional>

#include <QDialog>

#include "editing/DisposalChooser.h"

class QComboBox;

namespace vorlane {

class TDispo : public QDialog, public DisposalChooser {
    Q_OBJECT
public:
    explicit TDispo(QWidget* parent = nullptr);

    std::optional<int> choose(int item) override;
    QComboBox* list() const { return m_list; }

private:
    QComboBox* m_list;
};

} // namespace vorlane
