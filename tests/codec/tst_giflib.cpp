// SPDX-License-Identifier: GPL-3.0-or-later
// Our decoder against giflib's on files from three encoders (the test builder, our
// writer, giflib's own), and our encoder's compression against giflib's.

#include <random>

#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <gif_lib.h>

#include "codec/GifImage.h"
#include "support/GifBuilder.h"

using namespace vorlane::gif;
using vorlane::test::GifBuilder;

namespace {

struct Decoded {
    int left, top, width, height;
    bool interlaced;
    Bytes pixels;
};

struct Cursor {
    const Bytes* data;
    size_t pos;
};

int readFromCursor(GifFileType* gif, GifByteType* buffer, int n) {
    auto* c = static_cast<Cursor*>(gif->UserData);
    const size_t take = std::min(size_t(n), c->data->size() - c->pos);
    std::copy_n(c->data->data() + c->pos, take, buffer);
    c->pos += take;
    return int(take);
}

int appendToBytes(GifFileType* gif, const GifByteType* buffer, int n) {
    auto* out = static_cast<Bytes*>(gif->UserData);
    out->insert(out->end(), buffer, buffer + n);
    return n;
}

// DGifSlurp de-interlaces, so its rasters are in display order like ours.
std::vector<Decoded> giflibDecode(const Bytes& data) {
    Cursor cursor{&data, 0};
    int error = 0;
    GifFileType* gif = DGifOpen(&cursor, readFromCursor, &error);
    if (!gif || DGifSlurp(gif) != GIF_OK) {
        QTest::qFail("giflib cannot read the file", __FILE__, __LINE__);
        DGifCloseFile(gif, &error);
        return {};
    }
    std::vector<Decoded> frames;
    for (int i = 0; i < gif->ImageCount; ++i) {
        const SavedImage& s = gif->SavedImages[i];
        const GifImageDesc& d = s.ImageDesc;
        frames.push_back({d.Left, d.Top, d.Width, d.Height, d.Interlace,
                          Bytes(s.RasterBits, s.RasterBits + size_t(d.Width) * d.Height)});
    }
    DGifCloseFile(gif, &error);
    return frames;
}

ColorMapObject* giflibTable(const ColorTable& colors) {
    int n = 2;
    while (n < int(colors.size()))
        n *= 2;
    std::vector<GifColorType> entries(size_t(n), GifColorType{0, 0, 0});
    for (size_t i = 0; i < colors.size(); ++i)
        entries[i] = {colors[i].r, colors[i].g, colors[i].b};
    return GifMakeMapObject(n, entries.data());
}

// The frames (global table only) written by giflib's encoder, rows in file order.
Bytes giflibEncode(const GifImage& g) {
    Bytes out;
    int error = 0;
    GifFileType* gif = EGifOpen(&out, appendToBytes, &error);
    ColorMapObject* global = giflibTable(g.globalColors());
    EGifPutScreenDesc(gif, g.screenWidth, g.screenHeight, 8, 0, global);
    for (const Frame& f : g.frames()) {
        EGifPutImageDesc(gif, f.left, f.top, f.width(), f.height(), f.interlaced, nullptr);
        std::vector<int> rows;
        static const int start[4] = {0, 4, 2, 1}, step[4] = {8, 8, 4, 2};
        for (int pass = 0; pass < (f.interlaced ? 4 : 1); ++pass)
            for (int y = f.interlaced ? start[pass] : 0; y < f.height();
                 y += f.interlaced ? step[pass] : 1)
                rows.push_back(y);
        for (int y : rows)
            EGifPutLine(gif, const_cast<GifPixelType*>(f.pixels().data()) + size_t(y) * f.width(),
                        f.width());
    }
    EGifCloseFile(gif, &error);
    GifFreeMapObject(global);
    return out;
}

Frame frameOf(uint16_t w, uint16_t h, Bytes px, uint16_t left = 0, uint16_t top = 0,
              bool interlaced = false) {
    Frame f;
    f.setPixels(w, h, std::move(px));
    f.left = left;
    f.top = top;
    f.interlaced = interlaced;
    return f;
}

// Frames that exercise the coder: noise that fills and clears the table many times, runs
// long enough for strings of thousands of pixels, smooth gradients, every interlace
// layout, tiny and offset frames.
GifImage sampleImage() {
    std::mt19937 rng(3);
    GifImage g;
    g.screenWidth = 320;
    g.screenHeight = 200;
    ColorTable colors(256);
    for (int i = 0; i < 256; ++i)
        colors[size_t(i)] = {uint8_t(i), uint8_t(i * 3), uint8_t(i * 7)};
    g.setGlobalColors(colors);
    auto fill = [&](uint16_t w, uint16_t h, auto value) {
        Bytes px(size_t(w) * h);
        for (size_t i = 0; i < px.size(); ++i)
            px[i] = uint8_t(value(i % w, i / w));
        return px;
    };
    g.appendFrame(frameOf(320, 200, fill(320, 200, [&](size_t, size_t) { return rng(); })));
    g.appendFrame(frameOf(
        320, 200, fill(320, 200, [](size_t x, size_t y) { return (x / 40 + y / 50) * 9; })));
    g.appendFrame(
        frameOf(320, 200, fill(320, 200, [](size_t x, size_t y) { return x ^ y; }), 0, 0, true));
    for (uint16_t h = 1; h <= 9; ++h)
        g.appendFrame(
            frameOf(3, h, fill(3, h, [&](size_t, size_t) { return rng() % 5; }), h, h, true));
    g.appendFrame(frameOf(1, 1, {255}, 319, 199));
    g.appendFrame(frameOf(
        97, 61, fill(97, 61, [&](size_t x, size_t) { return x < 50 ? 1 : rng() % 4; }), 11, 7));
    return g;
}

Bytes builderFile() {
    GifBuilder b;
    b.header().screen(64, 64, {0x000000, 0xFFFFFF});
    std::mt19937 rng(5);
    for (int bits = 1; bits <= 8; ++bits) {
        std::vector<uint8_t> px(64 * 48);
        for (auto& p : px)
            p = uint8_t(rng() % (1u << bits));
        std::vector<uint32_t> local(size_t(1) << bits, 0x102030);
        b.image(0, 0, 64, 48, px, local, bits % 2 == 0, std::max(2, bits));
    }
    return b.trailer().bytes();
}

void compareWithGiflib(const Bytes& data) {
    GifImage ours;
    ours.load(data);
    const std::vector<Decoded> theirs = giflibDecode(data);
    QCOMPARE(ours.frameCount(), theirs.size());
    for (size_t i = 0; i < theirs.size(); ++i) {
        const Frame& f = ours.frame(i);
        const Decoded& d = theirs[i];
        QCOMPARE(int(f.left), d.left);
        QCOMPARE(int(f.top), d.top);
        QCOMPARE(int(f.width()), d.width);
        QCOMPARE(int(f.height()), d.height);
        QCOMPARE(f.interlaced, d.interlaced);
        QVERIFY2(f.pixels() == d.pixels, qPrintable(QStringLiteral("frame %1").arg(i)));
    }
}

} // namespace

Q_DECLARE_METATYPE(Bytes)

class TestGiflib : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void samePixelsAsGiflib_data() {
        QTest::addColumn<Bytes>("data");
        const GifImage sample = sampleImage();
        QTest::newRow("test builder") << builderFile();
        QTest::newRow("our writer") << sample.saveToBytes();
        QTest::newRow("giflib's writer") << giflibEncode(sample);
    }
    void samePixelsAsGiflib() {
        QFETCH(Bytes, data);
        compareWithGiflib(data);
    }

    // gifsicle's optimiser writes transparent, cropped frames with its own encoder.
    void sameAsGiflibOnGifsicleOutput() {
        const QString gifsicle = QStandardPaths::findExecutable(QStringLiteral("gifsicle"));
        if (gifsicle.isEmpty()) QSKIP("gifsicle is not installed");
        QTemporaryDir dir;
        const QString in = dir.filePath(QStringLiteral("in.gif"));
        const QString out = dir.filePath(QStringLiteral("out.gif"));
        sampleImage().save(in);
        QProcess p;
        p.start(gifsicle, {QStringLiteral("-O3"), QStringLiteral("--interlace"), in,
                           QStringLiteral("-o"), out});
        QVERIFY(p.waitForFinished(60000) && p.exitCode() == 0);
        GifImage written;
        written.load(out);
        compareWithGiflib(written.saveToBytes());
        QFile f(out);
        QVERIFY(f.open(QIODevice::ReadOnly));
        const QByteArray raw = f.readAll();
        compareWithGiflib(Bytes(raw.begin(), raw.end()));
    }

    // Several graphic control records before one image: the last governs, as gifsicle
    // reads it; the saved file holds only that one, so that giflib's look-up (which takes
    // the first record of an image) agrees too.
    void lastOfSeveralGraphicControlsGoverns() {
        const QString gifsicle = QStandardPaths::findExecutable(QStringLiteral("gifsicle"));
        if (gifsicle.isEmpty()) QSKIP("gifsicle is not installed");
        const Bytes file = GifBuilder()
                               .header()
                               .screen(2, 1, {0x000000, 0xFFFFFF})
                               .graphicControl(1, 10)
                               .comment("between")
                               .graphicControl(2, 70, 1)
                               .image(0, 0, 2, 1, {0, 1})
                               .trailer()
                               .bytes();
        QTemporaryDir dir;
        const QString in = dir.filePath(QStringLiteral("in.gif"));
        QFile f(in);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(reinterpret_cast<const char*>(file.data()), qsizetype(file.size()));
        f.close();
        QProcess p;
        p.start(gifsicle, {QStringLiteral("--info"), in});
        QVERIFY(p.waitForFinished(60000) && p.exitCode() == 0);
        const QByteArray info = p.readAllStandardOutput();
        QVERIFY2(info.contains("transparent 1") && info.contains("disposal background delay 0.70s"),
                 info.constData());

        GifImage ours;
        ours.load(file);
        const GraphicControl* gc = ours.frame(0).graphicControl();
        QCOMPARE(QList<int>({gc->disposal, gc->delay, gc->transparent, gc->transparentIndex}),
                 QList<int>({2, 70, 1, 1}));

        Bytes saved = ours.saveToBytes();
        Cursor cursor{&saved, 0};
        int error = 0;
        GifFileType* gif = DGifOpen(&cursor, readFromCursor, &error);
        QVERIFY(gif && DGifSlurp(gif) == GIF_OK);
        int controls = 0;
        for (int k = 0; k < gif->SavedImages[0].ExtensionBlockCount; ++k)
            controls += gif->SavedImages[0].ExtensionBlocks[k].Function == GRAPHICS_EXT_FUNC_CODE;
        GraphicsControlBlock gcb{};
        QVERIFY(DGifSavedExtensionToGCB(gif, 0, &gcb) == GIF_OK);
        DGifCloseFile(gif, &error);
        QCOMPARE(controls, 1);
        QCOMPARE(QList<int>({gcb.DisposalMode, gcb.DelayTime, gcb.TransparentColor}),
                 QList<int>({2, 70, 1}));
    }

    // Standard LZW compression: never larger than giflib's for the same frames (ours
    // also uses the last table code, so it may be a little smaller).
    void compressesLikeGiflib() {
        const GifImage sample = sampleImage();
        const size_t ours = sample.saveToBytes().size();
        const size_t theirs = giflibEncode(sample).size();
        QVERIFY2(ours <= theirs && ours * 100 >= theirs * 99,
                 qPrintable(QStringLiteral("ours %1, giflib %2").arg(ours).arg(theirs)));
    }
};

QTEST_GUILESS_MAIN(TestGiflib)
#include "tst_giflib.moc"
