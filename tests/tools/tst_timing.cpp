// SPDX-License-Identifier: GPL-3.0-or-later
// Reverse, yo-yo, keep every n-th, de-duplicate, speed and delay against lists of the
// pictures shown and their delays rearranged by hand: the pictures must stay exact
// (whatever disposal codes the new order needs), delays as the rules say, and frames
// whose pixels stay must share their source's buffers.

#include <set>

#include <QTest>

#include "tools/Timing.h"
#include "tools/ToolModels.h"

using namespace vorlane::gif;
using namespace vorlane::tools;
using namespace vorlane::test;

namespace {

// The source with frame k repeated right after itself for each k in `repeated`, so that
// some neighbours show the same picture.
GifImage withRepeats(const GifImage& source, const std::set<int>& repeated) {
    GifImage g = blankImage(source.screenWidth, source.screenHeight);
    for (size_t i = 0; i < source.frameCount(); ++i) {
        g.appendFrame(source.frame(i).clone());
        if (repeated.count(int(i))) g.appendFrame(source.frame(i).clone());
    }
    return g;
}

// Whether every frame of `result` shares its pixel buffer with some frame of `source`.
bool reusesBuffers(const GifImage& result, const GifImage& source) {
    std::set<const Bytes*> buffers;
    for (const Frame& f : source.frames())
        buffers.insert(f.sharedPixels().get());
    for (const Frame& f : result.frames())
        if (!buffers.count(f.sharedPixels().get())) return false;
    return true;
}

FrameSet setOf(const QList<int>& frames) {
    if (frames.isEmpty()) return std::nullopt;
    return std::vector<int>(frames.begin(), frames.end());
}

} // namespace

class TestTiming : public QObject {
    Q_OBJECT
private Q_SLOTS:
    // Each row: the tool, its frames (empty: all), and the expected order of the source
    // frames with the delay each result frame gets, as (old index, delay) pairs; a delay
    // of -1 keeps the old frame's delay. The source has 8 frames.
    void rearrangesFramesAndDelays_data() {
        QTest::addColumn<QString>("tool");
        QTest::addColumn<int>("n");
        QTest::addColumn<QList<int>>("frames");
        QTest::addColumn<QList<int>>("order");
        QTest::addColumn<QList<int>>(
            "sums"); // for each result frame, the old frames whose delays add up
        using L = QList<int>;
        QTest::newRow("reverse") << "reverse" << 0 << L{} << L{7, 6, 5, 4, 3, 2, 1, 0} << L{};
        QTest::newRow("reverse a selection")
            << "reverse" << 0 << L{1, 2, 6} << L{0, 6, 2, 3, 4, 5, 1, 7} << L{};
        QTest::newRow("yo-yo") << "yoyo" << 0 << L{} << L{0, 1, 2, 3, 4, 5, 6, 7, 6, 5, 4, 3, 2, 1}
                               << L{};
        QTest::newRow("keep every 3") << "keep" << 3 << L{} << L{0, 3, 6} << L{3, 3, 2};
        QTest::newRow("keep every 1") << "keep" << 1 << L{} << L{0, 1, 2, 3, 4, 5, 6, 7} << L{};
        QTest::newRow("keep every 2 of two runs")
            << "keep" << 2 << L{1, 2, 3, 5, 6} << L{0, 1, 3, 4, 5, 7} << L{1, 2, 1, 1, 2, 1};
        QTest::newRow("keep every 20") << "keep" << 20 << L{} << L{0} << L{8};
    }
    void rearrangesFramesAndDelays() {
        QFETCH(QString, tool);
        QFETCH(int, n);
        QFETCH(QList<int>, frames);
        QFETCH(QList<int>, order);
        QFETCH(QList<int>, sums);
        for (const bool opened : {false, true}) {
            for (const quint32 seed : {21u, 22u, 23u}) {
                const GifImage source = toolInput(seed, opened, 8);
                const Shown before = shownBy(source);
                GifImage result;
                if (tool == QLatin1String("reverse")) result = reverse(source, setOf(frames));
                if (tool == QLatin1String("yoyo")) result = yoyo(source);
                if (tool == QLatin1String("keep")) result = keepEvery(source, n, setOf(frames));
                Shown expected = reordered(before, std::vector<int>(order.begin(), order.end()));
                // Each kept frame lasts as long as the frames it stands for: itself and
                // the `sums[k] - 1` dropped after it.
                for (qsizetype k = 0; k < sums.size(); ++k) {
                    int sum = 0;
                    for (int j = 0; j < sums[k]; ++j)
                        sum += before.delays[size_t(order[k] + j)];
                    expected.delays[size_t(k)] = sum;
                }
                QCOMPARE(shownBy(result), expected);
                if (opened) QVERIFY(reusesBuffers(result, source));
                QCOMPARE(shownBy(source), before);
            }
        }
    }

    // Rows: frames repeated right after themselves (the random frames may repeat one
    // another too), and the frames de-duplicated (empty: all).
    void dedupeDropsRepeatsAndKeepsTheirTime_data() {
        QTest::addColumn<QList<int>>("repeated");
        QTest::addColumn<QList<int>>("frames");
        using L = QList<int>;
        // 6 frames; repeating 1 and 4 makes 8: 0 1 1' 2 3 4 4' 5.
        QTest::newRow("no repeats") << L{} << L{};
        QTest::newRow("two repeats") << L{1, 4} << L{};
        QTest::newRow("only the selected") << L{1, 4} << L{5, 6, 7};
        QTest::newRow("a repeat whose first is not selected") << L{1} << L{2, 3};
    }
    void dedupeDropsRepeatsAndKeepsTheirTime() {
        QFETCH(QList<int>, repeated);
        QFETCH(QList<int>, frames);
        for (const quint32 seed : {31u, 32u, 33u}) {
            const GifImage source = withRepeats(toolInput(seed, true, 6),
                                                std::set<int>(repeated.begin(), repeated.end()));
            const Shown before = shownBy(source);
            // The model: a selected frame showing the picture of the selected frame
            // before it goes, and its delay goes to the kept frame before it.
            auto selected = [&](size_t i) { return frames.isEmpty() || frames.contains(int(i)); };
            Shown expected{before.width, before.height, {}, {}};
            for (size_t i = 0; i < before.pictures.size(); ++i) {
                if (i > 0 && selected(i) && selected(i - 1) &&
                    before.pictures[i] == before.pictures[i - 1]) {
                    expected.delays.back() += before.delays[i];
                    continue;
                }
                expected.pictures.push_back(before.pictures[i]);
                expected.delays.push_back(before.delays[i]);
            }
            if (frames.isEmpty())
                QVERIFY(expected.pictures.size() + size_t(repeated.size()) <=
                        before.pictures.size());
            const GifImage result = dedupe(source, setOf(frames));
            QCOMPARE(shownBy(result), expected);
            QCOMPARE(framesAfterDedupe(source, setOf(frames)), expected.pictures.size());
            QVERIFY(reusesBuffers(result, source));
        }
    }

    // Composed pictures compared, not pixel buffers: a frame that draws nothing shows
    // what the frame before showed, and goes.
    void dedupeComparesWhatIsShown() {
        GifImage g = blankImage(4, 3);
        g.appendFrame(makeFrame(0, 0, 4, 3, counting(12), distinctTable(12), 1, -1, 10));
        g.appendFrame(makeFrame(1, 1, 2, 1, {5, 5}, distinctTable(12), 1, 5, 7));
        g.appendFrame(makeFrame(1, 1, 1, 1, {9}, distinctTable(12), 1, -1, 3));
        const GifImage result = dedupe(g);
        QCOMPARE(shownBy(result).delays, std::vector<int>({17, 3}));
        QCOMPARE(shownBy(result).pictures,
                 std::vector<Picture>({shownBy(g).pictures[0], shownBy(g).pictures[2]}));
    }

    void scaledDelayRoundsHalfUpAndStaysPlayable_data() {
        QTest::addColumn<int>("delay");
        QTest::addColumn<int>("percent");
        QTest::addColumn<int>("expected");
        QTest::newRow("twice as fast") << 10 << 200 << 5;
        QTest::newRow("half as fast") << 10 << 50 << 20;
        QTest::newRow("1.5 rounds up") << 3 << 200 << 2;
        QTest::newRow("2.5 rounds up") << 5 << 200 << 3;
        QTest::newRow("30.3 rounds down") << 10 << 33 << 30;
        QTest::newRow("never below 2") << 3 << 300 << 2;
        QTest::newRow("2 stays 2 however fast") << 2 << 1000 << 2;
        QTest::newRow("0 stays 0") << 0 << 50 << 0;
        QTest::newRow("1 stays 1") << 1 << 10 << 1;
        QTest::newRow("kept at the largest delay") << 65535 << 1 << 65535;
        QTest::newRow("unchanged at 100") << 37 << 100 << 37;
    }
    void scaledDelayRoundsHalfUpAndStaysPlayable() {
        QFETCH(int, delay);
        QFETCH(int, percent);
        QFETCH(int, expected);
        QCOMPARE(scaledDelay(delay, percent), expected);
    }

    void speedAndDelayChangeOnlyTheSelectedDelays_data() {
        QTest::addColumn<QString>("tool");
        QTest::addColumn<QList<int>>("frames");
        QTest::newRow("speed, all") << "speed" << QList<int>{};
        QTest::newRow("speed, some") << "speed" << QList<int>{0, 3, 4};
        QTest::newRow("delay, all") << "delay" << QList<int>{};
        QTest::newRow("delay, some") << "delay" << QList<int>{2, 7};
    }
    void speedAndDelayChangeOnlyTheSelectedDelays() {
        QFETCH(QString, tool);
        QFETCH(QList<int>, frames);
        for (const bool opened : {false, true}) {
            const GifImage source = toolInput(41, opened, 8);
            const Shown before = shownBy(source);
            const bool speed = tool == QLatin1String("speed");
            const GifImage result = speed ? changeSpeed(source, 250, setOf(frames))
                                          : setDelay(source, 13, setOf(frames));
            Shown expected = before;
            for (size_t i = 0; i < expected.delays.size(); ++i)
                if (frames.isEmpty() || frames.contains(int(i)))
                    expected.delays[i] = speed ? scaledDelay(before.delays[i], 250) : 13;
            QCOMPARE(shownBy(result), expected);
            if (opened) QVERIFY(reusesBuffers(result, source));
            QCOMPARE(shownBy(source), before);
        }
    }

    void refusesBadParameters() {
        const GifImage g = toolInput(1, true, 4);
        QVERIFY_THROWS_EXCEPTION(GifError, keepEvery(g, 0));
        QVERIFY_THROWS_EXCEPTION(GifError, changeSpeed(g, 0));
        QVERIFY_THROWS_EXCEPTION(GifError, setDelay(g, 65536));
        QVERIFY_THROWS_EXCEPTION(GifError, reverse(g, std::vector<int>{0, 4}));
        QVERIFY_THROWS_EXCEPTION(GifError, dedupe(g, std::vector<int>{-1}));
    }
};

QTEST_GUILESS_MAIN(TestTiming)
#include "tst_timing.moc"
