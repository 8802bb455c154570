// SPDX-License-Identifier: GPL-3.0-or-later
// Colour reduction: exact palettes for few colours, octree palettes for many, nearest
// mapping, error diffusion and transparent pixels.

#include <QRandomGenerator>
#include <QSet>
#include <QTest>

#include "codec/ColorReduction.h"

using namespace vorlane::gif;

namespace {

int distance(QRgb a, QRgb b) {
    const int dr = qRed(a) - qRed(b), dg = qGreen(a) - qGreen(b), db = qBlue(a) - qBlue(b);
    return dr * dr + dg * dg + db * db;
}

// Noise over a smooth field: many thousands of distinct colours, like a photograph.
QImage photoLike(int w, int h, quint32 seed) {
    QRandomGenerator rng(seed);
    QImage img(w, h, QImage::Format_RGB32);
    for (int y = 0; y < h; ++y) {
        auto* line = reinterpret_cast<QRgb*>(img.scanLine(y));
        for (int x = 0; x < w; ++x)
            line[x] = qRgb((x * 255 / w + int(rng.bounded(24))) & 0xFF,
                           (y * 255 / h + int(rng.bounded(24))) & 0xFF,
                           ((x + y) * 128 / (w + h) + int(rng.bounded(64))) & 0xFF);
    }
    return img;
}

QSet<QRgb> colours(const QImage& img) {
    QSet<QRgb> set;
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x)
            set.insert(img.pixel(x, y) | 0xFF000000u);
    return set;
}

} // namespace

class TestColors : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void fewColoursAreKeptExactly_data() {
        QTest::addColumn<int>("count");
        QTest::addColumn<int>("dither");
        for (int count : {1, 2, 255, 256})
            for (int dither : {0, 1})
                QTest::addRow("%d colours, %s", count, dither ? "dithered" : "nearest")
                    << count << dither;
    }
    void fewColoursAreKeptExactly() {
        QFETCH(int, count);
        QFETCH(int, dither);
        QRandomGenerator rng{quint32(count)};
        QList<QRgb> set;
        for (int k = 0; k < count; ++k)
            set.push_back(qRgb(k, 255 - k, int(rng.bounded(256))));
        QImage img(37, 29, QImage::Format_ARGB32);
        for (int y = 0; y < img.height(); ++y)
            for (int x = 0; x < img.width(); ++x) {
                const int k = y * img.width() + x;
                const QRgb c = set[k < count ? k : int(rng.bounded(count))];
                // Alpha plays no part: a half-transparent pixel keeps its colour.
                img.setPixel(x, y, (x % 5 == 0) ? (c & 0x00FFFFFFu) | 0x80000000u : c);
            }
        const QImage out = reduceColors(img, dither ? Dither::FloydSteinberg : Dither::Nearest);
        QCOMPARE(out.format(), QImage::Format_Indexed8);
        QCOMPARE(out.colorCount(), qsizetype(count));
        for (int y = 0; y < img.height(); ++y)
            for (int x = 0; x < img.width(); ++x)
                QCOMPARE(out.pixel(x, y), img.pixel(x, y) | 0xFF000000u);
    }

    void manyColoursGoDownToTheLimit_data() {
        QTest::addColumn<int>("bits");
        QTest::addColumn<int>("dither");
        for (int bits : {8, 4, 1})
            for (int dither : {0, 1})
                QTest::addRow("%d bits, %s", bits, dither ? "dithered" : "nearest")
                    << bits << dither;
    }
    void manyColoursGoDownToTheLimit() {
        QFETCH(int, bits);
        QFETCH(int, dither);
        const QImage img = photoLike(120, 90, 7);
        QVERIFY(colours(img).size() > 5000);
        const QImage out =
            reduceColors(img, dither ? Dither::FloydSteinberg : Dither::Nearest, bits);
        QCOMPARE(out.size(), img.size());
        QVERIFY(out.colorCount() >= 1);
        QVERIFY(out.colorCount() <= (1 << bits));
        for (int y = 0; y < out.height(); ++y)
            for (int x = 0; x < out.width(); ++x)
                QVERIFY(out.pixelIndex(x, y) < out.colorCount());
    }

    void nearestMappingPicksTheClosestEntry() {
        // Solid blocks (exact octree leaves) amid noise: every pixel gets an entry no
        // other entry beats, and a pixel showing a palette colour gets that very entry.
        QImage img = photoLike(64, 64, 3);
        const QList<QRgb> solid = {qRgb(10, 200, 30), qRgb(250, 250, 250), qRgb(0, 0, 0)};
        for (int y = 0; y < 20; ++y)
            for (int x = 0; x < 64; ++x)
                img.setPixel(x, y, solid[x / 22]);
        const QImage out = reduceColors(img, Dither::Nearest);
        const QList<QRgb> palette = out.colorTable();
        QVERIFY(palette.size() <= 256);
        int selfMapped = 0;
        for (int y = 0; y < img.height(); ++y)
            for (int x = 0; x < img.width(); ++x) {
                const QRgb p = img.pixel(x, y);
                const int chosen = distance(p, palette[out.pixelIndex(x, y)]);
                for (QRgb entry : palette)
                    QVERIFY(chosen <= distance(p, entry));
                if (palette.contains(p)) {
                    QCOMPARE(palette[out.pixelIndex(x, y)], p);
                    ++selfMapped;
                }
            }
        QVERIFY(selfMapped >= 20 * 64);
    }

    void errorDiffusionKeepsTheAverageColour() {
        // A grey ramp with two colours allowed: mapped to the nearest colour each block
        // turns flat, while error diffusion keeps each block's average close.
        QImage img(128, 32, QImage::Format_RGB32);
        for (int y = 0; y < img.height(); ++y)
            for (int x = 0; x < img.width(); ++x)
                img.setPixel(x, y, qRgb(x * 2, x * 2, x * 2));
        const QImage nearest = reduceColors(img, Dither::Nearest, 1);
        const QImage dithered = reduceColors(img, Dither::FloydSteinberg, 1);
        QCOMPARE(nearest.colorCount(), qsizetype(2));
        const int low = std::min(qGray(nearest.color(0)), qGray(nearest.color(1)));
        const int high = std::max(qGray(nearest.color(0)), qGray(nearest.color(1)));
        // Over the blocks whose average the two colours can mix.
        auto blockError = [&](const QImage& out) {
            long long total = 0;
            for (int bx = 0; bx < img.width(); bx += 16) {
                long long original = 0, mapped = 0;
                for (int y = 0; y < img.height(); ++y)
                    for (int x = bx; x < bx + 16; ++x) {
                        original += qGray(img.pixel(x, y));
                        mapped += qGray(out.pixel(x, y));
                    }
                const long long n = 16 * img.height();
                if (original / n > low && original / n < high)
                    total += std::abs(original - mapped) / n;
            }
            return total;
        };
        QCOMPARE(dithered.size(), img.size());
        QVERIFY(dithered.colorCount() <= 2);
        QVERIFY2(
            blockError(dithered) * 4 < blockError(nearest),
            qPrintable(
                QStringLiteral("%1 vs %2").arg(blockError(dithered)).arg(blockError(nearest))));
    }

    void transparentPixelsGetAnEntryOfTheirOwn_data() {
        QTest::addColumn<bool>("manyColours");
        QTest::newRow("few colours") << false;
        QTest::newRow("many colours") << true;
    }
    void transparentPixelsGetAnEntryOfTheirOwn() {
        QFETCH(bool, manyColours);
        QImage img = photoLike(40, 40, 5).convertToFormat(QImage::Format_ARGB32);
        if (!manyColours) {
            img = QImage(16, 16, QImage::Format_ARGB32);
            for (int y = 0; y < 16; ++y)
                for (int x = 0; x < 16; ++x)
                    img.setPixel(x, y, qRgb(x * 16, y * 16, 7)); // 256 colours
            img.setPixel(5, 5, 0); // now 255 and transparent: kept exactly
        }
        for (int y = 0; y < img.height(); y += 3)
            img.setPixel(y % img.width(), y, 0); // transparent
        const int w = img.width(), h = img.height();
        Bytes out(size_t(w) * h);
        ColorReducer reducer;
        const PixelView view{reinterpret_cast<const uint32_t*>(img.constBits()), w, h,
                             img.bytesPerLine() / 4};
        const ReductionResult r =
            reducer.reduce(view, out.data(), w, Dither::Nearest, 256, Rgb{1, 2, 3});
        QVERIFY(r.transparentIndex);
        QVERIFY(r.colors.size() <= 256);
        QCOMPARE(r.colors[*r.transparentIndex], (Rgb{1, 2, 3}));
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                const uint8_t index = out[size_t(y) * w + x];
                QCOMPARE(index == *r.transparentIndex, qAlpha(img.pixel(x, y)) == 0);
                if (!manyColours && index != *r.transparentIndex) {
                    const Rgb c = r.colors[index];
                    QCOMPARE(qRgb(c.r, c.g, c.b), img.pixel(x, y));
                }
            }
        // The reducer keeps its buffers: a second run gives the same answer.
        Bytes again(out.size());
        const ReductionResult r2 =
            reducer.reduce(view, again.data(), w, Dither::Nearest, 256, Rgb{1, 2, 3});
        QCOMPARE(again, out);
        QVERIFY(r2.colors == r.colors);
    }
};

QTEST_GUILESS_MAIN(TestColors)
#include "tst_colors.moc"
