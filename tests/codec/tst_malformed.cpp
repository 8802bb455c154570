// SPDX-License-Identifier: GPL-3.0-or-later
// Tiny hand-made damaged and hostile files: each is either rejected with a clear message
// or read as far as it goes into a consistent image, never a crash.

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include "codec/GifReader.h"
#include "support/GifBuilder.h"

using namespace vorlane::gif;
using vorlane::test::GifBuilder;

namespace {

const std::vector<uint32_t> fourColors{0x000000, 0xFF0000, 0x00FF00, 0x0000FF};
const std::vector<uint8_t> twelve{0, 1, 2, 3, 3, 2, 1, 0, 1, 1, 2, 2};

GifBuilder start(uint16_t w = 4, uint16_t h = 3) {
    GifBuilder b;
    b.header().screen(w, h, fourColors);
    return b;
}

// An image descriptor (no local table) followed by the given LZW bytes as they stand.
Bytes imageWith(uint16_t w, uint16_t h, const Bytes& lzw) {
    Bytes out{0x2C, 0, 0, 0, 0, uint8_t(w), uint8_t(w >> 8), uint8_t(h), uint8_t(h >> 8), 0};
    for (uint8_t byte : lzw)
        out.push_back(byte);
    return out;
}

// Codes of the given widths packed least significant bit first, as one sub-block after
// the minimum code size.
Bytes codes(int minCodeSize, const std::vector<std::pair<int, int>>& codeAndWidth) {
    Bytes data;
    uint32_t acc = 0;
    int bits = 0;
    for (auto [code, width] : codeAndWidth) {
        acc |= uint32_t(code) << bits;
        bits += width;
        for (; bits >= 8; bits -= 8, acc >>= 8)
            data.push_back(uint8_t(acc));
    }
    if (bits > 0) data.push_back(uint8_t(acc));
    Bytes out{uint8_t(minCodeSize), uint8_t(data.size())};
    for (uint8_t byte : data)
        out.push_back(byte);
    out.push_back(0);
    return out;
}

struct Loaded {
    GifImage image;
    QStringList warnings;
};

Loaded load(const Bytes& data, const ReadLimits& limits = {}) {
    Loaded r;
    r.image.onWarning = [&r](const std::string& m) { r.warnings << QString::fromStdString(m); };
    readGif(r.image, data, limits);
    return r;
}

QString errorOf(const Bytes& data, const ReadLimits& limits = {}) {
    try {
        load(data, limits);
    } catch (const GifError& e) {
        return QString::fromUtf8(e.what());
    }
    return {};
}

bool consistent(const GifImage& g) {
    for (const Frame& f : g.frames())
        if (f.pixels().size() != size_t(f.width()) * f.height() || f.pixels().empty()) return false;
    return true;
}

} // namespace

Q_DECLARE_METATYPE(Bytes)
Q_DECLARE_METATYPE(ReadLimits)

class TestMalformed : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void rejected_data() {
        QTest::addColumn<Bytes>("data");
        QTest::addColumn<QString>("message");
        QTest::newRow("empty file") << Bytes{} << "The file is empty";
        QTest::newRow("text, not a GIF")
            << Bytes{'h', 'e', 'l', 'l', 'o', '\n'} << "Not a GIF file";
        Bytes version88 = start().image(0, 0, 4, 3, twelve).trailer().bytes();
        version88[4] = '8';
        QTest::newRow("GIF88a") << version88 << "Unsupported GIF version";
        QTest::newRow("cut in the header")
            << Bytes{'G', 'I', 'F', '8'} << "truncated in its header";
        QTest::newRow("cut in the screen descriptor")
            << Bytes{'G', 'I', 'F', '8', '9', 'a', 4, 0, 3} << "logical screen descriptor";
        Bytes cutTable = start().bytes();
        cutTable.resize(cutTable.size() - 2);
        QTest::newRow("cut in the global table") << cutTable << "global colour table";
        QTest::newRow("no image, no trailer")
            << start().comment("x").bytes() << "truncated before its first image";
        Bytes cutDescriptor = start().raw({0x2C, 0, 0, 0, 0, 4}).bytes();
        QTest::newRow("first image cut before pixel data")
            << cutDescriptor << "truncated before its first image";
        QTest::newRow("zero-width image")
            << start().image(0, 0, 0, 3, {}).trailer().bytes() << "width or height of 0";
        QTest::newRow("zero-height image")
            << start().image(0, 0, 4, 0, {}).trailer().bytes() << "width or height of 0";
        QTest::newRow("code size 0") << start().raw(imageWith(4, 3, codes(0, {{1, 1}}))).bytes()
                                     << "invalid LZW minimum code size of 0";
        QTest::newRow("code size 12") << start().raw(imageWith(4, 3, codes(12, {{1, 13}}))).bytes()
                                      << "invalid LZW minimum code size of 12";
        QTest::newRow("code beyond the next free code")
            << start().raw(imageWith(4, 3, codes(2, {{4, 3}, {1, 3}, {7, 3}}))).trailer().bytes()
            << "LZW code 7 is beyond the table";
        QTest::newRow("first code refers to the entry being defined")
            << start().raw(imageWith(4, 3, codes(2, {{4, 3}, {6, 3}}))).trailer().bytes()
            << "LZW code 6 is beyond the table";
        QTest::newRow("literal that is no colour index (code size 9)")
            << start().raw(imageWith(4, 3, codes(9, {{512, 10}, {300, 10}}))).trailer().bytes()
            << "LZW literal 300";
        QTest::newRow("huge declared screen")
            << GifBuilder().header().screen(65535, 65535).bytes() << "exceeds the limit";
        QTest::newRow("stray byte before any image")
            << start().raw({0x00}).image(0, 0, 4, 3, twelve).trailer().bytes()
            << "Unknown block 0x00";
    }
    void rejected() {
        QFETCH(Bytes, data);
        QFETCH(QString, message);
        const QString error = errorOf(data);
        QVERIFY2(error.contains(message), qPrintable(error));
    }

    // A file cut at every offset: a clean error or a consistent image, and which one is
    // decided by how far the data reaches.
    void truncatedAtEveryOffset() {
        GifBuilder b = start();
        b.graphicControl(0, 10, 3);
        // An image is kept once its code size byte (after the 10-byte descriptor and the
        // local table) is in.
        const size_t firstData = b.bytes().size() + 11;
        b.image(0, 0, 4, 3, twelve).comment("between");
        const size_t secondData = b.bytes().size() + 11 + 12;
        b.image(1, 1, 2, 2, {1, 2, 3, 0}, fourColors, true);
        const Bytes full = b.trailer().bytes();
        for (size_t n = 0; n < full.size(); ++n) {
            const Bytes cut(full.begin(), full.begin() + ptrdiff_t(n));
            try {
                const Loaded r = load(cut);
                QVERIFY2(n >= firstData, qPrintable(QString::number(n)));
                QVERIFY(consistent(r.image));
                QCOMPARE(r.image.frameCount(), size_t(n >= secondData ? 2 : 1));
                // Decoded pixels, then the transparent colour for the missing ones.
                const Bytes& px = r.image.frame(0).pixels();
                const auto decoded = std::mismatch(px.begin(), px.end(), twelve.begin()).first;
                QVERIFY(std::all_of(decoded, px.end(), [](uint8_t p) { return p == 3; }));
                QVERIFY(!r.warnings.isEmpty());
            } catch (const GifError&) {
                QVERIFY2(n < firstData, qPrintable(QString::number(n)));
            }
        }
    }

    void leniencies() {
        // No trailer after complete images: read, with a warning.
        Loaded r = load(start().image(0, 0, 4, 3, twelve).bytes());
        QCOMPARE(r.image.frameCount(), size_t(1));
        QCOMPARE(r.warnings, QStringList{QStringLiteral("The file ends without a trailer")});

        // A well-formed file without images is an empty animation.
        r = load(start().comment("only a comment").trailer().bytes());
        QCOMPARE(r.image.frameCount(), size_t(0));
        QCOMPARE(r.image.trailingExtensions.size(), size_t(1));
        QCOMPARE(r.warnings, QStringList{QStringLiteral("The file contains no image")});

        // Garbage after the trailer, or a stray byte where a block should start after an
        // image: the rest is ignored.
        r = load(start().image(0, 0, 4, 3, twelve).trailer().raw({1, 2, 3}).bytes());
        QCOMPARE(r.warnings, QStringList{QStringLiteral("Data after the trailer is ignored")});
        r = load(start().image(0, 0, 4, 3, twelve).raw({0x00}).image(0, 0, 4, 3, twelve).bytes());
        QCOMPARE(r.image.frameCount(), size_t(1));

        // Image data for 5 pixels of 12: the rest is colour 0 (no transparency).
        r = load(start()
                     .raw(imageWith(4, 3, GifBuilder::lzwBlocks({1, 2, 3, 1, 2}, 2)))
                     .trailer()
                     .bytes());
        QCOMPARE(r.image.frame(0).pixels(), (Bytes{1, 2, 3, 1, 2, 0, 0, 0, 0, 0, 0, 0}));
        QVERIFY(
            r.warnings.join(QLatin1Char('|')).contains(QStringLiteral("too little image data")));

        // Data for 20 pixels of 12, and bytes after the end code: the first 12 count.
        Bytes twenty(twelve);
        twenty.resize(20, 3);
        r = load(start().raw(imageWith(4, 3, GifBuilder::lzwBlocks(twenty, 2))).trailer().bytes());
        QCOMPARE(r.image.frame(0).pixels(), twelve);
        QVERIFY(r.warnings.join(QLatin1Char('|')).contains(QStringLiteral("more image data")));
        r = load(start()
                     .raw(imageWith(4, 3, codes(2, {{4, 3}, {0, 3}, {5, 3}, {7, 8}})))
                     .trailer()
                     .bytes());
        QVERIFY(r.warnings.join(QLatin1Char('|')).contains(QStringLiteral("after its end code")));

        // Minimum code sizes 1 and 9 decode; the latter only because its literals fit.
        r = load(
            start().raw(imageWith(4, 3, GifBuilder::lzwBlocks(Bytes(12, 1), 1))).trailer().bytes());
        QCOMPARE(r.image.frame(0).pixels(), Bytes(12, 1));
        r = load(start().raw(imageWith(4, 3, GifBuilder::lzwBlocks(twelve, 9))).trailer().bytes());
        QCOMPARE(r.image.frame(0).pixels(), twelve);
    }

    // A first image larger than the screen grows it; later ones keep their geometry.
    // Indices beyond the table and a missing table are kept for the composition.
    void geometryAndTables() {
        Loaded r = load(GifBuilder()
                            .header()
                            .screen(2, 2, {0, 0xFFFFFF})
                            .image(1, 1, 4, 3, twelve)
                            .image(60000, 0, 1, 1, {3})
                            .trailer()
                            .bytes());
        QCOMPARE(r.image.screenWidth, uint16_t(5));
        QCOMPARE(r.image.screenHeight, uint16_t(4));
        QCOMPARE(r.image.frame(1).left, uint16_t(60000));
        QCOMPARE(r.image.frame(1).pixels(), Bytes{3});
        QCOMPARE(r.warnings.size(), 4); // grown screen, outside, and both beyond the table

        r = load(GifBuilder().header().screen(0, 0).image(0, 0, 4, 3, twelve).trailer().bytes());
        QCOMPARE(r.image.screenWidth, uint16_t(4));
        QVERIFY(r.image.globalColors().empty() && r.image.frame(0).localColors().empty());
        QCOMPARE(r.image.frame(0).pixels(), twelve);
    }

    // A graphic control record governs the next graphic block: a plain text record takes
    // it away from the image; of two before one image the first governs (with a warning).
    void graphicControlGovernance() {
        Loaded r = load(start()
                            .graphicControl(2, 5)
                            .plainText("hi")
                            .image(0, 0, 4, 3, twelve)
                            .trailer()
                            .bytes());
        const Frame& f = r.image.frame(0);
        QCOMPARE(f.extensions.size(), size_t(2));
        QVERIFY(f.extensions[0]->isGraphicControl() && f.extensions[1]->isPlainText());
        QVERIFY(!f.graphicControlRecord);

        r = load(start()
                     .graphicControl(2, 5)
                     .plainText("hi")
                     .graphicControl(1, 7)
                     .image(0, 0, 4, 3, twelve)
                     .trailer()
                     .bytes());
        QVERIFY(r.image.frame(0).graphicControlRecord == r.image.frame(0).extensions[2]);
        QVERIFY(r.warnings.isEmpty());

        r = load(start()
                     .graphicControl(2, 5)
                     .graphicControl(1, 7)
                     .image(0, 0, 4, 3, twelve)
                     .trailer()
                     .bytes());
        // The last one governs and is the only one kept.
        QCOMPARE(r.image.frame(0).graphicControl()->delay, uint16_t(7));
        QCOMPARE(r.image.frame(0).extensions.size(), size_t(1));
        QVERIFY(r.image.frame(0).graphicControlRecord == r.image.frame(0).extensions[0]);
        QCOMPARE(r.warnings, QStringList{QStringLiteral(
                                 "Frame contains multiple Graphic Control Extension blocks")});
    }

    // Three images of 4 x 3 on a 1 x 1 screen, each after a comment: within the default
    // limits, and over each limit set below what it holds.
    void limits_data() {
        QTest::addColumn<ReadLimits>("limits");
        QTest::addColumn<QString>("message");
        const auto with = [](uint64_t ReadLimits::*limit, uint64_t value) {
            ReadLimits limits;
            limits.*limit = value;
            return limits;
        };
        QTest::newRow("frames") << with(&ReadLimits::maxFrames, 2) << "more than 2 images";
        QTest::newRow("pixels of all frames")
            << with(&ReadLimits::maxTotalPixels, 30) << "more than 30 pixels";
        QTest::newRow("composed pixels")
            << with(&ReadLimits::maxComposedPixels, 12 * 2) << "too large to open";
        QTest::newRow("records") << with(&ReadLimits::maxRecords, 2)
                                 << "more than 2 extension records";
        QTest::newRow("sub-blocks")
            << with(&ReadLimits::maxRecordBlocks, 2) << "more than 2 extension sub-blocks";
        QTest::newRow("screen grown by the first image")
            << with(&ReadLimits::maxScreenPixels, 11) << "exceeds the limit of 11";
        // 36 pixels read, 3 x 12 composed, 1 KiB a frame: the whole file is counted
        // before any pixel is allocated.
        QTest::newRow("memory held")
            << with(&ReadLimits::maxHeldBytes, 3000)
            << "too large to open: 3 images of 4 x 3 pixels need 3144 bytes of memory, more "
               "than the limit of 3000 bytes";
    }
    void limits() {
        QFETCH(ReadLimits, limits);
        QFETCH(QString, message);
        GifBuilder b = GifBuilder().header().screen(1, 1, fourColors);
        for (int i = 0; i < 3; ++i)
            b.comment("c").image(0, 0, 4, 3, twelve);
        const Bytes data = b.trailer().bytes();
        QVERIFY2(errorOf(data, limits).contains(message), qPrintable(errorOf(data, limits)));
        // Refused for its size, which the editor says as such.
        QVERIFY_THROWS_EXCEPTION(GifLimitError, load(data, limits));
        QCOMPARE(load(data).image.frameCount(), size_t(3));
    }

    // What is filled where image data ends early is bounded on its own: a few bytes
    // declaring a large frame are refused, the same frame cut within the limit opens.
    // Frames far larger than the screen (drawn clipped) are bounded by the budget of
    // what the animation shows.
    void readingIsBoundedByWhatTheAnimationShows() {
        ReadLimits limits;
        limits.maxFilledPixels = 100;
        const auto cutFrame = [](uint16_t side) {
            return GifBuilder()
                .header()
                .screen(side, side, fourColors)
                .raw(imageWith(side, side, GifBuilder::lzwBlocks({1, 2}, 2)))
                .trailer()
                .bytes();
        };
        QCOMPARE(errorOf(cutFrame(11), limits),
                 QStringLiteral("Frame 1 lacks the image data of 119 pixels: more than the limit "
                                "of 100 filled pixels"));
        QVERIFY(errorOf(cutFrame(10), limits).isEmpty());

        Bytes big(40 * 40, 1);
        const Bytes oversized =
            start(2, 2).image(0, 0, 2, 2, {0, 1, 2, 3}).image(0, 0, 40, 40, big).trailer().bytes();
        limits = ReadLimits();
        limits.budgetSlackBytes = 1000;
        QCOMPARE(errorOf(oversized, limits),
                 QStringLiteral("The images hold more pixels than the animation shows: 1604 "
                                "pixels in 2 images of 2 x 2 pixels"));
        limits.budgetSlackBytes = 1600;
        QVERIFY(errorOf(oversized, limits).isEmpty());
    }

    void failedLoadLeavesTheImage() {
        GifImage g;
        g.load(start().image(0, 0, 4, 3, twelve).trailer().bytes());
        QVERIFY_THROWS_EXCEPTION(GifError,
                                 g.load(start().raw(imageWith(4, 3, codes(2, {{7, 3}}))).bytes()));
        QCOMPARE(g.frameCount(), size_t(1));
        QCOMPARE(g.frame(0).pixels(), twelve);
    }

    void textNamedGif() {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("notes.gif"));
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("just some text\n");
        f.close();
        GifImage g;
        try {
            g.load(path);
            QFAIL("text was read as a GIF");
        } catch (const GifError& e) {
            QCOMPARE(QString::fromUtf8(e.what()), QStringLiteral("Not a GIF file"));
        }
        QVERIFY_THROWS_EXCEPTION(GifError, g.load(dir.filePath(QStringLiteral("missing.gif"))));
    }
};

QTEST_GUILESS_MAIN(TestMalformed)
#include "tst_malformed.moc"
