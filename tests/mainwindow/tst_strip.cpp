// SPDX-License-Identifier: GPL-3.0-or-later
// The thumbnail strip and frame selection, driven through the window: slots, badges,
// highlight and gauge across scrolling, picking, and the selection routine's effects on
// the frame view, the delay field and the slider.

#include <QObject>
#include <QScrollBar>
#include <QSpinBox>
#include <QTest>
#include <QToolBar>

#include "WindowHarness.h"
#include "imaging/Zoom.h"
#include "mainwindow/Preview.h"
#include "mainwindow/ThumbnailStrip.h"
#include "mainwindow/Widgets.h"

using vorlane::test::WindowHarness;

class TestStrip : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void threeFramesHideSlotFour();
    void fiveFramesScrollToTheEnd();
    void endAndBeginningMoveTheGauge();
    void draggingKeepsTheHighlightedSlot();
    void pickingASlot();
    void selectionFillsFrameViewDelayAndSlider();
    void plainSelectionDrawsNoThumbnails();
    void thumbnailsAreFitted();
    void rebuildWithFewerFramesResetsTheGauge();
    void newHidesTheSlots();
    void rowIsCentred();
    void transparentFrameShowsTheBackground();
};

void TestStrip::threeFramesHideSlotFour() {
    WindowHarness h;
    h.open(h.writeGif(QStringLiteral("three.gif"), 3));
    QCOMPARE(h.badges(), QStringLiteral("1 2 3 -"));
    QVERIFY(!h.gaugeEnabled());
    QCOMPARE(h.gaugeMaximum(), 0);
    QCOMPARE(h.current(), 0);
    QCOMPARE(h.highlightedSlot(), 1);
    QCOMPARE(h.sliderMaximum(), 2);
    QCOMPARE(h.panel(2), QStringLiteral("3 image(s)"));
}

void TestStrip::fiveFramesScrollToTheEnd() {
    WindowHarness h;
    h.open(h.writeGif(QStringLiteral("five.gif"), 5));
    QVERIFY(h.gaugeEnabled());
    QCOMPARE(h.gaugeMaximum(), 1);
    h.window->strip()->gauge()->setValue(1);
    QCOMPARE(h.badges(), QStringLiteral("2 3 4 5"));
    // The highlight stays on slot 1, which now shows frame index 1.
    QCOMPARE(h.highlightedSlot(), 1);
    QCOMPARE(h.current(), 1);
}

void TestStrip::endAndBeginningMoveTheGauge() {
    WindowHarness h;
    h.open(h.writeGif(QStringLiteral("ten.gif"), 10));
    QCOMPARE(h.gauge(), 0);
    QVERIFY(h.click(QStringLiteral("Forwardbtn")));
    QCOMPARE(h.current(), 9);
    QCOMPARE(h.highlightedSlot(), 4);
    QCOMPARE(h.gauge(), 6);
    QCOMPARE(h.badges(), QStringLiteral("7 8 9 10"));
    QCOMPARE(h.slider(), 9);

    QVERIFY(h.click(QStringLiteral("Rewindbtn")));
    QCOMPARE(h.current(), 0);
    QCOMPARE(h.highlightedSlot(), 1);
    QCOMPARE(h.gauge(), 0);
    QCOMPARE(h.badges(), QStringLiteral("1 2 3 4"));

    // Stepping past the last visible slot scrolls by one and keeps slot 4 lit.
    for (int i = 0; i < 4; ++i)
        QVERIFY(h.click(QStringLiteral("Nextbtn")));
    QCOMPARE(h.current(), 4);
    QCOMPARE(h.gauge(), 1);
    QCOMPARE(h.highlightedSlot(), 4);
    QCOMPARE(h.badges(), QStringLiteral("2 3 4 5"));
    // Stepping back inside the visible slots only moves the highlight.
    QVERIFY(h.click(QStringLiteral("Backbtn")));
    QCOMPARE(h.current(), 3);
    QCOMPARE(h.gauge(), 1);
    QCOMPARE(h.highlightedSlot(), 3);
}

void TestStrip::draggingKeepsTheHighlightedSlot() {
    WindowHarness h;
    h.open(h.writeGif(QStringLiteral("ten.gif"), 10));
    QTest::mouseClick(h.find<QWidget>(QStringLiteral("P2")), Qt::LeftButton);
    QCOMPARE(h.current(), 1);
    QVERIFY(h.click(QStringLiteral("play")));
    QVERIFY(h.animationViewShown());

    h.window->strip()->gauge()->setValue(2);
    QCOMPARE(h.current(), 3);
    QCOMPARE(h.highlightedSlot(), 2);
    QCOMPARE(h.badges(), QStringLiteral("3 4 5 6"));
    // Scrolling with a highlighted slot stops playback.
    QVERIFY(h.frameViewShown());
    QVERIFY(!h.animationViewShown());
    QVERIFY(h.enabled(QStringLiteral("play")));
    QVERIFY(!h.enabled(QStringLiteral("stop")));
    QVERIFY(h.enabled(QStringLiteral("Period")));
}

void TestStrip::pickingASlot() {
    WindowHarness h;
    h.open(h.writeGif(QStringLiteral("ten.gif"), 10));
    h.window->strip()->gauge()->setValue(5);
    // Clicking the click area around the picture picks as well.
    QTest::mouseClick(h.find<QWidget>(QStringLiteral("PB3")), Qt::LeftButton, {}, QPoint(1, 1));
    QCOMPARE(h.current(), 7);
    QCOMPARE(h.highlightedSlot(), 3);
    QCOMPARE(h.slider(), 7);
    QCOMPARE(h.gauge(), 5);

    // A hidden slot picks nothing.
    h.open(h.writeGif(QStringLiteral("two.gif"), 2));
    QCOMPARE(h.badges(), QStringLiteral("1 2 - -"));
    h.window->PClick(4);
    QCOMPARE(h.current(), 0);
    QCOMPARE(h.highlightedSlot(), 1);
}

void TestStrip::selectionFillsFrameViewDelayAndSlider() {
    WindowHarness h;
    h.open(h.writeGif(QStringLiteral("five.gif"), 5, 20, 10));
    auto* period = h.find<QSpinBox>(QStringLiteral("Period"));
    QCOMPARE(period->value(), 10);
    QTest::mouseClick(h.find<QWidget>(QStringLiteral("P3")), Qt::LeftButton);
    QCOMPARE(period->value(), 30);
    QCOMPARE(h.slider(), 2);
    // Filling the delay field is no edit.
    QVERIFY(!h.model().isModified());
    QVERIFY(!h.enabled(QStringLiteral("save")));
    // The frame view shows frame 2's own picture: blue.
    const auto* image = h.find<vorlane::PictureView>(QStringLiteral("Image"));
    QCOMPARE(image->picture().size(), QSize(20, 10));
    QCOMPARE(QColor(image->picture().pixel(3, 3)), QColor(0, 0, 255));
    QVERIFY(h.frameViewShown());
    QCOMPARE(h.speedBar(), QStringLiteral("101111"));
}

void TestStrip::plainSelectionDrawsNoThumbnails() {
    WindowHarness h;
    h.open(h.writeGif(QStringLiteral("ten.gif"), 10));
    const vorlane::ThumbnailStrip* strip = h.window->strip();
    const int draws = strip->slotDraws();
    QVERIFY(h.click(QStringLiteral("Nextbtn")));
    QVERIFY(h.click(QStringLiteral("Nextbtn")));
    QTest::mouseClick(h.find<QWidget>(QStringLiteral("P1")), Qt::LeftButton);
    QCOMPARE(strip->slotDraws(), draws);
    // A move of the gauge redraws the four slots once.
    h.window->strip()->gauge()->setValue(3);
    QCOMPARE(strip->slotDraws(), draws + 4);
}

void TestStrip::thumbnailsAreFitted() {
    WindowHarness h;
    h.open(h.writeGif(QStringLiteral("wide.gif"), 2, 200, 100));
    auto* p2 = h.find<vorlane::PictureView>(QStringLiteral("P2"));
    QCOMPARE(p2->size(), QSize(120, 108));
    QCOMPARE(p2->pictureRect(), QRect(0, 24, 120, 60));
    h.open(h.writeGif(QStringLiteral("tall.gif"), 2, 100, 200));
    QCOMPARE(p2->pictureRect().size(), QSize(54, 108));
    h.open(h.writeGif(QStringLiteral("small.gif"), 2, 100, 80));
    QCOMPARE(p2->pictureRect().size(), QSize(100, 80));
    QCOMPARE(p2->scale(), 1.0f);
}

void TestStrip::rebuildWithFewerFramesResetsTheGauge() {
    WindowHarness h;
    h.open(h.writeGif(QStringLiteral("five.gif"), 5));
    h.window->strip()->gauge()->setValue(1);
    // Removing the last frame: it leaves, and the new last one is current.
    h.window->selectFrame(4);
    h.fakes.prompts.answer(vorlane::Prompts::Answer::Yes);
    QVERIFY(h.click(QStringLiteral("sup")));
    QCOMPARE(h.gauge(), 0);
    QVERIFY(!h.gaugeEnabled());
    QCOMPARE(h.badges(), QStringLiteral("1 2 3 4"));
    QCOMPARE(h.highlightedSlot(), 4);
    QCOMPARE(h.sliderMaximum(), 3);
    QCOMPARE(h.panel(2), QStringLiteral("4 image(s)"));
}

void TestStrip::newHidesTheSlots() {
    WindowHarness h;
    h.open(h.writeGif(QStringLiteral("ten.gif"), 10));
    h.window->strip()->gauge()->setValue(6);
    QVERIFY(h.click(QStringLiteral("tbNew")));
    QCOMPARE(h.badges(), QStringLiteral("- - - -"));
    QCOMPARE(h.gauge(), 0);
    QVERIFY(!h.gaugeEnabled());
    QVERIFY(!h.find<vorlane::PictureView>(QStringLiteral("Image"))->hasPicture());
    // The next animation starts at slot 1.
    h.open(h.writeGif(QStringLiteral("one.gif"), 1));
    QCOMPARE(h.badges(), QStringLiteral("1 - - -"));
    QCOMPARE(h.highlightedSlot(), 1);
}

void TestStrip::rowIsCentred() {
    WindowHarness h;
    vorlane::ThumbnailStrip* strip = h.window->strip();
    for (int width : {900, 1201}) {
        h.window->resize(width, 700);
        QCoreApplication::processEvents();
        const int left = (strip->width() - 536) / 2;
        QCOMPARE(h.find<QWidget>(QStringLiteral("Panel1"))->x(), left);
        QCOMPARE(h.find<QToolBar>(QStringLiteral("ToolBar2"))->x(), left);
    }
}

void TestStrip::transparentFrameShowsTheBackground() {
    WindowHarness h;
    // Frame 0 is cleared after it is shown and frame 1 draws nothing opaque: the screen
    // at frame 1 is empty.
    auto image = vorlane::test::makeAnimation(2, 4, 4);
    image->frame(0).graphicControl()->disposal = 2;
    image->frame(1).graphicControl()->transparent = true;
    image->frame(1).graphicControl()->transparentIndex = 1; // frame 1 is all colour 1
    const QString path = h.dir.filePath(QStringLiteral("clear.gif"));
    image->save(path);
    h.open(path);
    QVERIFY(h.click(QStringLiteral("Nextbtn")));
    QCOMPARE(h.current(), 1);
    // The empty screen shows the checkerboard that marks transparency, nothing of frame 0.
    auto* view = h.find<vorlane::PictureView>(QStringLiteral("Image"));
    const QImage shown = view->grab().toImage();
    const QRect picture = view->pictureRect();
    QCOMPARE(picture.size(), QSize(4, 4));
    for (int y = picture.top(); y <= picture.bottom(); ++y)
        for (int x = picture.left(); x <= picture.right(); ++x) {
            const QRgb pixel = shown.pixel(x, y);
            QVERIFY(pixel == vorlane::imaging::CheckerLight ||
                    pixel == vorlane::imaging::CheckerDark);
        }
    // Around the picture, the box's background.
    const QColor silver = QColor::fromRgb(vorlane::PreviewBox::Background);
    QCOMPARE(QColor(shown.pixel(0, 0)), silver);
}

QTEST_MAIN(TestStrip)
#include "tst_strip.moc"
