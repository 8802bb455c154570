// SPDX-License-Identifier: GPL-3.0-or-later
#include "WindowHarness.h"

#include "mainwindow/ViewMath.h"

#include <QApplication>
#include <QMenu>
#include <QTest>

#include "mainwindow/ThumbnailStrip.h"
#include "mainwindow/Widgets.h"

namespace vorlane::test {

WindowHarness::WindowHarness(bool threadedWork) {
    fakes.threadedWork = threadedWork;
    restart();
}

WindowHarness::~WindowHarness() {
    // Closing at the end of a test must not ask anything.
    if (window) window->animation().markSaved();
}

void WindowHarness::restart() {
    if (window) {
        window->animation().markSaved();
        window->close();
    }
    window.reset();
    window = std::make_unique<TMainform>(fakes.platform());
    window->show();
    window->activateWindow();
    QApplication::setActiveWindow(window.get());
    if (!QTest::qWaitForWindowExposed(window.get())) qWarning("the window was not exposed");
    window->FileNewItemClick();
}

QString WindowHarness::writeGif(const QString& name, int frames, uint16_t w, uint16_t h, int loops,
                                const std::string& comment) {
    const QString path = dir.filePath(name);
    makeAnimation(frames, w, h, {.loops = loops, .comment = comment})->save(path);
    return path;
}

void WindowHarness::open(const QString& path) {
    fakes.dialogs.choose(path);
    click(QStringLiteral("ToolButton1"));
}

bool WindowHarness::click(const QString& name) {
    QAbstractButton* b = button(name);
    if (!b || !b->isEnabled()) return false;
    b->click();
    return true;
}

bool WindowHarness::enabledIn(const QString& menuName, const QString& itemName) {
    QMenu* menu = find<QMenu>(menuName);
    if (!menu) return false;
    Q_EMIT menu->aboutToShow();
    QAction* a = item(itemName);
    return a && a->isEnabled();
}

bool WindowHarness::choose(const QString& menuName, const QString& itemName) {
    if (!enabledIn(menuName, itemName)) return false;
    item(itemName)->trigger();
    return true;
}

void WindowHarness::key(const QKeySequence& sequence) {
    const QKeyCombination combination = sequence[0];
    QTest::keyClick(window.get(), combination.key(), combination.keyboardModifiers());
}

QString WindowHarness::panel(int i) const {
    return window->statusPanel(i)->text();
}

int WindowHarness::gauge() const {
    return window->strip()->gauge()->value();
}
bool WindowHarness::gaugeEnabled() const {
    return window->strip()->gauge()->isEnabled();
}
int WindowHarness::gaugeMaximum() const {
    return window->strip()->gauge()->maximum();
}
int WindowHarness::slider() const {
    return find<QSlider>(QStringLiteral("Slider"))->value();
}
int WindowHarness::sliderMaximum() const {
    return find<QSlider>(QStringLiteral("Slider"))->maximum();
}

bool WindowHarness::slotShown(int slot) const {
    return !find<QWidget>(QStringLiteral("PB%1").arg(slot))->isHidden() &&
           !find<QWidget>(QStringLiteral("P%1").arg(slot))->isHidden() &&
           !find<QWidget>(QStringLiteral("PN%1").arg(slot))->isHidden();
}

QString WindowHarness::badges() const {
    QStringList texts;
    for (int i = 1; i <= 4; ++i)
        texts << (slotShown(i) ? find<QLabel>(QStringLiteral("PNL%1").arg(i))->text()
                               : QStringLiteral("-"));
    return texts.join(QLatin1Char(' '));
}

int WindowHarness::highlightedSlot() const {
    const BarColours colours = barColours(window->strip()->palette());
    const QColor highlight = colours.highlight;
    int found = 0;
    for (int i = 1; i <= 4; ++i) {
        const auto* area = find<ClickPanel>(QStringLiteral("PB%1").arg(i));
        const auto* badge = find<ClickPanel>(QStringLiteral("PN%1").arg(i));
        const bool lit = area->color() == highlight;
        if (lit != (badge->color() == highlight)) return -1; // click area and badge disagree
        if (!lit && badge->color() != colours.badge) return -1;
        if (lit) {
            if (found) return -1; // two highlighted
            found = i;
        }
    }
    return found;
}

bool WindowHarness::frameViewShown() const {
    return !find<QWidget>(QStringLiteral("Image"))->isHidden();
}
bool WindowHarness::animationViewShown() const {
    return !find<QWidget>(QStringLiteral("gif"))->isHidden();
}

QString WindowHarness::speedBar() const {
    QString s;
    for (const char* name : {"PlayBtn", "StopBtn", "Rewindbtn", "Backbtn", "Nextbtn", "Forwardbtn"})
        s += enabled(QLatin1String(name)) ? QLatin1Char('1') : QLatin1Char('0');
    return s;
}

bool WindowHarness::enabled(const QString& widget) const {
    const QWidget* w = find<QWidget>(widget);
    return w && w->isEnabled();
}

} // namespace vorlane::test
