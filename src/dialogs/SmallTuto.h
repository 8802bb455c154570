// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The how-to dialog `THowForm` ("How to create Gifs"): the three steps of making an
// animation, with "Dont show this box again". It counts how often the start-up has shown
// it (the tag of `Dontshow`), so that it opens by itself at the first two starts only.

#include <QDialog>

class QCheckBox;

namespace vorlane {

class SettingsStore;

class THowForm : public QDialog {
    Q_OBJECT
public:
    static inline const QString SettingsKey = QStringLiteral("Software\\Vorlane Gif\\How Settings");
    static inline const QString TagValue = QStringLiteral("Dontshow.Tag");
    static inline const QString CheckedValue = QStringLiteral("Dontshow.Checked");
    // How many starts show the dialog by themselves.
    static constexpr int AutomaticShowings = 2;

    // Reads its settings from `settings` (may be null: nothing is kept).
    explicit THowForm(SettingsStore* settings, QWidget* parent = nullptr);

    void readSettings();
    void writeSettings();

    // Whether the start-up shows the dialog: not ticked away and shown fewer than two
    // times by the start-up so far.
    bool dueAtStartUp() const;
    // Counts a showing by the start-up and saves the count.
    void countAutomaticShowing();
    int automaticShowings() const { return m_shown; }

    void Button1Click();
    QCheckBox* dontshow() const { return m_dontshow; }

protected:
    void done(int result) override;

private:
    SettingsStore* m_settings;
    QCheckBox* m_dontshow;
    int m_shown = 0;
};

} // namespace vorlane
