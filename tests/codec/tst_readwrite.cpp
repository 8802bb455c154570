// SPDX-License-Identifier: GPL-3.0-or-later
// Writing and reading back: records, pixels, order, geometry, tables and flags survive;
// the version follows the content.

#include <random>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include "codec/GifImage.h"
#include "codec/Lzw.h"
#include "codec/Optimize.h"
#include "codec/TestAnimations.h"
#include "codec/Unoptimize.h"

using namespace vorlane::gif;
using namespace vorlane::test;

namespace {

// A w x h frame of random indices below `colors`, with a local table when one is given.
Frame noiseFrame(uint16_t w, uint16_t h, unsigned colors, uint32_t seed, ColorTable local = {}) {
    std::mt19937 rng(seed);
    Bytes px(size_t(w) * h);
    for (auto& p : px)
        p = uint8_t(rng() % colors);
    Frame f;
    f.setPixels(w, h, std::move(px));
    if (!local.empty()) f.setLocalColors(std::move(local));
    return f;
}

ColorTable grey(int n) {
    return makeTable(n, [](int i) { return Rgb{uint8_t(i), uint8_t(i * 2), uint8_t(255 - i)}; });
}

GifImage withScreen(int w, int h, int colors) {
    GifImage g = blankImage(w, h);
    g.setGlobalColors(grey(colors));
    return g;
}

GifImage readBack(const GifImage& image) {
    GifImage back;
    back.load(image.saveToBytes());
    return back;
}

// Read-back tables are padded to a power of two with black.
void compareTable(const ColorTable& read, const ColorTable& written) {
    QVERIFY(read.size() >= written.size());
    QVERIFY(std::equal(written.begin(), written.end(), read.begin()));
    QVERIFY(std::all_of(read.begin() + ptrdiff_t(written.size()), read.end(),
                        [](const Rgb& c) { return c == Rgb{}; }));
}

void compareRecords(const ExtensionList& read, const ExtensionList& written) {
    QCOMPARE(read.size(), written.size());
    for (size_t i = 0; i < read.size(); ++i) {
        QCOMPARE(read[i]->label(), written[i]->label());
        QCOMPARE(read[i]->blocks(), written[i]->blocks());
        if (written[i]->isGraphicControl()) {
            const GraphicControl& a = read[i]->control();
            const GraphicControl& b = written[i]->control();
            QCOMPARE(a.disposal, b.disposal);
            QCOMPARE(a.userInput, b.userInput);
            QCOMPARE(a.transparent, b.transparent);
            QCOMPARE(a.transparentIndex, b.transparentIndex);
            QCOMPARE(a.delay, b.delay);
            QCOMPARE(a.reservedBits, b.reservedBits);
        }
    }
}

void compareImages(const GifImage& read, const GifImage& written) {
    QCOMPARE(read.screenWidth, written.screenWidth);
    QCOMPARE(read.screenHeight, written.screenHeight);
    QCOMPARE(read.backgroundIndex, written.backgroundIndex);
    QCOMPARE(read.aspect, written.aspect);
    QCOMPARE(read.colorResolution, written.colorResolution);
    compareTable(read.globalColors(), written.globalColors());
    QCOMPARE(read.globalSorted(), written.globalSorted());
    QCOMPARE(read.frameCount(), written.frameCount());
    for (size_t i = 0; i < read.frameCount(); ++i) {
        const Frame& a = read.frame(i);
        const Frame& b = written.frame(i);
        QCOMPARE(a.left, b.left);
        QCOMPARE(a.top, b.top);
        QCOMPARE(a.width(), b.width());
        QCOMPARE(a.height(), b.height());
        QCOMPARE(a.interlaced, b.interlaced);
        QVERIFY(a.pixels() == b.pixels());
        compareTable(a.localColors(), b.localColors());
        QCOMPARE(a.localSorted(), b.localSorted());
        compareRecords(a.extensions, b.extensions);
        // The reference points at the same position in the list.
        auto at = [](const Frame& f) {
            return std::find(f.extensions.begin(), f.extensions.end(), f.graphicControlRecord) -
                   f.extensions.begin();
        };
        QCOMPARE(bool(a.graphicControlRecord), bool(b.graphicControlRecord));
        QCOMPARE(at(a), at(b));
    }
    compareRecords(read.trailingExtensions, written.trailingExtensions);
}

std::string signature(const Bytes& data) {
    return std::string(data.begin(), data.begin() + 6);
}

} // namespace

class TestReadWrite : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void gif87aWithoutRecords() {
        GifImage g = withScreen(40, 30, 5);
        g.backgroundIndex = 3;
        g.aspect = 49;
        g.colorResolution = 4;
        g.appendFrame(noiseFrame(40, 30, 5, 1));
        g.appendFrame(noiseFrame(7, 3, 200, 2, grey(200)));
        const Bytes data = g.saveToBytes();
        QCOMPARE(signature(data), std::string("GIF87a"));
        QCOMPARE(data.back(), uint8_t(0x3B));
        GifImage back;
        back.load(data);
        compareImages(back, g);
    }

    // Every row layout of the four interlace passes, including heights below 8.
    void interlacedFrames() {
        for (uint16_t h : {1, 2, 3, 4, 5, 7, 8, 9, 15, 17, 33}) {
            GifImage g = withScreen(5, h, 256);
            g.appendFrame(noiseFrame(5, h, 255, h)).interlaced = true;
            compareImages(readBack(g), g);
        }
    }

    void geometryInsideAndOutsideTheScreen() {
        GifImage g = withScreen(20, 10, 4);
        g.appendFrame(noiseFrame(20, 10, 4, 1));
        Frame& inside = g.appendFrame(noiseFrame(3, 4, 4, 2));
        inside.left = 5;
        inside.top = 6;
        Frame& outside = g.appendFrame(noiseFrame(30, 2, 4, 3));
        outside.left = 65000;
        outside.top = 9;
        compareImages(readBack(g), g);
    }

    void loopRecords_data() {
        QTest::addColumn<ExtensionList>("records");
        QTest::addColumn<int>("count"); // -1: no loop record
        QTest::newRow("absent") << ExtensionList{} << -1;
        QTest::newRow("forever") << ExtensionList{Extension::makeLoop(0)} << 0;
        QTest::newRow("three times") << ExtensionList{Extension::makeLoop(3)} << 3;
        QTest::newRow("ANIMEXTS1.0")
            << ExtensionList{Extension::makeApplication("ANIMEXTS1.0", {{1, 5, 0}})} << 5;
        QTest::newRow("with buffer-size block")
            << ExtensionList{Extension::makeApplication("NETSCAPE2.0",
                                                        {{1, 7, 0}, {2, 0, 16, 0, 0}})}
            << 7;
    }
    void loopRecords() {
        QFETCH(ExtensionList, records);
        QFETCH(int, count);
        GifImage g = withScreen(2, 2, 2);
        g.appendFrame(noiseFrame(2, 2, 2, 1)).extensions = records;
        g.appendFrame(noiseFrame(2, 2, 2, 2));
        const GifImage back = readBack(g);
        compareImages(back, g);
        const ExtensionList& read = back.frame(0).extensions;
        QCOMPARE(read.empty(), count < 0);
        if (count >= 0) QCOMPARE(read[0]->loopCount(), std::optional<uint16_t>(count));
    }

    // Comments, foreign application records, plain text and records after the last image
    // come back in their order, byte for byte, with each frame's graphic control link.
    void recordsKeepOrderAndContent() {
        GifImage g = withScreen(4, 4, 16);
        Frame& a = g.appendFrame(noiseFrame(4, 4, 16, 1));
        auto control = Extension::makeGraphicControl();
        control->control() = {3, true, true, 9, 65535, 5};
        a.extensions = {Extension::makeLoop(0), Extension::makeComment(std::string(600, 'c')),
                        control, Extension::makeComment("second"),
                        Extension::makeApplication("XMP DataXMP", {Bytes(255, 7), {1}})};
        a.graphicControlRecord = control;
        Frame& b = g.appendFrame(noiseFrame(4, 4, 16, 2));
        auto text = std::make_shared<Extension>(labels::PlainText);
        text->blocks() = {Bytes{0, 0, 0, 0, 8, 0, 8, 0, 8, 8, 1, 0}, {'h', 'i'}};
        auto unknown = std::make_shared<Extension>(uint8_t(0x42));
        unknown->blocks() = {{1, 2, 3}};
        b.extensions = {text, unknown};
        g.trailingExtensions = {Extension::makeComment("after"), Extension::makeGraphicControl()};
        compareImages(readBack(g), g);
    }

    void versionFollowsContent_data() {
        QTest::addColumn<int>("content");
        QTest::addColumn<QByteArray>("version");
        QTest::newRow("plain") << 0 << QByteArray("GIF87a");
        QTest::newRow("frame record") << 1 << QByteArray("GIF89a");
        QTest::newRow("trailing record") << 2 << QByteArray("GIF89a");
        QTest::newRow("sorted global table") << 3 << QByteArray("GIF89a");
        QTest::newRow("sorted local table") << 4 << QByteArray("GIF89a");
        QTest::newRow("control only referenced") << 5 << QByteArray("GIF87a");
    }
    void versionFollowsContent() {
        QFETCH(int, content);
        QFETCH(QByteArray, version);
        GifImage g;
        g.setGlobalColors(grey(2), content == 3);
        Frame& f = g.appendFrame(noiseFrame(2, 1, 2, 1));
        if (content == 1) f.extensions.push_back(Extension::makeComment("x"));
        if (content == 2) g.trailingExtensions.push_back(Extension::makeComment("x"));
        if (content == 4) f.setLocalColors(grey(2), true);
        if (content == 5) f.graphicControlRecord = Extension::makeGraphicControl();
        QCOMPARE(QByteArray::fromStdString(signature(g.saveToBytes())), version);
    }

    // A frame without pixels writes its records but no image.
    void recordOnlyFrame() {
        GifImage g;
        g.setGlobalColors(grey(2));
        g.appendFrame(Frame{}).extensions.push_back(Extension::makeComment("only"));
        g.appendFrame(noiseFrame(2, 2, 2, 1));
        const GifImage back = readBack(g);
        QCOMPARE(back.frameCount(), size_t(1));
        QCOMPARE(back.frame(0).extensions.size(), size_t(1));
        QCOMPARE(back.frame(0).extensions[0]->text(), std::string("only"));
    }

    // Blocks that cannot be written as one sub-block are split, never written empty (an
    // empty sub-block would end the record and corrupt the rest of the file).
    void oddSubBlocksStayReadable() {
        GifImage g;
        g.setGlobalColors(grey(2));
        auto odd = std::make_shared<Extension>(labels::Comment);
        odd->blocks() = {Bytes{}, Bytes(300, 'a'), Bytes{}};
        g.appendFrame(noiseFrame(2, 2, 2, 1)).extensions.push_back(odd);
        const GifImage back = readBack(g);
        QCOMPARE(back.frame(0).extensions[0]->text(), std::string(300, 'a'));
        QCOMPARE(back.frame(0).pixels(), g.frame(0).pixels());
    }

    void emptyImageCannotBeSaved() {
        GifImage g;
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("empty.gif"));
        try {
            g.save(path);
            QFAIL("saved an image without frames");
        } catch (const GifError& e) {
            QCOMPARE(QString::fromUtf8(e.what()), QStringLiteral("Cannot save empty GIF"));
        }
        QVERIFY(!QFile::exists(path));
        QVERIFY_THROWS_EXCEPTION(GifError, g.saveToBytes());
    }

    void saveToFileAndProgress() {
        GifImage g;
        g.setGlobalColors(grey(4));
        g.appendFrame(noiseFrame(9, 9, 4, 1));
        g.appendFrame(noiseFrame(9, 9, 4, 2));
        QList<std::pair<Stage, ProgressMessage>> steps;
        g.onProgress = [&](Stage s, int, ProgressMessage m) { steps.append({s, m}); };
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("any.extension"));
        g.save(path);
        QCOMPARE(steps.front(), std::make_pair(Stage::Starting, ProgressMessage::Saving));
        QCOMPARE(steps.back(), std::make_pair(Stage::Ending, ProgressMessage::Saving));
        QVERIFY(steps.contains(std::make_pair(Stage::Running, ProgressMessage::Saving)));

        steps.clear();
        g.load(path);
        QCOMPARE(steps.front(), std::make_pair(Stage::Starting, ProgressMessage::Loading));
        QCOMPARE(steps.back(), std::make_pair(Stage::Ending, ProgressMessage::Loading));
        QCOMPARE(g.frameCount(), size_t(2));
        QVERIFY(g.onProgress); // handlers survive a load
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files),
                 QStringList{QStringLiteral("any.extension")});
    }

    // A progress handler that throws (the editor's Cancel) stops the work wherever it
    // runs on several threads: the exception comes out as it was thrown, every thread
    // has stopped, and the image read into is left as it was.
    void throwingProgressStopsTheWork_data() {
        QTest::addColumn<QString>("work");
        for (const char* work : {"load", "save", "unoptimize", "optimize"})
            QTest::newRow(work) << QString::fromLatin1(work);
    }
    void throwingProgressStopsTheWork() {
        QFETCH(QString, work);
        struct Stop {};
        GifImage g = withScreen(64, 48, 16);
        for (uint32_t i = 0; i < 24; ++i)
            g.appendFrame(noiseFrame(64, 48, 16, i));
        const Bytes file = g.saveToBytes();
        GifImage target;
        target.load(file);
        int reports = 0;
        const auto stopAtFirstStep = [&](Stage stage, int, ProgressMessage) {
            ++reports;
            if (stage == Stage::Running) throw Stop{};
        };
        bool stopped = false;
        try {
            if (work == QLatin1String("load")) {
                target.onProgress = stopAtFirstStep;
                target.load(file);
            } else if (work == QLatin1String("save")) {
                target.onProgress = stopAtFirstStep;
                target.saveToBytes();
            } else if (work == QLatin1String("unoptimize")) {
                target.onProgress = stopAtFirstStep;
                unoptimize(target);
            } else {
                GifImage opened = unoptimize(target);
                opened.onProgress = stopAtFirstStep;
                OptimizeOptions options;
                options.crop = options.merge = options.cleanup = options.colorTables = true;
                optimize(opened, options);
            }
        } catch (const Stop&) {
            stopped = true;
        }
        QVERIFY(stopped);
        QVERIFY(reports >= 2); // Starting, the Running that threw, and the closing Ending
        target.onProgress = nullptr;
        QCOMPARE(target.frameCount(), size_t(24));
        QCOMPARE(target.saveToBytes(), file);
    }

    void failedSaveNamesTheReason() {
        GifImage g;
        g.appendFrame(noiseFrame(2, 2, 2, 1));
        QTemporaryDir dir;
        try {
            g.save(dir.filePath(QStringLiteral("missing/sub/out.gif")));
            QFAIL("saved into a missing folder");
        } catch (const GifError& e) {
            QVERIFY2(QString::fromUtf8(e.what()).contains(QStringLiteral("No such file")),
                     e.what());
        }
    }

    // The coder alone, at every code size, on data that fills the table many times over
    // (noise) and on data of long runs (strings up to thousands of pixels).
    void lzwRoundTrip() {
        std::mt19937 rng(7);
        for (int bits = 2; bits <= 8; ++bits) {
            for (int kind = 0; kind < 3; ++kind) {
                Bytes px(kind == 2 ? 1 : 200000);
                for (size_t i = 0; i < px.size(); ++i)
                    px[i] = uint8_t(kind == 0 ? rng() % (1u << bits) : (i / 5000) % (1u << bits));
                Bytes coded;
                lzw::encode(px, bits, coded);
                Bytes back(px.size() + 3, 0xEE);
                const auto r = lzw::decode(coded, bits, back.data(), px.size());
                QVERIFY(r.sawEndCode && !r.extraCodes && !r.dataAfterEnd);
                QCOMPARE(r.written, px.size());
                QVERIFY(std::equal(px.begin(), px.end(), back.begin()));
            }
        }
        // The end code is written at the width the decoder expects after the last data
        // code, including when that code fills the current width exactly.
        for (size_t n = 1; n < 1500; ++n) {
            Bytes px(n);
            for (auto& p : px)
                p = uint8_t(rng() % 4);
            Bytes coded;
            lzw::encode(px, 2, coded);
            Bytes back(n);
            const auto r = lzw::decode(coded, 2, back.data(), n);
            QVERIFY2(r.sawEndCode && !r.dataAfterEnd, qPrintable(QString::number(n)));
        }
    }
};

QTEST_GUILESS_MAIN(TestReadWrite)
#include "tst_readwrite.moc"
