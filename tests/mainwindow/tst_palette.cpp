// SPDX-License-Identifier: GPL-3.0-or-later
// The window under the desktop's palette: the header bars' captions and the strip's
// badges stay readable under a light and a dark palette (contrast measured against
// every row of the header picture), the light palette keeps the design's colours, and a
// palette that changes while the program runs re-colours what is already painted.

#include <QApplication>
#include <QLabel>
#include <QPalette>
#include <QTest>

#include "WindowHarness.h"
#include "mainwindow/HeaderBar.h"
#include "mainwindow/ThumbnailStrip.h"
#include "mainwindow/ViewMath.h"
#include "mainwindow/Widgets.h"

using vorlane::test::WindowHarness;

namespace {
// WCAG relative luminance and contrast ratio.
double luminance(const QColor& c) {
    const auto channel = [](double v) {
        v /= 255.0;
        return v <= 0.03928 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4);
    };
    return 0.2126 * channel(c.red()) + 0.7152 * channel(c.green()) + 0.0722 * channel(c.blue());
}
double contrast(const QColor& a, const QColor& b) {
    const double la = luminance(a) + 0.05;
    const double lb = luminance(b) + 0.05;
    return std::max(la, lb) / std::min(la, lb);
}

QPalette darkPalette() {
    QPalette p;
    p.setColor(QPalette::Window, QColor(45, 45, 48));
    p.setColor(QPalette::WindowText, QColor(230, 230, 230));
    p.setColor(QPalette::Base, QColor(30, 30, 30));
    p.setColor(QPalette::Text, QColor(230, 230, 230));
    p.setColor(QPalette::Button, QColor(53, 53, 56));
    p.setColor(QPalette::ButtonText, QColor(230, 230, 230));
    return p;
}

QPalette lightPalette() {
    QPalette p;
    p.setColor(QPalette::Window, QColor(239, 239, 239));
    p.setColor(QPalette::WindowText, Qt::black);
    p.setColor(QPalette::Button, QColor(239, 239, 239));
    p.setColor(QPalette::ButtonText, Qt::black);
    return p;
}

QColor textOf(const QLabel* label) {
    return label->palette().color(QPalette::WindowText);
}
} // namespace

class TestPalette : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void cleanup() { QApplication::setPalette(lightPalette()); }
    void readableUnderEitherPalette_data();
    void readableUnderEitherPalette();
    void lightPaletteKeepsTheDesignColours();
    void aPaletteChangeRecolours();
};

void TestPalette::readableUnderEitherPalette_data() {
    QTest::addColumn<bool>("dark");
    QTest::newRow("light") << false;
    QTest::newRow("dark") << true;
}

void TestPalette::readableUnderEitherPalette() {
    QFETCH(bool, dark);
    QApplication::setPalette(dark ? darkPalette() : lightPalette());
    WindowHarness h;
    h.open(h.writeGif(QStringLiteral("a.gif"), 3));
    const QColor face = h.window->palette().color(QPalette::Button);

    for (auto* header : h.window->findChildren<vorlane::HeaderBar*>()) {
        const QColor caption = textOf(header->caption());
        const QImage picture = header->image()->pixmap().toImage();
        QCOMPARE(picture.height(), vorlane::HeaderBar::Height);
        // The caption is centred on the bar: every row it may stand on counts.
        for (int row = 0; row < picture.height(); ++row)
            QVERIFY2(contrast(caption, picture.pixelColor(0, row)) >= 3.0,
                     qPrintable(header->objectName() + QStringLiteral(" row %1").arg(row)));
    }
    for (int slot = 1; slot <= 4; ++slot) {
        const auto* badge = h.find<vorlane::ClickPanel>(QStringLiteral("PN%1").arg(slot));
        const auto* number = h.find<QLabel>(QStringLiteral("PNL%1").arg(slot));
        QVERIFY2(contrast(textOf(number), badge->color()) >= 4.5, qPrintable(number->objectName()));
    }
    // The highlighted slot stands out from the others.
    QCOMPARE(h.highlightedSlot(), 1);
    const auto* lit = h.find<vorlane::ClickPanel>(QStringLiteral("PB1"));
    QVERIFY(lit->color() != face);
}

void TestPalette::lightPaletteKeepsTheDesignColours() {
    QApplication::setPalette(lightPalette());
    WindowHarness h;
    h.open(h.writeGif(QStringLiteral("a.gif"), 3));
    const auto* loop = h.find<vorlane::HeaderBar>(QStringLiteral("Headloop"));
    QCOMPARE(textOf(loop->caption()), QColor(21, 74, 147));
    QCOMPARE(loop->image()->pixmap().toImage().pixelColor(0, 0), QColor(191, 219, 255));
    QCOMPARE(h.find<vorlane::ClickPanel>(QStringLiteral("PN1"))->color(), QColor(191, 219, 255));
    QCOMPARE(h.find<vorlane::ClickPanel>(QStringLiteral("PN2"))->color(), QColor(Qt::black));
    QCOMPARE(textOf(h.find<QLabel>(QStringLiteral("PNL2"))), QColor(Qt::white));
}

void TestPalette::aPaletteChangeRecolours() {
    QApplication::setPalette(lightPalette());
    WindowHarness h;
    h.open(h.writeGif(QStringLiteral("a.gif"), 3));
    QApplication::setPalette(darkPalette());
    const vorlane::BarColours dark = vorlane::barColours(darkPalette());
    const auto* comments = h.find<vorlane::HeaderBar>(QStringLiteral("Panel7"));
    // The widgets hear of the new palette through the event loop.
    QTRY_COMPARE(textOf(comments->caption()), dark.caption);
    QCOMPARE(comments->image()->pixmap().toImage().pixelColor(0, 0), dark.headerStart);
    QCOMPARE(h.find<vorlane::ClickPanel>(QStringLiteral("PN1"))->color(), dark.highlight);
    QCOMPARE(h.find<vorlane::ClickPanel>(QStringLiteral("PB2"))->color(),
             darkPalette().color(QPalette::Button));
}

QTEST_MAIN(TestPalette)
#include "tst_palette.moc"
