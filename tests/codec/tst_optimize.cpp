// SPDX-License-Identifier: GPL-3.0-or-later
// Optimizing: what a viewer sees and when must not change, whatever the animation; each
// option does its part; the file gets smaller.

#include <random>

#include <QTest>

#include "codec/GifImage.h"
#include "codec/Optimize.h"
#include "codec/TestAnimations.h"
#include "codec/Unoptimize.h"

using namespace vorlane::gif;
using namespace vorlane::test;

namespace {

// The options as bits, as the tables below name them.
constexpr int Tables = 1, Cleanup = 2, Merge = 4, Crop = 8, All = 15;

OptimizeOptions options(int bits) {
    OptimizeOptions o;
    o.colorTables = bits & Tables;
    o.cleanup = bits & Cleanup;
    o.merge = bits & Merge;
    o.crop = bits & Crop;
    return o;
}

// A copy of `image` optimized with the options `bits`; warnings go to `warnings`.
GifImage optimizedCopy(const GifImage& image, int bits,
                       std::vector<std::string>* warnings = nullptr) {
    GifImage copy;
    copy.assign(image);
    if (warnings) copy.onWarning = [warnings](const std::string& w) { warnings->push_back(w); };
    optimize(copy, options(bits));
    return copy;
}

// ---- what a viewer sees ----

// One picture as the animation shows it, for as long as the frames in a row that show it
// take together; waits for user input count apart.
struct Moment {
    Picture picture;
    uint32_t delay = 0;
    int waits = 0;
    friend bool operator==(const Moment&, const Moment&) = default;
};

std::vector<Moment> moments(const GifImage& image) {
    const std::vector<Picture> pictures = referencePictures(image);
    std::vector<Moment> merged;
    for (size_t i = 0; i < pictures.size(); ++i) {
        const GraphicControl* gc = image.frame(i).graphicControl();
        const uint32_t delay = gc ? gc->delay : 0;
        const int waits = gc && gc->userInput ? 1 : 0;
        if (!merged.empty() && merged.back().picture == pictures[i]) {
            merged.back().delay += delay;
            merged.back().waits += waits;
        } else {
            merged.push_back({pictures[i], delay, waits});
        }
    }
    return merged;
}

// Empty when `after` shows what `before` shows: the same pictures in the same order, each
// for the same time in all, with the same waits for input; an empty screen shown first for
// no time may be missing.
QString differenceInShow(const GifImage& before, const GifImage& after) {
    if (before.screenWidth != after.screenWidth || before.screenHeight != after.screenHeight)
        return QStringLiteral("screen size changed");
    std::vector<Moment> a = moments(before);
    const std::vector<Moment> b = moments(after);
    const Picture blank(size_t(before.screenWidth) * before.screenHeight, 0);
    if (!a.empty() && a.front() == Moment{blank, 0, 0} && (b.empty() || !(b.front() == a.front())))
        a.erase(a.begin());
    for (size_t i = 0; i < std::min(a.size(), b.size()); ++i) {
        if (a[i].picture != b[i].picture)
            return QStringLiteral("picture %1 of %2 differs").arg(i).arg(a.size());
        if (a[i].delay != b[i].delay || a[i].waits != b[i].waits)
            return QStringLiteral("picture %1 shows for %2 instead of %3")
                .arg(i)
                .arg(b[i].delay)
                .arg(a[i].delay);
    }
    if (a.size() != b.size())
        return QStringLiteral("%1 pictures instead of %2").arg(b.size()).arg(a.size());
    return {};
}

std::optional<uint16_t> loopOf(const GifImage& image) {
    if (image.frameCount() == 0) return std::nullopt;
    for (const ExtensionPtr& record : image.frame(0).extensions)
        if (record->isLoop()) return record->loopCount();
    return std::nullopt;
}

// ---- generated animations (fixed seeds) ----

uint32_t below(std::mt19937& rng, uint32_t n) {
    return uint32_t(uint64_t(rng()) * n >> 32);
}

ColorTable ramp(int size, int seed) {
    return makeTable(size, [seed](int k) {
        return Rgb{uint8_t(k * 37 + seed), uint8_t(k * 11 + 3 * seed), uint8_t(255 - k)};
    });
}

// Full-screen frames, as unoptimize makes them: sprites moving over a background
// (transparent where `clearBackground`), every frame with its own table in its own
// order, and disposal codes as the source had them.
GifImage movingSprites(uint32_t seed, bool clearBackground) {
    std::mt19937 rng(seed);
    const int w = 20 + int(below(rng, 20));
    const int h = 12 + int(below(rng, 12));
    const ColorTable colors = ramp(12, int(seed));
    GifImage g = blankImage(w, h);
    int x = int(below(rng, uint32_t(w))), y = int(below(rng, uint32_t(h)));
    const int frames = 6 + int(below(rng, 8));
    for (int i = 0; i < frames; ++i) {
        // Screen colour indices into `colors`; -1 for nothing.
        std::vector<int> shown(size_t(w) * h, clearBackground ? -1 : 0);
        if (!clearBackground)
            for (int k = 0; k < w * h; ++k)
                shown[size_t(k)] = (k / w) % 3 == 0 ? 1 : 0;
        x = (x + int(below(rng, 5)) - 2 + w) % w;
        y = (y + int(below(rng, 3)) - 1 + h) % h;
        for (int dy = 0; dy < 4; ++dy)
            for (int dx = 0; dx < 5; ++dx)
                if (x + dx < w && y + dy < h)
                    shown[size_t(y + dy) * w + x + dx] = 2 + (dx + dy + i) % 6;
        if (below(rng, 3) == 0) // a blinking light
            shown[0] = i % 2 ? 8 : -1 + int(!clearBackground);
        // The frame's own table: the colours in a shuffled order, then a transparent slot.
        std::vector<int> order(colors.size());
        for (size_t k = 0; k < order.size(); ++k)
            order[k] = int(k);
        std::shuffle(order.begin(), order.end(), rng);
        ColorTable table;
        std::vector<int> slot(colors.size());
        for (size_t k = 0; k < order.size(); ++k) {
            slot[size_t(order[k])] = int(k);
            table.push_back(colors[size_t(order[k])]);
        }
        const int key = int(table.size());
        table.push_back({1, 2, 3});
        Bytes pixels(shown.size());
        for (size_t k = 0; k < shown.size(); ++k)
            pixels[k] = uint8_t(shown[k] < 0 ? key : slot[size_t(shown[k])]);
        const int disposal = clearBackground ? 2 : int(below(rng, 4));
        g.appendFrame(makeFrame(0, 0, w, h, std::move(pixels), std::move(table), disposal, key,
                                uint16_t(below(rng, 3) * 5)));
    }
    return g;
}

// Every pixel drifts through a ramp of colours: nearly everything changes every frame.
GifImage fade(uint32_t seed) {
    std::mt19937 rng(seed);
    const int w = 16, h = 10;
    GifImage g = blankImage(w, h);
    g.setGlobalColors(ramp(64, int(seed)));
    for (int i = 0; i < 6; ++i) {
        Bytes pixels(size_t(w) * h);
        for (int k = 0; k < w * h; ++k)
            pixels[size_t(k)] = uint8_t((k % w + i * (1 + k % 3) + below(rng, 2)) % 64);
        g.appendFrame(makeFrame(0, 0, w, h, std::move(pixels), {}, 1, -1, 4));
    }
    return g;
}

// Frames that use every entry of a full 256-colour global table, changing part of the
// screen: there is no free index to make anything transparent with.
GifImage fullTable(uint32_t seed) {
    std::mt19937 rng(seed);
    const int w = 32, h = 16;
    GifImage g = blankImage(w, h);
    g.setGlobalColors(distinctTable(256));
    Bytes pixels = counting(size_t(w) * h);
    for (int i = 0; i < 5; ++i) {
        for (int n = 0; n < 40; ++n)
            std::swap(pixels[below(rng, uint32_t(pixels.size()))],
                      pixels[below(rng, uint32_t(pixels.size()))]);
        g.appendFrame(makeFrame(0, 0, w, h, pixels, {}, int(below(rng, 2)), -1, 3));
    }
    return g;
}

} // namespace

class TestOptimize : public QObject {
    Q_OBJECT
private Q_SLOTS:
    // ---- nothing a viewer sees changes ----

    void generatedAnimationsShowTheSame_data() {
        QTest::addColumn<int>("kind");
        QTest::addColumn<int>("bits");
        const char* kinds[] = {"random", "opaque sprites", "sprites on nothing",
                               "fade",   "full table",     "unoptimized random"};
        for (int kind = 0; kind < 6; ++kind)
            for (int bits :
                 {All, Tables, Cleanup, Merge, Crop, Cleanup | Merge, Merge | Crop, All & ~Tables})
                QTest::addRow("%s, options %d", kinds[kind], bits) << kind << bits;
    }
    void generatedAnimationsShowTheSame() {
        QFETCH(int, kind);
        QFETCH(int, bits);
        for (uint32_t seed = 1; seed <= 40; ++seed) {
            GifImage g;
            switch (kind) {
            case 0:
                g = randomAnimation(seed, 12, 9, 7, seed % 3 ? 8 : 256);
                break;
            case 1:
                g = movingSprites(seed, false);
                break;
            case 2:
                g = movingSprites(seed, true);
                break;
            case 3:
                g = fade(seed);
                break;
            case 4:
                g = fullTable(seed);
                break;
            default:
                g = unoptimize(randomAnimation(seed, 10, 11, 8));
                break;
            }
            if (seed % 5 == 0)
                g.frame(0).extensions.insert(g.frame(0).extensions.begin(), Extension::makeLoop(3));
            std::vector<std::string> warnings;
            const GifImage optimized = optimizedCopy(g, bits, &warnings);
            // Frames of at most 256 colours can always be drawn again from their pictures.
            if (kind != 0)
                QVERIFY2(warnings.empty(), warnings.empty() ? "" : warnings.front().c_str());
            const QString difference = differenceInShow(g, optimized);
            QVERIFY2(difference.isEmpty(),
                     qPrintable(QStringLiteral("seed %1: %2").arg(seed).arg(difference)));
            if (seed % 5 == 0 && g.frameCount() > 1 && optimized.frameCount() > 1)
                QCOMPARE(loopOf(optimized), std::optional<uint16_t>(3));
        }
    }

    // The optimized image is written and read back as it is: no index beyond its table,
    // no record that a reader would take for another frame's.
    void writtenFileShowsTheSame_data() {
        QTest::addColumn<uint32_t>("seed");
        for (uint32_t seed = 100; seed < 130; ++seed)
            QTest::addRow("seed %u", seed) << seed;
    }
    void writtenFileShowsTheSame() {
        QFETCH(uint32_t, seed);
        const GifImage source = unoptimize(randomAnimation(seed, 16, 13, 9, seed % 2 ? 8 : 200));
        const GifImage optimized = optimizedCopy(source, All);
        const Bytes bytes = optimized.saveToBytes();
        GifImage back;
        back.load(std::span<const uint8_t>(bytes));
        QCOMPARE(differenceInShow(source, back), QString());
        for (size_t i = 0; i < back.frameCount(); ++i) {
            const uint8_t highest =
                *std::max_element(back.frame(i).pixels().begin(), back.frame(i).pixels().end());
            QVERIFY(highest < back.activeColors(i).size());
        }
    }

    void optimizedFileIsSmaller() {
        const GifImage source = movingSprites(7, false);
        const GifImage optimized = optimizedCopy(source, All);
        QVERIFY(optimized.saveToBytes().size() < source.saveToBytes().size());
        // The shared colours went into one global table.
        for (const Frame& f : optimized.frames())
            QVERIFY(f.localColors().empty());
    }

    // ---- colour tables ----

    void tablesAreSortedByUseAndCompacted() {
        GifImage g = blankImage(6, 2);
        // Colours 1, 2 and 4 used 1, 6 and 3 times; 5 is the transparent index, used twice;
        // 0 and 3 are unused.
        const ColorTable table = {{9, 9, 9}, {1, 0, 0}, {2, 0, 0}, {9, 9, 8}, {4, 0, 0}, {0, 0, 0}};
        g.appendFrame(makeFrame(0, 0, 6, 2, {1, 2, 2, 2, 5, 5, 2, 2, 2, 4, 4, 4}, table, 1, 5));
        const GifImage optimized = optimizedCopy(g, Tables);
        QCOMPARE(differenceInShow(g, optimized), QString());
        const Frame& f = optimized.frame(0);
        QCOMPARE(f.width(), uint16_t(6)); // nothing but the colours changed
        const GraphicControl* gc = f.graphicControl();
        QVERIFY(gc && gc->transparent);
        QCOMPARE(std::count(f.pixels().begin(), f.pixels().end(), gc->transparentIndex), 2);
        // Three colours and the transparent entry; the colours in order of use.
        const ColorTable& active = optimized.activeColors(0);
        QCOMPARE(active.size(), size_t(4));
        ColorTable colors = active;
        colors.erase(colors.begin() + gc->transparentIndex);
        QCOMPARE(colors, (ColorTable{{2, 0, 0}, {4, 0, 0}, {1, 0, 0}}));
    }

    void framesWithTheSameColoursShareOneGlobalTable() {
        GifImage g = blankImage(4, 1);
        g.appendFrame(makeFrame(0, 0, 4, 1, {0, 1, 2, 0}, {{5, 5, 5}, {6, 6, 6}, {7, 7, 7}}));
        g.appendFrame(
            makeFrame(0, 0, 4, 1, {2, 1, 0, 0}, {{7, 7, 7}, {6, 6, 6}, {5, 5, 5}, {1, 1, 1}}));
        const GifImage optimized = optimizedCopy(g, Tables);
        QCOMPARE(differenceInShow(g, optimized), QString());
        QCOMPARE(optimized.globalColors().size(), size_t(3));
        QVERIFY(optimized.frame(0).localColors().empty());
        QVERIFY(optimized.frame(1).localColors().empty());
    }

    // A large frame of two colours codes shorter with a table of its own than with indices
    // into a table of 200 colours; the global table then loses its colours, and the frames
    // that keep it are renumbered, transparent index included.
    void fewColoursTakeASmallTable() {
        GifImage g = blankImage(64, 64);
        ColorTable many = makeTable(200, [](int k) { return Rgb{uint8_t(k), 7, 7}; });
        many.push_back({0, 0, 0}); // 200: transparent
        Bytes noise(64 * 64);
        std::mt19937 rng(5);
        for (uint8_t& v : noise)
            v = uint8_t(below(rng, 201));
        g.appendFrame(makeFrame(0, 0, 64, 64, noise, many, 1, 200, 5));
        Bytes stripes(64 * 64);
        for (size_t k = 0; k < stripes.size(); ++k)
            stripes[k] = uint8_t((k / 64) % 2);
        g.appendFrame(makeFrame(0, 0, 64, 64, stripes, {{1, 2, 3}, {4, 5, 6}}, 2, -1, 5));
        g.appendFrame(makeFrame(0, 0, 64, 64, noise, many, 1, 200, 5));
        const GifImage optimized = optimizedCopy(g, Tables);
        QCOMPARE(differenceInShow(g, optimized), QString());
        QVERIFY(optimized.frame(1).localColors().size() <= 4);
        QCOMPARE(optimized.globalColors().size(), size_t(201));
    }

    // ---- clean-up ----

    void unusedTransparencyIsDropped() {
        GifImage g = blankImage(2, 1);
        g.appendFrame(makeFrame(0, 0, 2, 1, {0, 1}, {{1, 1, 1}, {2, 2, 2}, {3, 3, 3}}, 1, 2, 5));
        g.appendFrame(makeFrame(0, 0, 2, 1, {1, 0}, {{1, 1, 1}, {2, 2, 2}, {3, 3, 3}}, 1, 2, 5));
        optimize(g, options(Cleanup));
        QVERIFY(!g.frame(0).graphicControl()->transparent);
    }

    // A frame that clears or restores its rectangle keeps it when the next frame paints
    // over all of it; but only then.
    void disposalIsKeptOnlyWhereTheNextFrameCovers_data() {
        QTest::addColumn<int>("disposal");
        QTest::addColumn<int>("nextWidth");
        QTest::addColumn<int>("nextDisposal");
        QTest::addColumn<int>("expected");
        QTest::newRow("clear, covered") << 2 << 4 << 1 << 0;
        QTest::newRow("restore, covered") << 3 << 4 << 1 << 0;
        // The next frame lies within but does not cover: clearing still shows.
        QTest::newRow("clear, next smaller") << 2 << 3 << 1 << 2;
        // The next frame restores what it was drawn over afterwards.
        QTest::newRow("clear, next restores") << 2 << 4 << 3 << 2;
    }
    void disposalIsKeptOnlyWhereTheNextFrameCovers() {
        QFETCH(int, disposal);
        QFETCH(int, nextWidth);
        QFETCH(int, nextDisposal);
        QFETCH(int, expected);
        const ColorTable colors = {{1, 1, 1}, {2, 2, 2}, {3, 3, 3}};
        GifImage g = blankImage(4, 2);
        g.appendFrame(makeFrame(0, 0, 4, 2, Bytes(8, 0), colors, 1, -1, 5));
        g.appendFrame(makeFrame(0, 0, 4, 2, Bytes(8, 1), colors, disposal, -1, 5));
        g.appendFrame(makeFrame(0, 0, nextWidth, 2, Bytes(size_t(nextWidth) * 2, 2), colors,
                                nextDisposal, -1, 5));
        g.appendFrame(makeFrame(0, 0, 1, 1, {0}, colors, 1, -1, 5));
        const GifImage optimized = optimizedCopy(g, Cleanup);
        QCOMPARE(differenceInShow(g, optimized), QString());
        QCOMPARE(int(optimized.frame(1).graphicControl()->disposal), expected);
    }

    void recordsThatChangeNothingAreRemoved() {
        GifImage g = blankImage(2, 1);
        const ColorTable colors = {{1, 1, 1}, {2, 2, 2}};
        g.appendFrame(makeFrame(0, 0, 2, 1, {0, 1}, colors, 1, -1, 5));
        g.appendFrame(makeFrame(0, 0, 2, 1, {1, 0}, colors, 1, -1, 5));
        g.frame(0).extensions.push_back(Extension::makeComment("hello"));
        g.frame(1).extensions.push_back(Extension::makeApplication("XMP DataXMP", {Bytes{1}}));
        g.frame(1).extensions.push_back(Extension::makeLoop(7)); // the only loop record
        auto text = std::make_shared<Extension>(labels::PlainText);
        text->blocks() = {Bytes(12, 0), Bytes{'h', 'i'}};
        g.frame(1).extensions.push_back(text);
        g.trailingExtensions.push_back(Extension::makeComment("bye"));
        optimize(g, options(Cleanup));
        QCOMPARE(g.frameCount(), size_t(2));
        // The loop record now stands first on frame 0, where viewers look for it.
        QCOMPARE(g.frame(0).extensions.size(), size_t(2));
        QCOMPARE(loopOf(g), std::optional<uint16_t>(7));
        QVERIFY(g.frame(0).extensions.front()->isLoop());
        QCOMPARE(g.frame(1).extensions.size(), size_t(1));
        QVERIFY(g.frame(1).extensions.front()->isGraphicControl());
        QVERIFY(g.trailingExtensions.empty());
    }

    void singleFrameLosesLoopAndIdleControl() {
        GifImage g = blankImage(2, 1);
        g.appendFrame(makeFrame(0, 0, 2, 1, {0, 1}, {{1, 1, 1}, {2, 2, 2}}, 2, -1, 50));
        g.frame(0).extensions.insert(g.frame(0).extensions.begin(), Extension::makeLoop(0));
        optimize(g, options(All));
        QVERIFY(g.frame(0).extensions.empty());
        QVERIFY(!g.frame(0).graphicControl());
    }

    void idleGraphicControls_data() {
        QTest::addColumn<int>("disposal");
        QTest::addColumn<int>("delay");
        QTest::addColumn<bool>("waits");
        QTest::addColumn<bool>("removed");
        QTest::newRow("nothing asked") << 1 << 0 << false << true;
        QTest::newRow("unspecified") << 0 << 0 << false << true;
        QTest::newRow("a delay") << 1 << 5 << false << false;
        QTest::newRow("waits for input") << 1 << 0 << true << false;
        QTest::newRow("restores") << 3 << 0 << false << false;
    }
    void idleGraphicControls() {
        QFETCH(int, disposal);
        QFETCH(int, delay);
        QFETCH(bool, waits);
        QFETCH(bool, removed);
        GifImage g = blankImage(2, 1);
        const ColorTable colors = {{1, 1, 1}, {2, 2, 2}};
        g.appendFrame(makeFrame(0, 0, 2, 1, {0, 1}, colors, disposal, -1, uint16_t(delay)));
        g.frame(0).graphicControl()->userInput = waits;
        g.appendFrame(makeFrame(0, 0, 1, 1, {1}, colors, 1, -1, 5));
        optimize(g, options(Cleanup));
        QCOMPARE(g.frame(0).graphicControl() == nullptr, removed);
        QCOMPARE(g.frame(0).extensions.empty(), removed);
    }

    // ---- merge and crop ----

    void repeatedPixelsBecomeTransparentAndAreCut() {
        const ColorTable colors = {{1, 1, 1}, {2, 2, 2}};
        GifImage g = blankImage(5, 4);
        g.appendFrame(makeFrame(0, 0, 5, 4, Bytes(20, 0), colors, 1, -1, 5));
        Bytes changed(20, 0);
        changed[6] = 1;  // (1, 1)
        changed[13] = 1; // (3, 2)
        changed[8] = 1;  // (3, 1)
        g.appendFrame(makeFrame(0, 0, 5, 4, changed, colors, 1, -1, 5));
        GifImage merged = optimizedCopy(g, Merge);
        QCOMPARE(differenceInShow(g, merged), QString());
        const GraphicControl* gc = merged.frame(1).graphicControl();
        QVERIFY(gc->transparent);
        QCOMPARE(std::count(merged.frame(1).pixels().begin(), merged.frame(1).pixels().end(),
                            gc->transparentIndex),
                 17);

        optimize(merged, options(Merge | Crop));
        QCOMPARE(differenceInShow(g, merged), QString());
        const Frame& cut = merged.frame(1);
        QCOMPARE(QList<int>({cut.left, cut.top, cut.width(), cut.height()}),
                 QList<int>({1, 1, 3, 2}));
    }

    // What lies under a frame is the screen as the previous frame's disposal leaves it:
    // after clearing, a pixel of the same colour is not a repeat.
    void mergeComparesWithTheClearedScreen() {
        const ColorTable colors = {{1, 1, 1}, {2, 2, 2}};
        GifImage g = blankImage(3, 1);
        g.appendFrame(makeFrame(0, 0, 3, 1, {0, 0, 0}, colors, 2, -1, 5));
        g.appendFrame(makeFrame(0, 0, 3, 1, {0, 1, 0}, colors, 1, -1, 5));
        GifImage merged = optimizedCopy(g, Merge);
        QCOMPARE(differenceInShow(g, merged), QString());
        const GraphicControl* gc = merged.frame(1).graphicControl();
        QVERIFY(!gc->transparent);
    }

    // Frames that change nothing go when they take no time, or give their time to the
    // frame before; where that would change how long browsers show the picture (they play
    // delays of 0 and 1 as 10) they stay, as one transparent pixel. Their records pass on.
    void framesThatChangeNothing_data() {
        QTest::addColumn<int>("shownDelay");
        QTest::addColumn<int>("pauseDelay");
        QTest::addColumn<bool>("pauseStays");
        QTest::newRow("pause joins the frame before") << 5 << 7 << false;
        QTest::newRow("frame before plays as 10") << 1 << 7 << true;
        QTest::newRow("pause plays as 10") << 5 << 1 << true;
    }
    void framesThatChangeNothing() {
        QFETCH(int, shownDelay);
        QFETCH(int, pauseDelay);
        QFETCH(bool, pauseStays);
        const ColorTable colors = {{1, 1, 1}, {2, 2, 2}};
        GifImage g = blankImage(3, 2);
        // Frame 0 draws nothing (all transparent), has no delay and carries the loop.
        g.appendFrame(makeFrame(0, 0, 3, 2, Bytes(6, 1), colors, 1, 1, 0));
        g.frame(0).extensions.insert(g.frame(0).extensions.begin(), Extension::makeLoop(4));
        g.appendFrame(
            makeFrame(0, 0, 3, 2, {0, 0, 0, 1, 1, 1}, colors, 1, -1, uint16_t(shownDelay)));
        g.appendFrame(makeFrame(1, 0, 2, 2, {0, 0, 1, 1}, colors, 1, -1, uint16_t(pauseDelay)));
        g.appendFrame(makeFrame(0, 1, 3, 1, {1, 1, 1}, colors, 1, -1, 0)); // nothing, no time
        g.appendFrame(makeFrame(0, 0, 1, 1, {1}, colors, 1, -1, 5));
        const GifImage optimized = optimizedCopy(g, All);
        QCOMPARE(differenceInShow(g, optimized), QString());
        QCOMPARE(optimized.frameCount(), size_t(pauseStays ? 3 : 2));
        QCOMPARE(loopOf(optimized), std::optional<uint16_t>(4));
        QVERIFY(optimized.frame(0).extensions.front()->isLoop());
        if (!pauseStays) return;
        const Frame& pause = optimized.frame(1);
        QCOMPARE(QList<int>({pause.left, pause.top, pause.width(), pause.height()}),
                 QList<int>({0, 0, 1, 1}));
        QCOMPARE(pause.graphicControl()->delay, uint16_t(pauseDelay));
        QVERIFY(pause.graphicControl()->transparent);
        QCOMPARE(pause.pixels().front(), pause.graphicControl()->transparentIndex);
    }

    // A frame that shows nothing new for a while becomes one transparent pixel at (0, 0);
    // that pixel must not be cleared afterwards where the screen shows something.
    void pauseFrameLeavesTheScreenAsItWas_data() {
        QTest::addColumn<int>("bits");
        for (int bits : {All, Crop, Merge | Crop, All & ~Tables})
            QTest::addRow("options %d", bits) << bits;
    }
    void pauseFrameLeavesTheScreenAsItWas() {
        QFETCH(int, bits);
        const ColorTable colors = {{1, 1, 1}, {0, 0, 0}};
        GifImage g = blankImage(6, 6);
        // No delay of its own (it plays as 10), so the pause cannot give it its time.
        g.appendFrame(makeFrame(0, 0, 2, 2, {0, 0, 0, 0}, colors, 1, -1, 0));
        // Transparent, over an empty corner, clearing it afterwards.
        g.appendFrame(makeFrame(3, 3, 3, 3, Bytes(9, 1), colors, 2, 1, 20));
        g.appendFrame(makeFrame(5, 0, 1, 1, {0}, colors, 1, -1, 5));
        const GifImage optimized = optimizedCopy(g, bits);
        QCOMPARE(differenceInShow(g, optimized), QString());
        QCOMPARE(optimized.frameCount(), size_t(3));
        QCOMPARE(optimized.frame(1).width(), uint16_t(1));
    }

    void onlyFrameThatShowsNothingStays() {
        GifImage g = blankImage(2, 2);
        g.appendFrame(makeFrame(0, 0, 2, 2, Bytes(4, 0), {{1, 1, 1}}, 0, 0, 0));
        optimize(g, options(All));
        QCOMPARE(g.frameCount(), size_t(1));
        QCOMPARE(g.frame(0).width(), uint16_t(1));
        QVERIFY(g.frame(0).graphicControl()->transparent);
    }

    // A frame that cleared the whole screen while the next picture keeps most of it:
    // drawn again, it clears only what must go, and the next frame draws only the rest.
    void clearingShrinksToWhatMustGo() {
        const ColorTable colors = {{1, 1, 1}, {2, 2, 2}, {0, 0, 0}};
        GifImage g = blankImage(8, 8);
        g.appendFrame(makeFrame(0, 0, 8, 8, Bytes(64, 0), colors, 1, 2, 5));
        Bytes block(64, 0);
        for (int k : {18, 19, 26, 27}) // (2, 2) to (3, 3)
            block[size_t(k)] = 1;
        g.appendFrame(makeFrame(0, 0, 8, 8, block, colors, 2, 2, 5));
        block[27] = 2; // (3, 3) goes transparent
        g.appendFrame(makeFrame(0, 0, 8, 8, block, colors, 2, 2, 5));
        const GifImage optimized = optimizedCopy(g, All);
        QCOMPARE(differenceInShow(g, optimized), QString());
        const Frame& second = optimized.frame(1);
        QCOMPARE(QList<int>({second.left, second.top, second.width(), second.height()}),
                 QList<int>({2, 2, 2, 2}));
        QCOMPARE(int(second.graphicControl()->disposal), 2);
        const Frame& third = optimized.frame(2);
        QVERIFY(third.width() <= 2 && third.height() <= 2);
    }

    // A pixel that the picture after next needs transparent must not be left on screen by
    // a frame that puts back what it was drawn over, however cheap that looks.
    void aPixelThatMustGoIsNeverLeftBehind() {
        const ColorTable colors = {{1, 1, 1}, {2, 2, 2}, {0, 0, 0}};
        GifImage g = blankImage(16, 16);
        Bytes picture(256, 2); // transparent but for a light at (0, 0)
        picture[0] = 0;
        g.appendFrame(makeFrame(0, 0, 16, 16, picture, colors, 2, 2, 5));
        for (int k : {238, 239, 254, 255}) // a block at (14, 14)
            picture[size_t(k)] = 1;
        g.appendFrame(makeFrame(0, 0, 16, 16, picture, colors, 2, 2, 5));
        picture[0] = 2; // the light goes out
        g.appendFrame(makeFrame(0, 0, 16, 16, picture, colors, 2, 2, 5));
        std::vector<std::string> warnings;
        const GifImage optimized = optimizedCopy(g, All, &warnings);
        QCOMPARE(differenceInShow(g, optimized), QString());
        QVERIFY(warnings.empty());
    }

    // A frame that puts back what it was drawn over makes the next frame draw it all again;
    // when that next picture keeps the frame and changes only a few pixels far apart, the
    // frame keeps its picture, although the next frame's rectangle is then larger.
    void disposalWeighsChangedPixelsAboveArea() {
        const ColorTable colors = {{1, 1, 1}, {2, 2, 2}, {3, 3, 3}};
        GifImage g = blankImage(20, 20);
        Bytes picture(400, 0);
        g.appendFrame(makeFrame(0, 0, 20, 20, picture, colors, 1, -1, 5));
        for (size_t k = 0; k < 200; ++k) // dense text over the top half
            picture[k] = uint8_t(1 + k % 2);
        g.appendFrame(makeFrame(0, 0, 20, 20, picture, colors, 3, -1, 5));
        picture[0] = 0;
        picture[399] = 2;
        g.appendFrame(makeFrame(0, 0, 20, 20, picture, colors, 1, -1, 5));
        const GifImage optimized = optimizedCopy(g, All);
        QCOMPARE(differenceInShow(g, optimized), QString());
        QVERIFY(optimized.frame(1).graphicControl()->disposal != disposal::Previous);
    }

    void reportsProgress() {
        GifImage g = movingSprites(3, false);
        QList<std::tuple<Stage, int, ProgressMessage>> reports;
        g.onProgress = [&](Stage s, int percent, ProgressMessage m) {
            reports.append({s, percent, m});
        };
        optimize(g, options(All));
        QVERIFY(reports.size() >= 3);
        QCOMPARE(std::get<0>(reports.front()), Stage::Starting);
        QCOMPARE(std::get<0>(reports.back()), Stage::Ending);
        int last = 0;
        for (const auto& [stage, percent, message] : reports) {
            QCOMPARE(message, ProgressMessage::Optimizing);
            QVERIFY(percent >= last && percent <= 100);
            last = percent;
        }
    }
};

QTEST_GUILESS_MAIN(TestOptimize)
#include "tst_optimize.moc"
