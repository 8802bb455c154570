// SPDX-License-Identifier: GPL-3.0-or-later
// Playback order, display times and loop counts.

#include <QTest>

#include "codec/Playback.h"
#include "codec/TestAnimations.h"

using namespace vorlane::gif;
using namespace vorlane::test;

namespace {

// An animation of `frames` 1 x 1 frames with the given delays (cycled), frame 0 carrying
// `records` before its graphic control record.
GifImage animation(int frames, QList<int> delays = {5}, ExtensionList records = {}) {
    GifImage g = blankImage(1, 1);
    for (int i = 0; i < frames; ++i) {
        Frame f =
            makeFrame(0, 0, 1, 1, {0}, {{1, 2, 3}}, 1, -1, uint16_t(delays[i % delays.size()]));
        if (i == 0) f.extensions.insert(f.extensions.begin(), records.begin(), records.end());
        g.appendFrame(std::move(f));
    }
    return g;
}

// The frames shown, from the first, until playback stops or `limit` frames were shown.
QList<int> play(Playback& p, int limit = 100) {
    QList<int> shown = {int(p.frame())};
    while (shown.size() < limit && p.advance())
        shown.push_back(int(p.frame()));
    return shown;
}

} // namespace

class TestPlayback : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void displayTime_data() {
        QTest::addColumn<int>("delay");
        QTest::addColumn<int>("ms");
        QTest::newRow("0 plays as 10") << 0 << 100;
        QTest::newRow("1 plays as 10") << 1 << 100;
        QTest::newRow("2") << 2 << 20;
        QTest::newRow("10") << 10 << 100;
        QTest::newRow("largest") << 65535 << 655350;
    }
    void displayTime() {
        QFETCH(int, delay);
        QFETCH(int, ms);
        QCOMPARE(Playback::displayMs(uint16_t(delay)), ms);
    }

    void loopRecordSetsTheShowings_data() {
        QTest::addColumn<ExtensionList>("records");
        QTest::addColumn<int>("showings"); // -1 for forever
        QTest::newRow("no loop record: once") << ExtensionList{} << 1;
        QTest::newRow("count 0: forever") << ExtensionList{Extension::makeLoop(0)} << -1;
        QTest::newRow("count 1: twice") << ExtensionList{Extension::makeLoop(1)} << 2;
        QTest::newRow("count 3") << ExtensionList{Extension::makeLoop(3)} << 4;
        QTest::newRow("largest count") << ExtensionList{Extension::makeLoop(65535)} << 65536;
        QTest::newRow("ANIMEXTS1.0")
            << ExtensionList{Extension::makeApplication("ANIMEXTS1.0", {Bytes{1, 2, 0}})} << 3;
        QTest::newRow("loop record without a count: once")
            << ExtensionList{Extension::makeApplication("NETSCAPE2.0", {Bytes{2, 0, 1, 0, 0}})}
            << 1;
        QTest::newRow("after a comment")
            << ExtensionList{Extension::makeComment("x"), Extension::makeLoop(2)} << 3;
        QTest::newRow("other application record")
            << ExtensionList{Extension::makeApplication("XMP DataXMP", {Bytes{1, 5, 0}})} << 1;
    }
    void loopRecordSetsTheShowings() {
        QFETCH(ExtensionList, records);
        QFETCH(int, showings);
        const auto got = Playback::showings(animation(2, {5}, records));
        QCOMPARE(got.value_or(-1), showings);
    }

    void loopRecordCountsOnlyOnTheFirstFrame() {
        GifImage g = animation(2);
        g.frame(1).extensions.push_back(Extension::makeLoop(0));
        QCOMPARE(Playback::showings(g).value_or(-1), 1);
    }

    void playsInOrderAndStopsOnTheLastFrame() {
        Playback p(animation(3, {5}, {Extension::makeLoop(1)}));
        QVERIFY(p.running());
        QCOMPARE(play(p), (QList<int>{0, 1, 2, 0, 1, 2}));
        QCOMPARE(p.frame(), size_t(2));
        QCOMPARE(p.showing(), 1);
        QVERIFY(!p.running());
        QVERIFY(!p.advance());
        QCOMPARE(p.frame(), size_t(2));
    }

    void foreverKeepsGoing() {
        Playback p(animation(2, {5}, {Extension::makeLoop(0)}));
        const QList<int> shown = play(p, 1001);
        QCOMPARE(shown.size(), 1001);
        QCOMPARE(shown.last(), 0);
        QVERIFY(p.running());
    }

    void restartBeginsAgain() {
        Playback p(animation(3));
        QCOMPARE(play(p), (QList<int>{0, 1, 2}));
        p.restart();
        QCOMPARE(p.frame(), size_t(0));
        QCOMPARE(p.showing(), 0);
        QCOMPARE(play(p), (QList<int>{0, 1, 2}));
    }

    void singleFramesAndEmptyImagesDoNotMove() {
        Playback one(animation(1, {5}, {Extension::makeLoop(0)}));
        QVERIFY(!one.running());
        QVERIFY(!one.advance());
        Playback none{GifImage()};
        QCOMPARE(none.frameCount(), size_t(0));
        QVERIFY(!none.advance());
        QCOMPARE(none.frame(), size_t(0));
        QCOMPARE(none.displayMs(), 100);
    }

    void displayTimeFollowsTheFrameOnScreen() {
        GifImage g = animation(3, {7, 0, 250});
        g.frame(1).graphicControlRecord.reset(); // no record: delay 0
        g.frame(1).extensions.clear();
        Playback p(g);
        QList<int> times;
        do
            times.push_back(p.displayMs());
        while (p.advance());
        QCOMPARE(times, (QList<int>{70, 100, 2500}));

        // Loading again picks up changed delays and starts over.
        g.frame(2).graphicControl()->delay = 3;
        p.load(g);
        QCOMPARE(p.frame(), size_t(0));
        p.advance();
        p.advance();
        QCOMPARE(p.displayMs(), 30);
    }
};

QTEST_GUILESS_MAIN(TestPlayback)
#include "tst_playback.moc"
