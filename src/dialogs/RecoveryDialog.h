// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// "Recover unsaved work" (`RecoverWork`): the copies of unsaved work that editors left
// behind (document/Recovery.h), one row each with a thumbnail, the animation's name, its
// folder, the time of its last change and its frame count. Recover closes the dialog
// with the selected copy chosen (accepted); Discard removes the selected copy after
// asking; Later (or closing) keeps them all for the next start (rejected).

#include <functional>
#include <vector>

#include <QDialog>

#include "document/Recovery.h"
#include "platform/Platform.h"

class QPushButton;
class QTreeWidget;

namespace vorlane {

class Prompts;
class TMainform;

class TRecover : public QDialog {
    Q_OBJECT
public:
    static inline const QString Caption = QStringLiteral("Recover unsaved work");

    TRecover(RecoveryStore store, Prompts* prompts, std::vector<RecoveryCopy> copies,
             QWidget* parent = nullptr);

    int count() const { return int(m_copies.size()); }
    RecoveryCopy& copy(int row) { return m_copies.at(size_t(row)); }
    // The selected row, -1 for none.
    int selectedRow() const;
    // Takes a copy out of the list (recovered, or set aside).
    void removeRow(int row);

    QTreeWidget* list() const { return m_list; }

    // The texts of a row: name, folder, last change, frames.
    static QStringList rowTexts(const RecoveryInfo& info);
    // "Discard the unsaved work in "NAME"? ..."
    static QString discardQuestion(const QString& name);

private:
    void discardClick();
    void updateButtons();

    RecoveryStore m_store;
    Prompts* m_prompts;
    std::vector<RecoveryCopy> m_copies;
    QTreeWidget* m_list;
    QPushButton* m_recover;
    QPushButton* m_discard;
};

// The start-up step: claims the copies left behind, reports damaged ones, and shows the
// dialog through `runModal` while copies remain; Recover opens the chosen copy in the
// window (which writes its copy from then on). True when a copy was recovered.
bool offerRecovery(TMainform& window, const Platform& platform,
                   const std::function<int(QDialog&)>& runModal);

} // namespace vorlane
