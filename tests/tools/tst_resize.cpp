// SPDX-License-Identifier: GPL-3.0-or-later
// Resize against a reference resampler written here the plain way (every new pixel
// summed straight from the source pixels under it, in two dimensions, in doubles):
// within a PSNR bound, since the result is reduced to 256 colours again; nearest
// neighbour exactly. Sizes for the dialogs' fields; clean transparent edges.

#include <cmath>

#include <QTest>

#include "tools/Resize.h"
#include "tools/ToolModels.h"

using namespace vorlane::gif;
using namespace vorlane::tools;
using namespace vorlane::test;

namespace {

enum class Kernel { Area, Cubic, Lanczos };

double catmullRom(double x) {
    const double a = -0.5;
    x = std::abs(x);
    if (x < 1) return (a + 2) * x * x * x - (a + 3) * x * x + 1;
    if (x < 2) return a * x * x * x - 5 * a * x * x + 8 * a * x - 4 * a;
    return 0;
}

double lanczos(double x) {
    if (x == 0) return 1;
    if (std::abs(x) >= 3) return 0;
    const double pi = 3.14159265358979323846;
    return 3 * std::sin(pi * x) * std::sin(pi * x / 3) / (pi * pi * x * x);
}

// The weight of source pixel s for new pixel o along one axis of n -> m pixels
// (growing, for the kernels), before normalising.
double weight(Kernel kernel, int n, int m, int o, int s) {
    if (kernel == Kernel::Area) {
        const double begin = double(o) * n / m;
        const double end = double(o + 1) * n / m;
        return std::max(0.0, std::min(end, s + 1.0) - std::max(begin, double(s)));
    }
    const double centre = (o + 0.5) * n / m - 0.5;
    return kernel == Kernel::Cubic ? catmullRom(s - centre) : lanczos(s - centre);
}

// Source pixels beyond the edges are the edge pixels.
Picture referenceResize(const Picture& p, int w, int h, int nw, int nh, Kernel kx, Kernel ky) {
    Picture out(size_t(nw) * nh);
    const int reach = 4;
    for (int y = 0; y < nh; ++y)
        for (int x = 0; x < nw; ++x) {
            const int cx = int(std::floor((x + 0.5) * w / nw));
            const int cy = int(std::floor((y + 0.5) * h / nh));
            const int spanX = kx == Kernel::Area ? w / nw + 2 : reach;
            const int spanY = ky == Kernel::Area ? h / nh + 2 : reach;
            double r = 0, g = 0, b = 0, a = 0, total = 0;
            for (int sy = cy - spanY; sy <= cy + spanY; ++sy)
                for (int sx = cx - spanX; sx <= cx + spanX; ++sx) {
                    const double wgt = weight(kx, w, nw, x, sx) * weight(ky, h, nh, y, sy);
                    if (wgt == 0) continue;
                    total += wgt;
                    const uint32_t c =
                        p[size_t(std::clamp(sy, 0, h - 1)) * w + std::clamp(sx, 0, w - 1)];
                    if (c == 0) continue;
                    r += wgt * ((c >> 16) & 0xFF);
                    g += wgt * ((c >> 8) & 0xFF);
                    b += wgt * (c & 0xFF);
                    a += wgt;
                }
            a /= total;
            if (a < 0.5) continue;
            auto channel = [&](double v) {
                return uint32_t(std::clamp(std::lround(v / total / a), 0L, 255L));
            };
            out[size_t(y) * nw + x] = 0xFF000000u | channel(r) << 16 | channel(g) << 8 | channel(b);
        }
    return out;
}

struct Comparison {
    double psnr = 0;          // over the colour channels of pixels drawn in both
    double clearMismatch = 0; // share of pixels drawn in one and clear in the other
};

Comparison compare(const Picture& a, const Picture& b) {
    double squared = 0;
    size_t both = 0, mismatch = 0;
    for (size_t p = 0; p < a.size(); ++p) {
        if ((a[p] == 0) != (b[p] == 0)) {
            ++mismatch;
            continue;
        }
        if (a[p] == 0) continue;
        ++both;
        for (int shift : {0, 8, 16}) {
            const double d = double((a[p] >> shift) & 0xFF) - double((b[p] >> shift) & 0xFF);
            squared += d * d;
        }
    }
    const double mse = both ? squared / (3.0 * both) : 0;
    return {mse == 0 ? 99.0 : 10 * std::log10(255.0 * 255.0 / mse), double(mismatch) / a.size()};
}

} // namespace

class TestResize : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void matchesTheReferenceResampler_data() {
        QTest::addColumn<int>("filter");
        QTest::addColumn<QSize>("size");
        QTest::addColumn<bool>("opened");
        QTest::addColumn<double>("minPsnr");
        QTest::addColumn<QSize>("source");
        struct Row {
            ResizeFilter filter;
            QSize size;
            double minPsnr;
            QSize source = {21, 15};
        };
        // The source is 21 x 15 (unless the row says) with a few colours per frame: shrunk by
        // averaging it keeps under 256 colours and so must match the reference all but exactly;
        // grown, it gets thousands, and the octree palette leaves 30 to 46 dB (measured).
        // 7 x 5 and 7 x 15 shrink by whole factors, which sums whole blocks instead;
        // from 24 x 16, blocks of 4 and 16 pixels divide by shifting.
        const Row rows[] = {
            {ResizeFilter::Auto, {10, 7}, 60},           {ResizeFilter::Auto, {7, 5}, 60},
            {ResizeFilter::Area, {13, 9}, 60},           {ResizeFilter::Auto, {42, 30}, 28},
            {ResizeFilter::Auto, {50, 19}, 28},          {ResizeFilter::Auto, {11, 40}, 28},
            {ResizeFilter::Area, {30, 31}, 28},          {ResizeFilter::Bicubic, {63, 45}, 28},
            {ResizeFilter::Lanczos, {40, 33}, 28},       {ResizeFilter::Area, {7, 15}, 60},
            {ResizeFilter::Area, {12, 8}, 60, {24, 16}}, {ResizeFilter::Auto, {6, 4}, 60, {24, 16}},
        };
        for (const Row& row : rows)
            for (bool opened : {false, true})
                QTest::addRow("%s %dx%d to %dx%d, %s", filterName(row.filter), row.source.width(),
                              row.source.height(), row.size.width(), row.size.height(),
                              opened ? "opened" : "as read")
                    << int(row.filter) << row.size << opened << row.minPsnr << row.source;
    }
    void matchesTheReferenceResampler() {
        QFETCH(int, filter);
        QFETCH(QSize, size);
        QFETCH(bool, opened);
        QFETCH(double, minPsnr);
        QFETCH(QSize, source);
        const auto f = ResizeFilter(filter);
        for (const quint32 seed : {51u, 52u}) {
            const GifImage input = toolInput(seed, opened, 6, source.width(), source.height());
            const Shown before = shownBy(input);
            const GifImage result = resize(input, size, f);
            const Shown after = shownBy(result);
            QCOMPARE(QSize(after.width, after.height), size);
            QCOMPARE(after.delays, before.delays);
            auto kernel = [&](int n, int m) {
                if (f == ResizeFilter::Area || (f == ResizeFilter::Auto && m < n))
                    return Kernel::Area;
                return f == ResizeFilter::Lanczos ? Kernel::Lanczos : Kernel::Cubic;
            };
            for (size_t i = 0; i < before.pictures.size(); ++i) {
                const Picture expected = referenceResize(
                    before.pictures[i], before.width, before.height, size.width(), size.height(),
                    kernel(before.width, size.width()), kernel(before.height, size.height()));
                const Comparison c = compare(after.pictures[i], expected);
                QVERIFY2(c.psnr >= minPsnr && c.clearMismatch <= 0.01,
                         qPrintable(QStringLiteral("frame %1: %2 dB, %3 % clear mismatched")
                                        .arg(i)
                                        .arg(c.psnr)
                                        .arg(c.clearMismatch * 100)));
            }
        }
    }

    void nearestCopiesThePixelUnderEachCentre_data() {
        QTest::addColumn<QSize>("size");
        QTest::newRow("double") << QSize(42, 30);
        QTest::newRow("half") << QSize(10, 7);
        QTest::newRow("odd both ways") << QSize(29, 8);
    }
    void nearestCopiesThePixelUnderEachCentre() {
        QFETCH(QSize, size);
        for (const bool opened : {false, true}) {
            const GifImage source = toolInput(61, opened, 6);
            const Shown before = shownBy(source);
            const Shown expected = remapAll(before, size.width(), size.height(), [&](int x, int y) {
                return std::pair(int(std::floor((x + 0.5) * before.width / size.width())),
                                 int(std::floor((y + 0.5) * before.height / size.height())));
            });
            QCOMPARE(shownBy(resize(source, size, ResizeFilter::Nearest)), expected);
        }
    }

    // A red disc on a clear screen: premultiplied resampling gives its edge pixels the
    // disc's colour, never a blend with the colour of the clear pixels' entry.
    void transparentEdgesStayClean_data() {
        QTest::addColumn<int>("filter");
        QTest::addColumn<QSize>("size");
        QTest::newRow("area, shrinking") << int(ResizeFilter::Area) << QSize(11, 11);
        QTest::newRow("bicubic, growing") << int(ResizeFilter::Bicubic) << QSize(100, 100);
        QTest::newRow("lanczos, growing") << int(ResizeFilter::Lanczos) << QSize(77, 77);
    }
    void transparentEdgesStayClean() {
        QFETCH(int, filter);
        QFETCH(QSize, size);
        GifImage g = blankImage(33, 33);
        Bytes disc(33 * 33, 0);
        for (int y = 0; y < 33; ++y)
            for (int x = 0; x < 33; ++x)
                if ((x - 16) * (x - 16) + (y - 16) * (y - 16) < 144) disc[size_t(y) * 33 + x] = 1;
        // The clear entry is black, the colour a fringe would have.
        g.appendFrame(makeFrame(0, 0, 33, 33, disc, {Rgb{0, 0, 0}, Rgb{255, 0, 0}}, 1, 0));
        const Shown after = shownBy(resize(g, size, ResizeFilter(filter)));
        size_t drawn = 0;
        for (const uint32_t p : after.pictures[0]) {
            if (p == 0) continue;
            ++drawn;
            QCOMPARE(p, 0xFFFF0000u);
        }
        QVERIFY(drawn > size_t(size.width()) * size.height() / 3);
    }

    void sizesForTheFields_data() {
        QTest::addColumn<QSize>("screen");
        QTest::addColumn<int>("width");
        QTest::addColumn<int>("height");
        QTest::addColumn<bool>("keepAspect");
        QTest::addColumn<QSize>("expected");
        QTest::newRow("both given") << QSize(480, 360) << 100 << 100 << false << QSize(100, 100);
        QTest::newRow("height from width")
            << QSize(480, 360) << 240 << 0 << false << QSize(240, 180);
        QTest::newRow("width from height")
            << QSize(480, 360) << 0 << 100 << false << QSize(133, 100);
        QTest::newRow("half rounds up") << QSize(3, 5) << 0 << 3 << false << QSize(2, 3);
        QTest::newRow("never below 1") << QSize(1000, 10) << 10 << 0 << false << QSize(10, 1);
        QTest::newRow("both 0: as it is") << QSize(480, 360) << 0 << 0 << false << QSize(480, 360);
        QTest::newRow("locked, width binds")
            << QSize(480, 360) << 240 << 300 << true << QSize(240, 180);
        QTest::newRow("locked, height binds")
            << QSize(480, 360) << 400 << 150 << true << QSize(200, 150);
    }
    void sizesForTheFields() {
        QFETCH(QSize, screen);
        QFETCH(int, width);
        QFETCH(int, height);
        QFETCH(bool, keepAspect);
        QFETCH(QSize, expected);
        QCOMPARE(resizedSize(screen, width, height, keepAspect), expected);
    }

    void scaledSizes_data() {
        QTest::addColumn<double>("percent");
        QTest::addColumn<QSize>("expected");
        QTest::newRow("half") << 50.0 << QSize(240, 180);
        QTest::newRow("a third, rounded") << 33.3 << QSize(160, 120);
        QTest::newRow("double") << 200.0 << QSize(960, 720);
        QTest::newRow("tiny stays 1") << 0.01 << QSize(1, 1);
    }
    void scaledSizes() {
        QFETCH(double, percent);
        QFETCH(QSize, expected);
        QCOMPARE(scaledSize(QSize(480, 360), percent), expected);
    }

    void refusesSizesBeyondTheLimits_data() {
        QTest::addColumn<QSize>("size");
        QTest::newRow("empty") << QSize(0, 10);
        QTest::newRow("wider than a GIF") << QSize(65536, 1);
        QTest::newRow("more pixels than a screen may have") << QSize(65535, 65535);
    }
    void refusesSizesBeyondTheLimits() {
        QFETCH(QSize, size);
        QVERIFY_THROWS_EXCEPTION(GifError, resize(toolInput(1, true, 2), size));
    }
};

QTEST_GUILESS_MAIN(TestResize)
#include "tst_resize.moc"
