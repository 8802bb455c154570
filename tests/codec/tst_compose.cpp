// SPDX-License-Identifier: GPL-3.0-or-later
// Composition of the picture shown at each frame: disposal, clipping, transparency,
// colour tables, and incremental composition against a plain reference.

#include <QTest>

#include "codec/Compositor.h"
#include "codec/TestAnimations.h"

using namespace vorlane::gif;
using namespace vorlane::test;

namespace {

constexpr uint32_t A = 0xFF0000FFu; // colours as the canvas holds them
constexpr uint32_t B = 0xFF00FF00u;
constexpr uint32_t C = 0xFFFF0000u;
constexpr uint32_t Black = 0xFF000000u;
const ColorTable Abc = {{0, 0, 255}, {0, 255, 0}, {255, 0, 0}};

QList<uint32_t> row(Compositor& c, size_t i, int y = 0) {
    const uint32_t* canvas = c.compose(i);
    return QList<uint32_t>(canvas + y * c.width(), canvas + (y + 1) * c.width());
}

} // namespace

class TestCompose : public QObject {
    Q_OBJECT
private Q_SLOTS:
    // Screen 4 x 1: A everywhere (kept), then B over x 1..2 with the disposal under test,
    // then C at x 3. The last picture shows what the disposal left.
    void disposalOfAPartialFrame_data() {
        QTest::addColumn<int>("code");
        QTest::addColumn<QList<uint32_t>>("expected");
        const QList<uint32_t> kept = {A, B, B, C};
        QTest::newRow("0 unspecified") << 0 << kept;
        QTest::newRow("1 leave") << 1 << kept;
        QTest::newRow("2 background clears to transparent") << 2 << QList<uint32_t>{A, 0, 0, C};
        QTest::newRow("3 previous") << 3 << QList<uint32_t>{A, A, A, C};
        QTest::newRow("4 acts as previous") << 4 << QList<uint32_t>{A, A, A, C};
        QTest::newRow("5 acts as leave") << 5 << kept;
        QTest::newRow("7 acts as leave") << 7 << kept;
        QTest::newRow("no graphic control") << -1 << kept;
    }
    void disposalOfAPartialFrame() {
        QFETCH(int, code);
        QFETCH(QList<uint32_t>, expected);
        GifImage g = blankImage(4, 1);
        g.appendFrame(makeFrame(0, 0, 4, 1, {0, 0, 0, 0}, Abc, 1));
        g.appendFrame(makeFrame(1, 0, 2, 1, {1, 1}, Abc, code));
        g.appendFrame(makeFrame(3, 0, 1, 1, {2}, Abc, 0));
        Compositor c(g);
        QCOMPARE(row(c, 1), (QList<uint32_t>{A, B, B, A}));
        QCOMPARE(row(c, 2), expected);
        Compositor fresh(g);
        QCOMPARE(row(fresh, 2), expected);
    }

    void restoreToPreviousAfterRestoreToBackground() {
        // A full (kept), B over 0..2 cleared afterwards, C over 1..3 restored afterwards:
        // C must give back the cleared pixels, not B's.
        GifImage g = blankImage(4, 1);
        g.appendFrame(makeFrame(0, 0, 4, 1, {0, 0, 0, 0}, Abc, 1));
        g.appendFrame(makeFrame(0, 0, 3, 1, {1, 1, 1}, Abc, 2));
        g.appendFrame(makeFrame(1, 0, 3, 1, {2, 2, 2}, Abc, 3));
        g.appendFrame(makeFrame(0, 0, 1, 1, {1}, Abc, 1));
        Compositor c(g);
        QCOMPARE(row(c, 2), (QList<uint32_t>{0, C, C, C}));
        QCOMPARE(row(c, 3), (QList<uint32_t>{B, 0, 0, A}));
    }

    void fullScreenFrameWithRestoreToPreviousIsUndone() {
        // The opaque full-screen B is undone after it is shown, so frame 2 shows A again
        // however it is reached: composition may not restart from B.
        GifImage g = blankImage(4, 1);
        g.appendFrame(makeFrame(0, 0, 2, 1, {0, 0}, Abc, 1));
        g.appendFrame(makeFrame(0, 0, 4, 1, {1, 1, 1, 1}, Abc, 3));
        g.appendFrame(makeFrame(3, 0, 1, 1, {2}, Abc, 1));
        const QList<uint32_t> expected = {A, A, 0, C};
        Compositor fresh(g);
        QCOMPARE(row(fresh, 2), expected);
        Compositor stepwise(g);
        QCOMPARE(row(stepwise, 1), (QList<uint32_t>{B, B, B, B}));
        QCOMPARE(row(stepwise, 2), expected);
        QCOMPARE(row(stepwise, 0), (QList<uint32_t>{A, A, 0, 0}));
    }

    void opaqueFullScreenFrameHidesWhatCameBefore() {
        GifImage g = blankImage(3, 1);
        g.appendFrame(makeFrame(0, 0, 1, 1, {0}, Abc, 1));
        g.appendFrame(makeFrame(0, 0, 3, 1, {1, 1, 1}, Abc, 1));
        g.appendFrame(makeFrame(1, 0, 1, 1, {2}, Abc, 2));
        g.appendFrame(makeFrame(2, 0, 1, 1, {0}, Abc, 1));
        Compositor c(g);
        QCOMPARE(row(c, 3), (QList<uint32_t>{B, 0, A}));
        QCOMPARE(row(c, 0), (QList<uint32_t>{A, 0, 0}));
        QCOMPARE(row(c, 2), (QList<uint32_t>{B, C, B}));
    }

    void framesReachingOutsideTheScreenAreClipped() {
        // Screen 3 x 2; a 3 x 3 frame at (2, 1) has one visible pixel, its bottom-right
        // pixel; clearing it touches only that pixel.
        GifImage g = blankImage(3, 2);
        g.appendFrame(makeFrame(0, 0, 3, 2, Bytes(6, 0), Abc, 1));
        g.appendFrame(makeFrame(2, 1, 3, 3, {1, 2, 2, 2, 2, 2, 2, 2, 2}, Abc, 2));
        g.appendFrame(makeFrame(5, 5, 1, 1, {2}, Abc, 1));
        Compositor c(g);
        QCOMPARE(row(c, 1, 1), (QList<uint32_t>{A, A, B}));
        QCOMPARE(row(c, 1, 0), (QList<uint32_t>{A, A, A}));
        QCOMPARE(row(c, 2, 1), (QList<uint32_t>{A, A, 0}));
        QCOMPARE(row(c, 2, 0), (QList<uint32_t>{A, A, A}));
        QCOMPARE(c.frameRect(2), QRect());
    }

    void transparentIndexLeavesWhatIsBelow() {
        GifImage g = blankImage(3, 1);
        g.appendFrame(makeFrame(0, 0, 3, 1, {0, 0, 0}, Abc, 1));
        g.appendFrame(makeFrame(0, 0, 3, 1, {1, 2, 1}, Abc, 1, 1));
        Frame flagOff = makeFrame(0, 0, 3, 1, {1, 0, 0}, Abc, 1, 1);
        flagOff.graphicControl()->transparent = false; // index set, flag clear: drawn
        g.appendFrame(std::move(flagOff));
        Compositor c(g);
        QCOMPARE(row(c, 1), (QList<uint32_t>{A, C, A}));
        QCOMPARE(row(c, 2), (QList<uint32_t>{B, A, A}));
    }

    void colourTables() {
        GifImage g = blankImage(4, 1);
        g.setGlobalColors({{9, 9, 9}, {0, 0, 255}});
        g.appendFrame(makeFrame(0, 0, 4, 1, {0, 1, 2, 200}, {}, 1));  // global, short
        g.appendFrame(makeFrame(0, 0, 2, 1, {0, 1}, {{1, 2, 3}}, 1)); // local wins
        Compositor c(g);
        QCOMPARE(row(c, 0), (QList<uint32_t>{0xFF090909u, A, Black, Black}));
        QCOMPARE(row(c, 1), (QList<uint32_t>{0xFF010203u, Black, Black, Black}));

        GifImage bare = blankImage(2, 1);
        bare.appendFrame(makeFrame(0, 0, 2, 1, {0, 5}, {}, 1, 5)); // no table at all
        Compositor b(bare);
        QCOMPARE(row(b, 0), (QList<uint32_t>{Black, 0}));
    }

    void pictureAndErrors() {
        GifImage g = blankImage(2, 2);
        g.appendFrame(makeFrame(1, 1, 1, 1, {2}, Abc));
        Compositor c(g);
        const QImage p = c.picture(0);
        QCOMPARE(p.format(), QImage::Format_ARGB32);
        QCOMPARE(p.size(), QSize(2, 2));
        QCOMPARE(p.pixel(1, 1), C);
        QCOMPARE(p.pixel(0, 0), 0u);
        QVERIFY_THROWS_EXCEPTION(GifError, c.compose(1));
        // A screen grown in memory past what files may declare is refused, not allocated.
        QVERIFY_THROWS_EXCEPTION(GifError, Compositor(blankImage(65535, 65535)));
    }

    // Any order of requests gives what the plain rule gives.
    void anyOrderMatchesThePlainRule_data() {
        QTest::addColumn<quint32>("seed");
        for (quint32 seed = 1; seed <= 40; ++seed)
            QTest::newRow(qPrintable(QString::number(seed))) << seed;
    }
    void anyOrderMatchesThePlainRule() {
        QFETCH(quint32, seed);
        const GifImage g = randomAnimation(seed, 24, 7, 5);
        const auto expected = referencePictures(g);
        Compositor c(g);
        QRandomGenerator rng(seed);
        for (int k = 0; k < 60; ++k) {
            // Mostly forwards by one, with jumps back and ahead.
            const size_t i = rng.bounded(3) == 0 ? rng.bounded(24)
                                                 : size_t(std::min<long long>(c.current() + 1, 23));
            const uint32_t* canvas = c.compose(i);
            QVERIFY2(std::equal(expected[i].begin(), expected[i].end(), canvas),
                     qPrintable(QStringLiteral("frame %1").arg(i)));
        }
    }

    // Composition at one byte a pixel shows what the plain rule shows, wherever the
    // frames draw at most 255 colours in all; more colours are declined.
    void indexedCompositionMatchesThePlainRule_data() {
        QTest::addColumn<quint32>("seed");
        QTest::addColumn<int>("maxTable");
        for (quint32 seed = 1; seed <= 30; ++seed)
            QTest::addRow("seed %u", seed) << seed << 8;
        QTest::newRow("many colours") << quint32(7) << 256;
    }
    void indexedCompositionMatchesThePlainRule() {
        QFETCH(quint32, seed);
        QFETCH(int, maxTable);
        const GifImage g = randomAnimation(seed, 24, 7, 5, maxTable);
        auto indexed = IndexedCompositor::make(g);
        if (maxTable > 200) {
            QVERIFY(!indexed);
            return;
        }
        QVERIFY(indexed);
        const auto expected = referencePictures(g);
        const auto picture = [&](const Bytes& canvas) {
            Picture shown(canvas.size());
            for (size_t p = 0; p < canvas.size(); ++p) {
                if (canvas[p] == indexed->transparentIndex()) continue;
                const Rgb c = indexed->colors().at(canvas[p]);
                shown[p] = 0xFF000000u | uint32_t(c.r) << 16 | uint32_t(c.g) << 8 | c.b;
            }
            return shown;
        };
        for (size_t i = 0; i < g.frameCount(); ++i) {
            const Picture shown = picture(indexed->next());
            QVERIFY2(shown == expected[i], qPrintable(QStringLiteral("frame %1").arg(i)));
            QCOMPARE(indexed->showsTransparency(),
                     std::find(shown.begin(), shown.end(), 0u) != shown.end());
        }
        // All at once, in bands of one row (the screen is 5 rows high) on several threads.
        std::vector<bool> clear;
        const std::vector<Bytes> all = IndexedCompositor::make(g)->composeAll(clear, {});
        for (size_t i = 0; i < g.frameCount(); ++i) {
            const Picture shown = picture(all[i]);
            QVERIFY2(shown == expected[i], qPrintable(QStringLiteral("all, frame %1").arg(i)));
            QCOMPARE(bool(clear[i]), std::find(shown.begin(), shown.end(), 0u) != shown.end());
        }
    }
};

QTEST_GUILESS_MAIN(TestCompose)
#include "tst_compose.moc"
