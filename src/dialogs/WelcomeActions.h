// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The welcome dialog `Twelcome` ("Welcome"): start a new animation, run the wizard, or
// open an animation (the file dialog or one of the recent files). The main window acts on
// its choice; the dialog only records it. Made once and kept, so it keeps its state
// between showings.

#include <vector>

#include <QDialog>

#include "mainwindow/MainWindow.h"

class QButtonGroup;
class QCheckBox;
class QGroupBox;
class QListWidget;
class QPushButton;
class QRadioButton;

namespace vorlane {

class SettingsStore;

class Twelcome : public QDialog {
    Q_OBJECT
public:
    static inline const QString SettingsKey =
        QStringLiteral("Software\\Vorlane Gif\\Welcome Settings");
    static inline const QString CheckstartValue = QStringLiteral("Checkstart.Checked");
    static inline const QString OtherFiles = QStringLiteral("Other files...");

    // Reads its settings from `settings` (may be null: nothing is kept).
    explicit Twelcome(SettingsStore* settings, QWidget* parent = nullptr);

    // The settings: whether "Don't show this box at startup" is ticked.
    void readSettings();
    void writeSettings();

    // Before each showing: the list holds "Other files..." and then the file name of
    // each recent file that is set, most recent first.
    void FormShow();
    // "&OK" (and a double click in the list): closes with OK.
    void Button2Click();

    // The choice the dialog holds. With "Open existing animation" its row is the recent
    // entry (1..4, F1..F4) that the selected row shows, 0 for "Other files...", -1 for
    // none.
    WelcomeChoice choice() const;

    bool startupSuppressed() const;
    QCheckBox* checkstart() const { return m_checkstart; }
    QListWidget* list() const { return m_list; }

Q_SIGNALS:
    // OK with "New Gif animation": the main window's "Add image" hint is due.
    void hintRequested();

protected:
    void done(int result) override;

private:
    void choiceChanged();

    SettingsStore* m_settings;
    QRadioButton* m_newanime;
    QRadioButton* m_assiste;
    QRadioButton* m_opengif;
    QButtonGroup* m_choices;
    QListWidget* m_list;
    QCheckBox* m_checkstart;
    // The recent entry (1..4) each list row shows; row 0 is "Other files...". Rows skip
    // unset entries, so row k need not show entry Fk.
    std::vector<int> m_rowEntries;
};

} // namespace vorlane
