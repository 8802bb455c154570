// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// A main window on the platform fakes, with helpers that act as a user would (through
// objectNames) and read what a user would see.

#include <memory>

#include <QAbstractButton>
#include <QAction>
#include <QColor>
#include <QDialog>
#include <QLabel>
#include <QScrollBar>
#include <QSlider>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <QTest>

#include "codec/GifImage.h"
#include "mainwindow/MainWindow.h"
#include "support/FakePlatform.h"
#include "support/TestData.h"

namespace vorlane::test {

// Clicks the dialog's button of that objectName (the test fails when there is none).
inline void clickButton(QDialog& dialog, const char* name) {
    auto* button = dialog.findChild<QAbstractButton*>(QLatin1String(name));
    QVERIFY2(button, name);
    button->click();
}

struct WindowHarness {
    FakePlatform fakes;
    QTemporaryDir dir;
    std::unique_ptr<TMainform> window;

    // `threadedWork`: long work runs on a worker, as in the program.
    explicit WindowHarness(bool threadedWork = false);
    ~WindowHarness();
    // Makes a new window on the same fakes (the settings store survives): a restart.
    void restart();

    // Writes an animation into the temporary folder; returns its full name.
    QString writeGif(const QString& name, int frames, uint16_t w = 8, uint16_t h = 6, int loops = 0,
                     const std::string& comment = {});
    // File > Open through the tool row's "Open" button with the fake dialog choosing
    // `path`.
    void open(const QString& path);

    template <typename T = QWidget> T* find(const QString& name) const {
        return window->findChild<T*>(name);
    }
    QAction* item(const QString& name) const { return window->findChild<QAction*>(name); }
    AnimationModel& model() const { return window->animation(); }
    QAbstractButton* button(const QString& name) const { return find<QAbstractButton>(name); }
    // Clicks a button (it must be enabled, as for a user).
    bool click(const QString& name);
    // Opens the menu (runs its open handler as showing it does) and triggers the item
    // when it is enabled; returns whether it was.
    bool choose(const QString& menu, const QString& item);
    // Runs the menu's open handler, then reads whether the item is enabled.
    bool enabledIn(const QString& menu, const QString& item);
    // Presses a key on the window, as a user would.
    void key(const QKeySequence& key);

    // ---- what the user sees ----
    QString panel(int i) const;
    QString title() const { return window->windowTitle(); }
    int current() const { return window->currentFrame(); }
    int gauge() const;
    bool gaugeEnabled() const;
    int gaugeMaximum() const;
    int slider() const;
    int sliderMaximum() const;
    // "1234" for the badge texts, "-" for hidden slots, e.g. "7 8 9 10" / "1 2 3 -".
    QString badges() const;
    // The highlighted slot as seen from the colours (0: none highlighted).
    int highlightedSlot() const;
    bool slotShown(int slot) const;
    bool frameViewShown() const;
    bool animationViewShown() const;
    // "1" / "0" for PlayBtn StopBtn Rewindbtn Backbtn Nextbtn Forwardbtn.
    QString speedBar() const;
    bool enabled(const QString& widget) const;
};

} // namespace vorlane::test
