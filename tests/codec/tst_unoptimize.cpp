// SPDX-License-Identifier: GPL-3.0-or-later
// Unoptimize: every new frame is the full picture shown at that frame, and composing the
// new image shows exactly what the source shows, for every disposal method.

#include <QTest>

#include "codec/Compositor.h"
#include "codec/TestAnimations.h"
#include "codec/Unoptimize.h"
#include "support/GifBuilder.h"

using namespace vorlane::gif;
using namespace vorlane::test;

namespace {

const ColorTable Abc = {{0, 0, 255}, {0, 255, 0}, {255, 0, 0}};

int distance(uint32_t a, Rgb b) {
    const int dr = int((a >> 16) & 0xFF) - b.r, dg = int((a >> 8) & 0xFF) - b.g,
              db = int(a & 0xFF) - b.b;
    return dr * dr + dg * dg + db * db;
}

// Checks frame by frame that `out` shows what `source` shows: exactly where the source's
// picture has at most 256 colours, else transparent where the source is, and each other
// pixel in the nearest colour the frame's table offers.
void checkShowsTheSame(const GifImage& source, const GifImage& out) {
    QCOMPARE(out.frameCount(), source.frameCount());
    Compositor expected(source), actual(out);
    const size_t area = size_t(source.screenWidth) * source.screenHeight;
    for (size_t i = 0; i < source.frameCount(); ++i) {
        const Frame& f = out.frame(i);
        QCOMPARE(f.left, uint16_t(0));
        QCOMPARE(f.top, uint16_t(0));
        QCOMPARE(f.width(), source.screenWidth);
        QCOMPARE(f.height(), source.screenHeight);
        QVERIFY(!f.localColors().empty());
        const uint32_t* want = expected.compose(i);
        const uint32_t* got = actual.compose(i);
        std::vector<uint32_t> distinct(want, want + area);
        std::sort(distinct.begin(), distinct.end());
        const bool exact = std::unique(distinct.begin(), distinct.end()) - distinct.begin() <= 256;
        for (size_t p = 0; p < area; ++p) {
            if (exact || want[p] == 0 || got[p] == 0) {
                if (want[p] != got[p])
                    QFAIL(qPrintable(QStringLiteral("frame %1 pixel %2: %3 instead of %4")
                                         .arg(i)
                                         .arg(p)
                                         .arg(got[p], 8, 16)
                                         .arg(want[p], 8, 16)));
                continue;
            }
            const int chosen = distance(want[p], f.localColors()[f.pixels()[p]]);
            for (size_t k = 0; k < f.localColors().size(); ++k)
                if (!f.graphicControl() || !f.graphicControl()->transparent ||
                    k != f.graphicControl()->transparentIndex)
                    QVERIFY(chosen <= distance(want[p], f.localColors()[k]));
        }
    }
}

} // namespace

class TestUnoptimize : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void smallFramesBecomeFullPictures() {
        // Full-size frame 0 kept in place, then a 2 x 2 corner: frame 1 of the result
        // is frame 0 with the corner drawn over it.
        GifImage g = blankImage(4, 3);
        g.appendFrame(makeFrame(0, 0, 4, 3, Bytes(12, 0), Abc, 1));
        g.appendFrame(makeFrame(2, 1, 2, 2, {1, 2, 2, 1}, Abc, 1));
        // Full size at (0, 0) and opaque, and showing the same, frame 1's own pixels are the
        // picture shown.
        const GifImage out = unoptimize(g);
        QVERIFY(!out.frame(1).graphicControl()->transparent);
        checkShowsTheSame(g, out);
    }

    // Every disposal method, each on a partial frame and on a full-screen one.
    void everyDisposalShowsTheSame_data() {
        QTest::addColumn<int>("code");
        QTest::addColumn<bool>("fullScreen");
        for (int code = -1; code <= 7; ++code)
            for (bool full : {false, true})
                QTest::addRow("disposal %d, %s", code, full ? "full screen" : "partial")
                    << code << full;
    }
    void everyDisposalShowsTheSame() {
        QFETCH(int, code);
        QFETCH(bool, fullScreen);
        GifImage g = blankImage(5, 2);
        g.appendFrame(makeFrame(1, 0, 3, 2, {0, 0, 0, 1, 1, 1}, Abc, 1));
        g.appendFrame(fullScreen ? makeFrame(0, 0, 5, 2, {2, 2, 0, 2, 2, 1, 1, 1, 1, 2}, Abc, code)
                                 : makeFrame(2, 1, 3, 1, {2, 2, 2}, Abc, code, 1));
        g.appendFrame(makeFrame(0, 1, 2, 1, {1, 2}, Abc, 3, 2));
        g.appendFrame(makeFrame(4, 0, 1, 1, {0}, Abc, 2));
        g.appendFrame(makeFrame(3, 0, 2, 2, {1, 1, 1, 1}, Abc, 0, 0));
        checkShowsTheSame(g, unoptimize(g));
    }

    void randomAnimationsShowTheSame_data() {
        QTest::addColumn<quint32>("seed");
        QTest::addColumn<int>("maxTable");
        for (quint32 seed = 1; seed <= 30; ++seed)
            QTest::addRow("seed %u, small tables", seed) << seed << 8;
        // Large tables push the screen past 256 colours and back.
        for (quint32 seed = 31; seed <= 45; ++seed)
            QTest::addRow("seed %u, large tables", seed) << seed << 256;
    }
    void randomAnimationsShowTheSame() {
        QFETCH(quint32, seed);
        QFETCH(int, maxTable);
        const GifImage g =
            randomAnimation(seed, 30, maxTable > 8 ? 23 : 9, maxTable > 8 ? 17 : 6, maxTable);
        checkShowsTheSame(g, unoptimize(g));
    }

    void coloursComeAndGoPastTheLimit() {
        // 18 x 18 screen: 300 colours on screen at frame 1 (octree), back to 4 at frame 2
        // (exact again, every slot re-resolved), then small changes.
        GifImage g = blankImage(18, 18);
        const ColorTable grid = distinctTable(256);
        const Bytes all = counting(256);
        g.appendFrame(makeFrame(0, 0, 16, 16, all, grid, 1));
        Bytes more = counting(18 * 2);
        for (uint8_t& v : more)
            v += 100;
        const ColorTable other = makeTable(256, [](int k) { return Rgb{uint8_t(k), 3, 250}; });
        g.appendFrame(makeFrame(0, 16, 18, 2, more, other, 1));
        g.appendFrame(makeFrame(0, 0, 18, 18, Bytes(18 * 18, 1), Abc, 1, -1));
        g.appendFrame(makeFrame(3, 3, 2, 2, {0, 2, 2, 0}, Abc, 2));
        g.appendFrame(makeFrame(0, 0, 16, 16, all, grid, 3));
        g.appendFrame(makeFrame(5, 5, 1, 1, {0}, Abc, 0));
        const GifImage out = unoptimize(g);
        checkShowsTheSame(g, out);
        QVERIFY(out.frame(1).localColors().size() <= 256);
        QVERIFY(out.frame(1).graphicControl()->transparent); // right of the grid: untouched
        QVERIFY(!out.frame(2).graphicControl()->transparent);
    }

    void colourArrivingWhilePaletteIsFullIsMappedOnceItFits() {
        // 16 x 17 screen with exactly 256 colours (the last row repeats the first). A new
        // colour over a repeated one makes 257; then a column removes 16 colours, and the
        // newcomer, which found no free entry on arrival, must show in its own colour.
        GifImage g = blankImage(16, 17);
        const ColorTable grid = makeTable(256, [](int k) {
            return Rgb{uint8_t(k), uint8_t(k / 3), uint8_t(255 - k)};
        });
        g.appendFrame(makeFrame(0, 0, 16, 17, counting(16 * 17), grid, 1));
        g.appendFrame(makeFrame(0, 16, 1, 1, {0}, {{1, 250, 1}}, 1));
        g.appendFrame(makeFrame(1, 0, 1, 17, Bytes(17, 2), grid, 1));
        const GifImage out = unoptimize(g);
        checkShowsTheSame(g, out);
        const Frame& last = out.frame(2);
        QCOMPARE(last.localColors()[last.pixels()[16 * 16]], (Rgb{1, 250, 1}));
    }

    void transparencyIsResolvedAgain() {
        GifImage g = blankImage(3, 1);
        // Opaque full frame whose record names a transparent index it never uses: the
        // flag goes, as the old index would name an arbitrary colour of the new table.
        Frame first = makeFrame(0, 0, 3, 1, {0, 1, 2}, Abc, 1, 7);
        g.appendFrame(std::move(first));
        // No record at all, drawn after a clear: it needs one to show its transparency.
        g.frame(0).graphicControl()->disposal = 2;
        g.appendFrame(makeFrame(1, 0, 1, 1, {2}, Abc));
        const GifImage out = unoptimize(g);
        QVERIFY(!out.frame(0).graphicControl()->transparent);
        const Frame& second = out.frame(1);
        QVERIFY(second.graphicControlRecord);
        QCOMPARE(second.extensions.size(), size_t(1));
        QVERIFY(second.extensions[0] == second.graphicControlRecord);
        const GraphicControl& gc = *second.graphicControl();
        QVERIFY(gc.transparent);
        QCOMPARE(gc.disposal, uint8_t(0));
        QCOMPARE(gc.delay, uint16_t(0));
        QCOMPARE(second.pixels()[0], gc.transparentIndex);
        QCOMPARE(second.pixels()[2], gc.transparentIndex);
        QVERIFY(second.pixels()[1] != gc.transparentIndex);
        checkShowsTheSame(g, out);
    }

    void recordsAndScreenCarryOver() {
        GifImage g = blankImage(2, 2);
        g.backgroundIndex = 1;
        g.aspect = 49;
        g.transparent = true;
        g.setGlobalColors({{5, 5, 5}, {6, 6, 6}});
        g.trailingExtensions.push_back(Extension::makeComment("after"));
        Frame f = makeFrame(0, 0, 1, 1, {0}, {}, 2, -1, 25);
        f.extensions.insert(f.extensions.begin(), Extension::makeLoop(3));
        f.extensions.push_back(Extension::makeComment("hello"));
        f.interlaced = true;
        g.appendFrame(std::move(f));

        const GifImage out = unoptimize(g);
        QCOMPARE(out.screenWidth, uint16_t(2));
        QCOMPARE(out.screenHeight, uint16_t(2));
        QCOMPARE(out.backgroundIndex, uint8_t(1));
        QCOMPARE(out.aspect, uint8_t(49));
        QVERIFY(out.transparent);
        QCOMPARE(out.trailingExtensions.size(), size_t(1));
        QVERIFY(out.trailingExtensions[0] != g.trailingExtensions[0]);
        QCOMPARE(out.trailingExtensions[0]->text(), std::string("after"));

        const Frame& o = out.frame(0);
        QVERIFY(o.interlaced);
        QCOMPARE(o.extensions.size(), size_t(3));
        QCOMPARE(*o.extensions[0]->loopCount(), uint16_t(3));
        QVERIFY(o.extensions[1] == o.graphicControlRecord);
        QVERIFY(o.graphicControlRecord != g.frame(0).graphicControlRecord);
        QCOMPARE(o.graphicControl()->delay, uint16_t(25));
        QCOMPARE(o.graphicControl()->disposal, uint8_t(2));
        QCOMPARE(o.extensions[2]->text(), std::string("hello"));
        // Three pixels nothing was drawn on: transparent, in the background colour.
        QVERIFY(o.graphicControl()->transparent);
        const uint8_t t = o.graphicControl()->transparentIndex;
        QCOMPARE(o.localColors()[t], (Rgb{6, 6, 6}));
        QCOMPARE(o.pixels(), (Bytes{uint8_t(t == 0 ? 1 : 0), t, t, t}));
        QCOMPARE(o.localColors()[o.pixels()[0]], (Rgb{5, 5, 5}));
        // The source is untouched.
        QCOMPARE(g.frame(0).width(), uint16_t(1));
    }

    void progressIsReported() {
        GifImage g = randomAnimation(9, 5, 4, 4);
        QList<int> stages, percents;
        QList<ProgressMessage> messages;
        g.onProgress = [&](Stage s, int percent, ProgressMessage m) {
            stages.push_back(int(s));
            percents.push_back(percent);
            messages.push_back(m);
        };
        unoptimize(g);
        QCOMPARE(stages.front(), int(Stage::Starting));
        QCOMPARE(stages.back(), int(Stage::Ending));
        QVERIFY(stages.count(int(Stage::Running)) >= 1);
        QCOMPARE(percents.back(), 100);
        QVERIFY(std::is_sorted(percents.begin(), percents.end()));
        QVERIFY(std::all_of(messages.begin(), messages.end(),
                            [](ProgressMessage m) { return m == ProgressMessage::Rendering; }));
    }

    void writtenAndReadBackShowsTheSame() {
        // A file with a global table, partial frames, every disposal, transparency and a
        // frame without a graphic control record: unoptimized, written and read again, it
        // still shows what the file shows.
        GifBuilder b;
        b.header().screen(6, 4, {0xFF0000, 0x00FF00, 0x0000FF, 0xFFFFFF}).loop(0);
        b.graphicControl(1, 10).image(0, 0, 6, 4, Bytes(24, 3));
        b.graphicControl(2, 10, 0).image(1, 1, 3, 2, {0, 1, 0, 2, 0, 1});
        b.graphicControl(3, 10, 1).image(2, 0, 4, 2, {1, 2, 2, 1, 0, 1, 1, 0},
                                         {0x123456, 0x654321});
        b.image(4, 3, 2, 1, {0, 1});
        b.graphicControl(0, 10, 2).image(0, 2, 6, 2, Bytes(12, 2));
        b.trailer();
        GifImage source;
        source.load(b.bytes());
        const GifImage out = unoptimize(source);
        GifImage reread;
        reread.load(out.saveToBytes());
        checkShowsTheSame(source, reread);
        QCOMPARE(*reread.frame(0).extensions[0]->loopCount(), uint16_t(0));
    }

    void emptyImages() {
        GifImage none = blankImage(3, 3);
        QCOMPARE(unoptimize(none).frameCount(), size_t(0));
        QCOMPARE(unoptimize(none).screenWidth, uint16_t(3));
    }
};

QTEST_GUILESS_MAIN(TestUnoptimize)
#include "tst_unoptimize.moc"
