// SPDX-License-Identifier: GPL-3.0-or-later
// The export against independent models: the reference composition of the source (every
// frame, delay and loop count must come back from WebP and APNG, pixel for pixel where
// the format is lossless), the lossy level's bound on every composed pixel, the colour
// count on every table, the size limit, and Pillow as a second decoder.

#include <algorithm>
#include <atomic>
#include <cmath>
#include <set>

#include <QPoint>
#include <QProcess>
#include <QRect>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include "codec/Compositor.h"
#include "codec/Lzw.h"
#include "codec/TestAnimations.h"
#include "export/AnimationFiles.h"
#include "export/Export.h"
#include "export/FlexibleLzw.h"
#include "export/LossyLzw.h"
#include "support/TestData.h"

using namespace vorlane;
using namespace vorlane::gif;
using exporting::ExportSettings;
using exporting::Format;
using test::Picture;

namespace {

// A random animation (every disposal, transparency, local and global tables) with
// delays 0, 1, 7, 12, ... and the given loop record.
GifImage sampleAnimation(quint32 seed, std::optional<uint16_t> loop, int width = 24,
                         int height = 16) {
    GifImage g = test::randomAnimation(seed, 9, width, height);
    for (size_t i = 0; i < g.frameCount(); ++i) {
        Frame& f = g.frame(i);
        if (!f.graphicControlRecord) {
            f.graphicControlRecord = Extension::makeGraphicControl();
            f.extensions.push_back(f.graphicControlRecord);
        }
        f.graphicControl()->delay = uint16_t(i < 2 ? i : 5 * i - 3);
    }
    if (loop)
        g.frame(0).extensions.insert(g.frame(0).extensions.begin(), Extension::makeLoop(*loop));
    return g;
}

GifImage readBack(const gif::Bytes& bytes) {
    GifImage image;
    exporting::readAnimation(image, bytes);
    return image;
}

std::optional<uint16_t> loopOf(const GifImage& image) {
    for (const ExtensionPtr& r : image.frame(0).extensions)
        if (r->isLoop()) return r->loopCount().value_or(0);
    return std::nullopt;
}

uint32_t squared(uint32_t a, uint32_t b) {
    int sum = 0;
    for (int shift = 0; shift <= 16; shift += 8) {
        const int d = int((a >> shift) & 0xFF) - int((b >> shift) & 0xFF);
        sum += d * d;
    }
    return uint32_t(sum);
}

// The largest squared error of any composed pixel of `got` against `want`; transparency
// must match exactly (UINT32_MAX when it does not).
uint32_t worstError(const std::vector<Picture>& want, const GifImage& got) {
    Compositor c(got);
    uint32_t worst = 0;
    for (size_t i = 0; i < want.size(); ++i) {
        const uint32_t* px = c.compose(i);
        for (size_t p = 0; p < want[i].size(); ++p) {
            const bool clearWant = want[i][p] == 0, clearGot = (px[p] >> 24) == 0;
            if (clearWant != clearGot) return UINT32_MAX;
            if (!clearWant) worst = std::max(worst, squared(want[i][p], px[p]));
        }
    }
    return worst;
}

// Noise frames with far more than 256 colours, so that every export must quantize.
GifImage noiseAnimation(quint32 seed) {
    QRandomGenerator rng(seed);
    GifImage g = test::blankImage(32, 24);
    for (int f = 0; f < 4; ++f) {
        QImage picture(32, 24, QImage::Format_RGB32);
        for (int y = 0; y < 24; ++y)
            for (int x = 0; x < 32; ++x)
                picture.setPixel(x, y, qRgb(int(rng.bounded(256)), x * 8, y * 10));
        g.addFrame(picture.convertToFormat(QImage::Format_ARGB32));
    }
    return g;
}

// Blocks of 8 colours of their own drawn one after the other over a first frame of 256
// colours: from the second frame on, each picture shows more colours than a table holds,
// though every frame of the file draws at most 256. Frame k > 0 draws BlockW x BlockH
// pixels at blockAt(k).
constexpr int BlockW = 6, BlockH = 4;
QPoint blockAt(size_t k) {
    return {int(4 + 7 * (k - 1)), int(3 + 5 * (k - 1))};
}
GifImage blocksOverManyColours(quint32 seed) {
    QRandomGenerator rng(seed);
    GifImage g = test::blankImage(32, 24);
    auto add = [&g](int left, int top, int w, int h, gif::Bytes px, gif::ColorTable colors) {
        Frame f;
        f.left = uint16_t(left);
        f.top = uint16_t(top);
        f.setPixels(uint16_t(w), uint16_t(h), std::move(px));
        f.setLocalColors(std::move(colors));
        f.graphicControlRecord = Extension::makeGraphicControl();
        f.graphicControlRecord->control().delay = 10;
        f.extensions.push_back(f.graphicControlRecord);
        g.appendFrame(std::move(f));
    };
    gif::ColorTable table;
    for (int k = 0; k < 256; ++k) // green is never 255 - red below
        table.push_back({uint8_t(k), uint8_t(255 - k), uint8_t(k * 37)});
    gif::Bytes px(32 * 24);
    for (size_t p = 0; p < px.size(); ++p)
        px[p] = uint8_t(rng.bounded(256));
    add(0, 0, 32, 24, px, table);
    for (size_t k = 1; k <= 3; ++k) {
        gif::ColorTable colors;
        for (int c = 0; c < 8; ++c)
            colors.push_back({uint8_t(30 * c), uint8_t(30 * c + 7), uint8_t(200 - 9 * int(k))});
        gif::Bytes block(BlockW * BlockH);
        for (uint8_t& v : block)
            v = uint8_t(rng.bounded(8));
        add(blockAt(k).x(), blockAt(k).y(), BlockW, BlockH, block, colors);
    }
    return g;
}

} // namespace

class TestExport : public QObject {
    Q_OBJECT
private Q_SLOTS:
    // WebP and APNG keep every frame, the delay browsers show and the loop count;
    // lossless ones every pixel.
    void roundTrips_data() {
        QTest::addColumn<int>("format");
        QTest::addColumn<bool>("lossless");
        QTest::addColumn<int>("loop"); // -1: no loop record
        for (int loop : {-1, 0, 3}) {
            QTest::addRow("APNG, loop %d", loop) << int(Format::Apng) << true << loop;
            QTest::addRow("lossless WebP, loop %d", loop) << int(Format::WebP) << true << loop;
            QTest::addRow("WebP at 50, loop %d", loop) << int(Format::WebP) << false << loop;
        }
    }
    void roundTrips() {
        QFETCH(int, format);
        QFETCH(bool, lossless);
        QFETCH(int, loop);
        for (quint32 seed : {11u, 12u, 13u}) {
            const GifImage source =
                sampleAnimation(seed, loop < 0 ? std::nullopt : std::optional<uint16_t>(loop));
            ExportSettings s;
            s.format = Format(format);
            s.webpLossless = lossless;
            s.webpQuality = 50;
            const GifImage back = readBack(exporting::exportAnimation(source, s).bytes);
            QCOMPARE(back.frameCount(), source.frameCount());
            QCOMPARE(loopOf(back), loopOf(source));
            for (size_t i = 0; i < source.frameCount(); ++i) {
                const int d = source.frame(i).graphicControl()->delay;
                QCOMPARE(int(back.frame(i).graphicControl()->delay), d < 2 ? 10 : d);
            }
            const uint32_t worst = worstError(test::referencePictures(source), back);
            if (lossless)
                QCOMPARE(worst, 0u);
            else
                QVERIFY2(worst < UINT32_MAX, "transparency changed");
        }
    }

    // GIF: lossy 0 shows exactly the frames (their colours fit); a lossy level changes no
    // pixel by more than its bound, keeps transparency, and makes no file larger.
    void gifLossyBound_data() {
        QTest::addColumn<int>("lossy");
        QTest::addColumn<bool>("optimize");
        for (int lossy : {0, 20, 80, 200})
            for (bool optimize : {true, false})
                QTest::addRow("lossy %d%s", lossy, optimize ? "" : ", whole frames")
                    << lossy << optimize;
    }
    void gifLossyBound() {
        QFETCH(int, lossy);
        QFETCH(bool, optimize);
        for (quint32 seed : {21u, 22u, 23u, 24u}) {
            const GifImage source = sampleAnimation(seed, 0, 40, 30);
            ExportSettings s;
            s.lossy = lossy;
            s.optimize = optimize;
            const gif::Bytes bytes = exporting::exportAnimation(source, s).bytes;
            const uint32_t worst = worstError(test::referencePictures(source), readBack(bytes));
            QVERIFY2(worst <= exporting::LossyLzw::bound(lossy),
                     qPrintable(QStringLiteral("seed %1: error %2").arg(seed).arg(worst)));
            if (lossy > 0) {
                ExportSettings exact = s;
                exact.lossy = 0;
                QVERIFY(bytes.size() <= exporting::exportAnimation(source, exact).bytes.size());
            }
        }
    }

    // The lossy coder against its stream decoded on its own: every pixel within the
    // level's bound, and a pixel the screen already shows right stays right (a near
    // colour there would stay on screen in every later frame that leaves the pixel).
    void lossyCoderKeepsRightPixels_data() {
        QTest::addColumn<int>("lossy");
        QTest::addColumn<int>("changed"); // percent of the pixels the frame changes
        for (int lossy : {40, 80, 200})
            for (int changed : {2, 30, 100})
                QTest::addRow("lossy %d, %d%% changed", lossy, changed) << lossy << changed;
    }
    void lossyCoderKeepsRightPixels() {
        QFETCH(int, lossy);
        QFETCH(int, changed);
        QRandomGenerator rng(quint32(lossy * 1000 + changed));
        constexpr int W = 64, H = 48, Clear = 31;
        exporting::LossyFrame f;
        f.width = W;
        f.height = H;
        f.transparent = Clear;
        for (uint32_t k = 0; k < Clear; ++k) // clusters of four shades 3 steps apart
            f.palette[k] = 0xFF000000u | (k / 4 * 32 + k % 4 * 3) << 16 | (255 - k / 4 * 32) << 8 |
                           (k / 4 * 16 + k % 4 * 3);
        std::vector<uint8_t> indices(W * H), shown(W * H), decoded(W * H);
        std::vector<uint32_t> target(W * H), under(W * H);
        for (size_t p = 0; p < target.size();) {
            const uint8_t colour = uint8_t(rng.bounded(Clear));
            for (int run = 1 + int(rng.bounded(8)); run > 0 && p < target.size(); --run, ++p) {
                target[p] = f.palette[colour];
                const bool changes = int(rng.bounded(100)) < changed;
                under[p] = !changes         ? target[p]
                           : rng.bounded(4) ? f.palette[rng.bounded(Clear)]
                                            : 0;
                indices[p] = !changes && rng.bounded(2) ? Clear : colour;
            }
        }
        f.indices = indices;
        f.target = target;
        f.under = under;
        gif::Bytes stream;
        exporting::LossyLzw(lossy).encode(f, 5, stream, shown.data());
        gif::lzw::decode(stream, 5, decoded.data(), decoded.size());
        QVERIFY(decoded == shown);
        int wrong = 0;
        for (size_t p = 0; p < target.size(); ++p) {
            const uint32_t got = decoded[p] == Clear ? under[p] : f.palette[decoded[p]];
            QVERIFY2((got >> 24) != 0, "transparency where a colour must show");
            QVERIFY(squared(got, target[p]) <= exporting::LossyLzw::bound(lossy));
            if (under[p] == target[p]) QCOMPARE(got, target[p]);
            wrong += got != target[p];
        }
        if (changed == 100) QVERIFY(wrong > 0); // the coder did take near colours
    }

    // The look-ahead coder's stream, read back by the codec's decoder, gives the indices
    // exactly: over deep strings (runs, repeated rows), tables filled and cleared again
    // (noise), and every code width.
    void flexibleCoderRoundTrips_data() {
        QTest::addColumn<int>("minCodeSize");
        QTest::addColumn<int>("runs"); // the longest run of one index
        QTest::addColumn<int>("size");
        QTest::addRow("runs, 2 bits") << 2 << 400 << 60000;
        QTest::addRow("short runs, 3 bits") << 3 << 6 << 30000;
        QTest::addRow("noise, 2 bits") << 2 << 1 << 50000;
        QTest::addRow("noise, 8 bits") << 8 << 1 << 40000;
        QTest::addRow("one pixel") << 8 << 1 << 1;
    }
    void flexibleCoderRoundTrips() {
        QFETCH(int, minCodeSize);
        QFETCH(int, runs);
        QFETCH(int, size);
        QRandomGenerator rng(quint32(minCodeSize * 7919 + runs));
        std::vector<uint8_t> indices;
        while (indices.size() < size_t(size)) {
            // Now and then a copy of what came 200 pixels before, as rows repeat.
            if (indices.size() > 200 && rng.bounded(4) == 0) {
                for (int k = int(rng.bounded(300)); k > 0 && indices.size() < size_t(size); --k)
                    indices.push_back(indices[indices.size() - 200]);
                continue;
            }
            const uint8_t v = uint8_t(rng.bounded(1u << minCodeSize));
            for (int k = 1 + int(rng.bounded(quint32(runs)));
                 k > 0 && indices.size() < size_t(size); --k)
                indices.push_back(v);
        }
        gif::Bytes stream;
        exporting::FlexibleLzw().encode(indices, minCodeSize, stream);
        std::vector<uint8_t> decoded(indices.size() + 1);
        const auto result = gif::lzw::decode(stream, minCodeSize, decoded.data(), decoded.size());
        QVERIFY(result.sawEndCode);
        QVERIFY(!result.dataAfterEnd);
        QCOMPARE(result.written, indices.size());
        decoded.pop_back();
        QVERIFY(decoded == indices);
    }

    // A frame that changes a small part of a picture of more colours than a table holds
    // draws that part in its own colours, exactly where they fit, and leaves the rest of
    // the screen as it was; reduced whole, every frame would take a palette of its own
    // and change every pixel a little.
    void smallChangesKeepTheirColours() {
        const GifImage source = blocksOverManyColours(35);
        const std::vector<Picture> want = test::referencePictures(source);
        const GifImage back = readBack(exporting::exportAnimation(source, ExportSettings{}).bytes);
        QCOMPARE(back.frameCount(), source.frameCount());
        Compositor c(back);
        const Picture first(c.compose(0), c.compose(0) + 32 * 24);
        for (size_t k = 1; k < back.frameCount(); ++k) {
            const uint32_t* px = c.compose(k);
            for (int y = 0; y < 24; ++y)
                for (int x = 0; x < 32; ++x) {
                    const size_t p = size_t(y) * 32 + x;
                    bool drawn = false;
                    for (size_t j = 1; j <= k; ++j)
                        drawn = drawn || QRect(blockAt(j), QSize(BlockW, BlockH)).contains(x, y);
                    QCOMPARE(px[p], drawn ? want[k][p] : first[p]);
                }
        }
    }

    // Every frame shows at most the colours asked for, whatever the palette and
    // dithering; with one table, all frames together do.
    void colourCountHonoured_data() {
        QTest::addColumn<int>("colors");
        QTest::addColumn<int>("palette");
        QTest::addColumn<int>("dither");
        QTest::addColumn<bool>("blocks"); // blocksOverManyColours, else noise
        for (int colors : {2, 16, 64})
            for (int palette : {0, 1})
                for (int dither : {0, 1, 2})
                    for (bool blocks : {false, true})
                        QTest::addRow("%d colours, %s, dither %d%s", colors,
                                      palette ? "one table" : "per frame", dither,
                                      blocks ? ", blocks" : "")
                            << colors << palette << dither << blocks;
    }
    void colourCountHonoured() {
        QFETCH(int, colors);
        QFETCH(int, palette);
        QFETCH(int, dither);
        QFETCH(bool, blocks);
        const GifImage source = blocks ? blocksOverManyColours(33) : noiseAnimation(31);
        ExportSettings s;
        s.colors = colors;
        s.palette = palette ? exporting::PaletteMode::Global : exporting::PaletteMode::PerFrame;
        s.dither = exporting::Dithering(dither);
        const GifImage back = readBack(exporting::exportAnimation(source, s).bytes);
        QCOMPARE(back.frameCount(), source.frameCount());
        // The optimisation may join the tables of frames into one, so the count holds
        // for the colours each frame draws (a frame that changes part of the picture
        // leaves the colours of the frames before it on screen), and with one table for
        // all, for every frame shown together.
        Compositor c(back);
        std::set<uint32_t> all;
        for (size_t i = 0; i < back.frameCount(); ++i) {
            const Frame& f = back.frame(i);
            const gif::ColorTable& table = back.activeColors(i);
            const GraphicControl* gc = f.graphicControl();
            std::set<uint32_t> drawn;
            for (uint8_t v : f.pixels())
                if (!(gc && gc->transparent && v == gc->transparentIndex) && v < table.size())
                    drawn.insert(uint32_t(table[v].r) << 16 | table[v].g << 8 | table[v].b);
            QVERIFY2(drawn.size() <= size_t(colors), qPrintable(QString::number(drawn.size())));
            const uint32_t* px = c.compose(i);
            all.insert(px, px + 32 * 24);
        }
        if (palette)
            QVERIFY2(all.size() <= size_t(colors), qPrintable(QString::number(all.size())));
    }

    // A limit the search can meet is met; one it cannot fails, naming the smallest size.
    void sizeLimit_data() {
        QTest::addColumn<int>("format");
        QTest::addColumn<double>("share"); // of the unlimited size
        QTest::addColumn<bool>("fits");
        QTest::newRow("GIF, 70%") << int(Format::Gif) << 0.7 << true;
        QTest::newRow("GIF, 25%") << int(Format::Gif) << 0.25 << true;
        QTest::newRow("GIF, 1%") << int(Format::Gif) << 0.01 << false;
        QTest::newRow("WebP, 60%") << int(Format::WebP) << 0.6 << true;
        QTest::newRow("WebP, 1%") << int(Format::WebP) << 0.01 << false;
        QTest::newRow("APNG, 100%") << int(Format::Apng) << 1.0 << true;
        QTest::newRow("APNG, 90%") << int(Format::Apng) << 0.9 << false;
    }
    void sizeLimit() {
        QFETCH(int, format);
        QFETCH(double, share);
        QFETCH(bool, fits);
        const GifImage source = noiseAnimation(41);
        ExportSettings s;
        s.format = Format(format);
        const size_t full = exporting::exportAnimation(source, s).bytes.size();
        s.maxBytes = uint64_t(double(full) * share);
        try {
            const exporting::ExportResult r = exporting::exportAnimation(source, s);
            QVERIFY(fits);
            QVERIFY(r.bytes.size() <= *s.maxBytes);
            QCOMPARE(readBack(r.bytes).frameCount(), source.frameCount());
        } catch (const GifError& e) {
            QVERIFY2(!fits, e.what());
            QVERIFY(QString::fromUtf8(e.what()).startsWith(
                QStringLiteral("The animation cannot be made to fit")));
        }
    }

    // Above a few million pixels the estimate exports runs of frames spread over the
    // animation (side by side on several threads) and fits their bytes: near the written
    // size, and a cancel reaches it.
    void sampledEstimate_data() {
        QTest::addColumn<int>("format");
        QTest::addColumn<int>("lossy");
        QTest::newRow("GIF") << int(Format::Gif) << 0;
        QTest::newRow("GIF, lossy 60") << int(Format::Gif) << 60;
        QTest::newRow("WebP") << int(Format::WebP) << 0;
    }
    void sampledEstimate() {
        QFETCH(int, format);
        QFETCH(int, lossy);
        // A sprite of noise crossing a gradient: 40 frames of 400 x 380.
        constexpr int W = 400, H = 380;
        QRandomGenerator rng(7);
        GifImage source = test::blankImage(W, H);
        for (int k = 0; k < 40; ++k) {
            QImage picture(W, H, QImage::Format_ARGB32);
            for (int y = 0; y < H; ++y)
                for (int x = 0; x < W; ++x)
                    picture.setPixel(x, y, qRgb(x * 255 / W, y * 255 / H, 128));
            for (int y = 0; y < 30; ++y)
                for (int x = 0; x < 40; ++x)
                    picture.setPixel(9 * k + x, 8 * k + y, qRgb(int(rng.bounded(256)), 40, 200));
            source.addFrame(picture);
        }
        ExportSettings s;
        s.format = Format(format);
        s.lossy = lossy;
        const exporting::SizeEstimate estimate = exporting::estimateSize(source, s);
        QVERIFY(!estimate.exact);
        const double written = double(exporting::exportAnimation(source, s).bytes.size());
        QVERIFY2(std::abs(double(estimate.bytes) - written) <= 0.1 * written,
                 qPrintable(QStringLiteral("%1 for %2").arg(estimate.bytes).arg(written)));
        std::atomic<int> polls{0};
        tools::ToolContext stopping;
        stopping.cancelled = [&polls] { return ++polls > 20; };
        QVERIFY_THROWS_EXCEPTION(tools::Cancelled, exporting::estimateSize(source, s, stopping));
    }

    // Pillow, a decoder of its own, reads what we write: frames, durations, loop.
    void pillowReadsWebpAndApng() {
        const QString python = QStringLiteral("/usr/bin/python3");
        if (!QFileInfo::exists(python)) QSKIP("no /usr/bin/python3");
        const GifImage source = sampleAnimation(51, 2);
        QTemporaryDir dir;
        QStringList files;
        for (Format f : {Format::Apng, Format::WebP}) {
            ExportSettings s;
            s.format = f;
            const QString path = dir.filePath(f == Format::Apng ? QStringLiteral("a.png")
                                                                : QStringLiteral("a.webp"));
            exporting::exportToFile(source, s, path);
            files << path;
        }
        QProcess p;
        p.start(
            python,
            QStringList{
                QStringLiteral("-c"),
                QStringLiteral("import sys\n"
                               "from PIL import Image\n"
                               "for name in sys.argv[1:]:\n"
                               "    im = Image.open(name)\n"
                               "    d = []\n"
                               "    for k in range(im.n_frames):\n"
                               "        im.seek(k); im.load(); d.append(int(im.info['duration']))\n"
                               "    print(im.format, im.n_frames, im.info.get('loop'), ' "
                               "'.join(map(str, d)))\n")} +
                files);
        QVERIFY(p.waitForFinished(60000));
        if (p.exitCode() != 0 && p.readAllStandardError().contains("No module named 'PIL'"))
            QSKIP("Pillow (python3-pil) is not installed");
        const QStringList lines =
            QString::fromUtf8(p.readAllStandardOutput()).trimmed().split(QLatin1Char('\n'));
        QStringList durations;
        for (const Frame& f : source.frames())
            durations << QString::number(
                f.graphicControl()->delay < 2 ? 100 : f.graphicControl()->delay * 10);
        // Loop record 2: three plays.
        QCOMPARE(lines,
                 QStringList({QStringLiteral("PNG 9 3 ") + durations.join(QLatin1Char(' ')),
                              QStringLiteral("WEBP 9 3 ") + durations.join(QLatin1Char(' '))}));
    }

    // Damaged WebP and PNG files fail with a GifError (or read what they hold), never
    // crash.
    void damagedFilesFailCleanly_data() {
        QTest::addColumn<int>("format");
        QTest::addColumn<int>("cut");    // bytes kept, -1 all
        QTest::addColumn<int>("flipAt"); // a byte inverted, -1 none
        for (int format : {int(Format::Apng), int(Format::WebP)}) {
            const char* name = format == int(Format::Apng) ? "APNG" : "WebP";
            QTest::addRow("%s, header only", name) << format << 16 << -1;
            QTest::addRow("%s, cut in half", name) << format << -2 << -1;
            QTest::addRow("%s, one byte less", name) << format << -3 << -1;
            for (int at : {20, 40, 90, 200})
                QTest::addRow("%s, byte %d inverted", name, at) << format << -1 << at;
        }
    }
    void damagedFilesFailCleanly() {
        QFETCH(int, format);
        QFETCH(int, cut);
        QFETCH(int, flipAt);
        ExportSettings s;
        s.format = Format(format);
        gif::Bytes bytes = exporting::exportAnimation(sampleAnimation(61, 0), s).bytes;
        if (cut == -2) bytes.resize(bytes.size() / 2);
        if (cut == -3) bytes.pop_back();
        if (cut >= 0) bytes.resize(size_t(cut));
        if (flipAt >= 0 && size_t(flipAt) < bytes.size()) bytes[size_t(flipAt)] ^= 0xFF;
        try {
            const GifImage back = readBack(bytes);
            QVERIFY(back.frameCount() > 0);
            Compositor c(back);
            for (size_t i = 0; i < back.frameCount(); ++i)
                c.compose(i);
        } catch (const GifError&) {
        }
    }
};

QTEST_GUILESS_MAIN(TestExport)
#include "tst_export.moc"
