// SPDX-License-Identifier: GPL-3.0-or-later
// Playback and the preview area: Play and Stop with their still and playing states, the
// navigation commands and their wrap-around, the Control menu's enabling, the animation
// view's running and the slider following it, centring and the scroll-extent marker.

#include <QObject>
#include <QPlainTextEdit>
#include <QRadioButton>
#include <QScrollBar>
#include <QSignalSpy>
#include <QSlider>
#include <QSpinBox>
#include <QTest>

#include "WindowHarness.h"
#include "codec/GifImage.h"
#include "mainwindow/Preview.h"

using vorlane::test::WindowHarness;

class TestPlayback : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void playThenStopReturnsToTheFrame();
    void playingStateDisablesNavigationAndFields();
    void controlMenuWrapsAround();
    void controlMenuEnabling();
    void runningAnimationMovesTheSlider();
    void runningAnimationStopsAfterItsLoops();
    void pickingDuringPlaybackStops();
    void selectingByAnotherRouteShowsTheStill();
    void loopChoiceTurnsTheSwitchOff();
    void centringAndMarker();
    void animationLargerThanTheBoxIsReachable();
    void framesFollowTheTimeline();
};

void TestPlayback::playThenStopReturnsToTheFrame() {
    WindowHarness h;
    h.open(h.writeGif(QStringLiteral("five.gif"), 5));
    QTest::mouseClick(h.find<QWidget>(QStringLiteral("P4")), Qt::LeftButton);
    QCOMPARE(h.current(), 3);

    QVERIFY(h.click(QStringLiteral("play")));
    QVERIFY(h.animationViewShown());
    QVERIFY(!h.frameViewShown());
    QVERIFY(!h.enabled(QStringLiteral("play")));
    QVERIFY(h.enabled(QStringLiteral("stop")));
    auto* view = h.find<vorlane::AnimationView>(QStringLiteral("gif"));
    QVERIFY(view->switchedOn());
    QVERIFY(view->isRunning());
    QCOMPARE(h.window->actived(), 0); // restarted at the first frame

    QVERIFY(h.click(QStringLiteral("StopBtn")));
    QVERIFY(!view->isRunning());
    QVERIFY(h.frameViewShown());
    QVERIFY(!h.animationViewShown());
    QCOMPARE(h.current(), 3);
    QCOMPARE(h.slider(), 3);
    QVERIFY(h.enabled(QStringLiteral("play")));
    QVERIFY(!h.enabled(QStringLiteral("stop")));
    // All five fields come back, the loop count too although the loop is infinite.
    QVERIFY(h.find<QRadioButton>(QStringLiteral("infini"))->isChecked());
    for (const char* field : {"infini", "fini", "NumLoops", "Period", "Gifcomment"})
        QVERIFY2(h.enabled(QLatin1String(field)), field);
}

void TestPlayback::playingStateDisablesNavigationAndFields() {
    WindowHarness h;
    h.open(h.writeGif(QStringLiteral("five.gif"), 5));
    QVERIFY(h.click(QStringLiteral("Nextbtn")));
    QVERIFY(h.click(QStringLiteral("PlayBtn")));
    QCOMPARE(h.speedBar(), QStringLiteral("010000"));
    for (const char* field : {"infini", "fini", "NumLoops", "Period", "Gifcomment"})
        QVERIFY2(!h.enabled(QLatin1String(field)), field);
    QVERIFY(!h.enabledIn(QStringLiteral("Afficher1"), QStringLiteral("next")));
    QVERIFY(!h.enabledIn(QStringLiteral("Afficher1"), QStringLiteral("back")));
    QVERIFY(!h.enabledIn(QStringLiteral("Afficher1"), QStringLiteral("jouer")));
    QVERIFY(h.enabledIn(QStringLiteral("Afficher1"), QStringLiteral("arreter")));
    // The flag homes: "played" turns cut, copy and remove off, paste on.
    QVERIFY(!h.enabled(QStringLiteral("cut")));
    QVERIFY(!h.enabled(QStringLiteral("sup")));
    QVERIFY(h.enabled(QStringLiteral("past")));
    QVERIFY(!h.enabled(QStringLiteral("addbtn")));

    QVERIFY(h.choose(QStringLiteral("Afficher1"), QStringLiteral("arreter")));
    QCOMPARE(h.current(), 1);
    QCOMPARE(h.speedBar(), QStringLiteral("101111"));
    QVERIFY(h.enabled(QStringLiteral("addbtn")));
}

void TestPlayback::controlMenuWrapsAround() {
    WindowHarness h;
    h.open(h.writeGif(QStringLiteral("five.gif"), 5));
    QVERIFY(h.click(QStringLiteral("Forwardbtn")));
    QCOMPARE(h.current(), 4);
    // The speed bar cannot step past the end ...
    QVERIFY(!h.enabled(QStringLiteral("Nextbtn")));
    // ... the Control menu wraps.
    QVERIFY(h.choose(QStringLiteral("Afficher1"), QStringLiteral("next")));
    QCOMPARE(h.current(), 0);
    QCOMPARE(h.highlightedSlot(), 1);
    QCOMPARE(h.gauge(), 0);
    QVERIFY(h.choose(QStringLiteral("Afficher1"), QStringLiteral("back")));
    QCOMPARE(h.current(), 4);
    QCOMPARE(h.highlightedSlot(), 4);
    QCOMPARE(h.gauge(), 1);
}

void TestPlayback::controlMenuEnabling() {
    WindowHarness h;
    for (const char* item : {"jouer", "arreter", "next", "back"})
        QVERIFY2(!h.enabledIn(QStringLiteral("Afficher1"), QLatin1String(item)), item);
    h.open(h.writeGif(QStringLiteral("one.gif"), 1));
    QVERIFY(h.enabledIn(QStringLiteral("Afficher1"), QStringLiteral("jouer")));
    QVERIFY(!h.enabledIn(QStringLiteral("Afficher1"), QStringLiteral("arreter")));
    QVERIFY(!h.enabledIn(QStringLiteral("Afficher1"), QStringLiteral("next"))); // one frame
    h.open(h.writeGif(QStringLiteral("two.gif"), 2));
    QVERIFY(h.enabledIn(QStringLiteral("Afficher1"), QStringLiteral("next")));
    QVERIFY(h.enabledIn(QStringLiteral("Afficher1"), QStringLiteral("back")));
}

void TestPlayback::runningAnimationMovesTheSlider() {
    WindowHarness h;
    h.open(h.writeGif(QStringLiteral("three.gif"), 3, 16, 16));
    auto* slider = h.find<QSlider>(QStringLiteral("Slider"));
    QSignalSpy moves(slider, &QSlider::valueChanged);
    QVERIFY(h.click(QStringLiteral("play")));
    // After each painted frame the slider follows the frame on screen: 1, then 2.
    QVERIFY(moves.wait(5000));
    QTRY_COMPARE_WITH_TIMEOUT(slider->value(), 2, 5000);
    QVERIFY(moves.contains(QList<QVariant>{1}));
    QCOMPARE(h.current(), 0); // playback leaves the current frame alone
}

void TestPlayback::runningAnimationStopsAfterItsLoops() {
    WindowHarness h;
    // Loop count 1: shown twice in all, then it stays on the last frame.
    h.open(h.writeGif(QStringLiteral("twice.gif"), 2, 8, 8, 1));
    auto* view = h.find<vorlane::AnimationView>(QStringLiteral("gif"));
    QVERIFY(h.click(QStringLiteral("play")));
    QVERIFY(view->isRunning());
    QTRY_VERIFY_WITH_TIMEOUT(!view->isRunning(), 5000);
    QCOMPARE(h.window->actived(), 1);
    QTRY_COMPARE_WITH_TIMEOUT(h.slider(), 1, 5000);
    // Stop is still needed to return to the still state.
    QVERIFY(h.animationViewShown());
    QVERIFY(h.enabled(QStringLiteral("stop")));
}

void TestPlayback::pickingDuringPlaybackStops() {
    WindowHarness h;
    h.open(h.writeGif(QStringLiteral("five.gif"), 5));
    QVERIFY(h.click(QStringLiteral("play")));
    QTest::mouseClick(h.find<QWidget>(QStringLiteral("P3")), Qt::LeftButton);
    QCOMPARE(h.current(), 2);
    QVERIFY(h.frameViewShown());
    QVERIFY(!h.find<vorlane::AnimationView>(QStringLiteral("gif"))->isRunning());
    QVERIFY(h.enabled(QStringLiteral("Gifcomment")));
    QVERIFY(h.enabled(QStringLiteral("play")));
}

void TestPlayback::selectingByAnotherRouteShowsTheStill() {
    WindowHarness h;
    h.open(h.writeGif(QStringLiteral("five.gif"), 5));
    QVERIFY(h.click(QStringLiteral("play")));
    // An edit command selecting a frame: the still shows, Play on, Stop off, while the
    // fields stay disabled until Stop runs.
    h.window->selectFrame(2);
    QVERIFY(h.frameViewShown());
    QVERIFY(!h.animationViewShown());
    QVERIFY(h.enabled(QStringLiteral("play")));
    QVERIFY(!h.enabled(QStringLiteral("stop")));
    QVERIFY(!h.enabled(QStringLiteral("Period")));
    QCOMPARE(h.slider(), 2);
}

void TestPlayback::loopChoiceTurnsTheSwitchOff() {
    WindowHarness h;
    h.open(h.writeGif(QStringLiteral("three.gif"), 3, 8, 8, 3));
    auto* fini = h.find<QRadioButton>(QStringLiteral("fini"));
    auto* numLoops = h.find<QSpinBox>(QStringLiteral("NumLoops"));
    QVERIFY(fini->isChecked());
    QCOMPARE(numLoops->value(), 3);
    QVERIFY(numLoops->isEnabled());
    QVERIFY(!h.model().isModified());

    QTest::mouseClick(h.find<QRadioButton>(QStringLiteral("infini")), Qt::LeftButton);
    QVERIFY(h.model().loop().infinite);
    QVERIFY(!numLoops->isEnabled());
    QVERIFY(h.enabled(QStringLiteral("save")));
    QVERIFY(!h.find<vorlane::AnimationView>(QStringLiteral("gif"))->switchedOn());

    QTest::mouseClick(fini, Qt::LeftButton);
    QVERIFY(numLoops->isEnabled());
    numLoops->setValue(7);
    QCOMPARE(h.model().loop().count, 7);
    QCOMPARE(h.model().imageForSaving({}).frame(0).extensions.front()->loopCount(),
             std::optional<uint16_t>(7));
}

void TestPlayback::centringAndMarker() {
    vorlane::PreviewBox box;
    box.resize(633, 405);
    box.show();
    QVERIFY(QTest::qWaitForWindowExposed(&box));
    QCOMPARE(box.viewport()->size(), QSize(633, 405));
    QCOMPARE(box.marker()->pos(), QPoint(0, 0));
    QCOMPARE(box.marker()->size(), QSize(0, 0));

    auto image = vorlane::test::makeAnimation(2, 200, 100);
    box.animationView()->setImage(image.get());
    box.setMarker(QSize(200, 100));
    box.BoxResize();
    QCOMPARE(box.animationView()->geometry(), QRect(216, 152, 200, 100));
    QCOMPARE(box.marker()->pos(), QPoint(200, 100));
    box.animationView()->setImage(nullptr);
}

void TestPlayback::animationLargerThanTheBoxIsReachable() {
    vorlane::PreviewBox box;
    box.resize(300, 200);
    box.show();
    QVERIFY(QTest::qWaitForWindowExposed(&box));
    auto image = vorlane::test::makeAnimation(1, 640, 480);
    box.animationView()->setImage(image.get());
    box.setMarker(QSize(640, 480));
    box.BoxResize();
    // The box scrolls over the whole animation, and the view starts at its origin, so
    // no part of the animation lies where scrolling cannot reach.
    QCOMPARE(box.animationView()->pos(), QPoint(0, 0));
    QCOMPARE(box.widget()->size(), QSize(640, 480));
    QVERIFY(box.horizontalScrollBar()->maximum() > 0);
    box.animationView()->setImage(nullptr);
}

void TestPlayback::framesFollowTheTimeline() {
    // Regression: each frame was timed from the moment the previous one fired, so late
    // timers added up (100 frames of 20 ms took 2.10 s). Every frame is due at the start
    // plus the sum of the delays before it, however late its timer fires.
    vorlane::test::AnimationRecords forever;
    forever.loops = 0;
    auto image = vorlane::test::makeAnimation(100, 4, 4, forever);
    for (size_t i = 0; i < image->frameCount(); ++i)
        image->frame(i).graphicControl()->delay = 2;
    vorlane::AnimationView view;
    long long now = 5000;
    view.setClock([&now] { return now; });
    view.setImage(image.get());
    view.setSwitch(true);
    QCOMPARE(view.scheduledMs(), 20);
    for (int k = 1; k <= 150; ++k) {
        now = 5000 + 20LL * k + 3; // every timer fires 3 ms late
        view.tick();
        QCOMPARE(view.scheduledMs(), 17);
    }
    // Far behind its timeline (the program was busy), it starts afresh.
    now += 5000;
    view.tick();
    QCOMPARE(view.scheduledMs(), 20);
    view.setSwitch(false);
    QCOMPARE(view.scheduledMs(), -1);
}

QTEST_MAIN(TestPlayback)
#include "tst_playback.moc"
