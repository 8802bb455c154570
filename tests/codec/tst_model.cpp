// SPDX-License-Identifier: GPL-3.0-or-later
// The in-memory model: records, frame order, copies, own pictures, transparency.

#include <QTest>

#include "codec/GifImage.h"

using namespace vorlane::gif;

namespace {
Frame solidFrame(uint16_t w, uint16_t h, uint8_t index, ColorTable colors) {
    Frame f;
    f.setPixels(w, h, Bytes(size_t(w) * h, index));
    f.setLocalColors(std::move(colors));
    return f;
}
} // namespace

class TestModel : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void loopRecordKeepsOtherSubBlocks() {
        auto loop = Extension::makeApplication("NETSCAPE2.0", {Bytes{2, 0, 16, 0, 0}});
        QVERIFY(loop->isLoop());
        QVERIFY(!loop->loopCount());
        loop->setLoopCount(513);
        QCOMPARE(*loop->loopCount(), uint16_t(513));
        QCOMPARE(loop->blocks().size(), size_t(3));
        QCOMPARE(loop->blocks()[2], (Bytes{2, 0, 16, 0, 0}));

        auto anim = Extension::makeApplication("ANIMEXTS1.0", {Bytes{1, 3, 0}});
        QVERIFY(anim->isLoop());
        QCOMPARE(*anim->loopCount(), uint16_t(3));
        QVERIFY(!Extension::makeApplication("XMP DataXMP", {})->isLoop());
    }

    void commentTextSplitsIntoSubBlocks() {
        const std::string text(600, 'x');
        auto c = Extension::makeComment(text);
        QCOMPARE(c->blocks().size(), size_t(3));
        QCOMPARE(c->blocks()[2].size(), size_t(90));
        QCOMPARE(c->text(), text);
        QVERIFY(Extension::makeComment("")->blocks().empty());
    }

    void copyIsDeepAndKeepsTheGraphicControlLink() {
        GifImage a;
        a.setGlobalColors({{1, 2, 3}, {4, 5, 6}});
        Frame f;
        f.setPixels(2, 1, {0, 1});
        auto gce = Extension::makeGraphicControl();
        gce->control().delay = 7;
        f.extensions = {Extension::makeLoop(0), gce};
        f.graphicControlRecord = gce;
        a.appendFrame(std::move(f));

        GifImage b;
        b.assign(a);
        QCOMPARE(b.frame(0).localColors(), a.globalColors());
        QVERIFY(b.frame(0).graphicControlRecord == b.frame(0).extensions[1]);
        b.frame(0).graphicControl()->delay = 9;
        QCOMPARE(a.frame(0).graphicControl()->delay, uint16_t(7));
    }

    void moveExchangeDelete() {
        GifImage g;
        for (uint8_t i = 0; i < 4; ++i)
            g.appendFrame(solidFrame(1, 1, 0, {{i, i, i}}));
        auto id = [&](size_t k) { return int(g.frame(k).localColors()[0].r); };
        g.moveFrame(0, 3);
        QCOMPARE((QList<int>{id(0), id(1), id(2), id(3)}), (QList<int>{1, 2, 3, 0}));
        g.exchangeFrames(0, 3);
        QCOMPARE((QList<int>{id(0), id(1), id(2), id(3)}), (QList<int>{0, 2, 3, 1}));
        g.deleteFrame(1);
        QCOMPARE(g.frameCount(), size_t(3));
        QVERIFY_THROWS_EXCEPTION(GifError, g.moveFrame(0, 3));
    }

    void addFrameGrowsTheScreenAndWarns() {
        GifImage g;
        QStringList warnings;
        g.onWarning = [&](const std::string& m) { warnings << QString::fromStdString(m); };
        QImage small(4, 3, QImage::Format_Indexed8);
        small.setColorTable({qRgb(0, 0, 0), qRgb(255, 0, 0)});
        small.fill(1);
        g.addFrame(small);
        QCOMPARE(g.screenWidth, uint16_t(4));
        QVERIFY(warnings.isEmpty());
        QImage wide(6, 2, QImage::Format_Indexed8);
        wide.setColorTable({qRgb(0, 0, 0)});
        wide.fill(0);
        g.addFrame(wide);
        QCOMPARE(g.screenWidth, uint16_t(6));
        QCOMPARE(g.screenHeight, uint16_t(3));
        QCOMPARE(warnings, QStringList{QStringLiteral("Image exceeds Logical Screen size")});
        QCOMPARE(g.frame(0).localColors()[1], (Rgb{255, 0, 0}));
        QVERIFY(g.frame(1).extensions.empty() && !g.frame(1).graphicControl());
    }

    // The own picture shares the frame's pixels (any width: its rows may be unaligned),
    // keeps them alive, and a change of its colours leaves the frame as it was.
    void ownPictureSharesThePixels_data() {
        QTest::addColumn<int>("width");
        QTest::newRow("aligned rows") << 8;
        QTest::newRow("unaligned rows") << 3;
    }
    void ownPictureSharesThePixels() {
        QFETCH(int, width);
        GifImage g;
        Frame f;
        Bytes pixels(size_t(width) * 2);
        for (size_t i = 0; i < pixels.size(); ++i)
            pixels[i] = uint8_t(i % 2);
        f.setPixels(uint16_t(width), 2, pixels);
        f.setLocalColors({{0, 0, 0}, {10, 20, 30}});
        g.appendFrame(std::move(f));
        QImage shared = g.ownPicture(0);
        QCOMPARE(shared.format(), QImage::Format_Indexed8);
        QCOMPARE(shared.constBits(), g.frame(0).pixels().data());
        for (int y = 0; y < 2; ++y)
            for (int x = 0; x < width; ++x)
                QCOMPARE(shared.pixelIndex(x, y), int(pixels[size_t(y * width + x)]));
        const QRgb expected = pixels[size_t(width + 1)] ? qRgb(10, 20, 30) : qRgb(0, 0, 0);
        QCOMPARE(shared.convertToFormat(QImage::Format_RGB32).pixel(1, 1), expected);
        QList<QRgb> colors = shared.colorTable();
        colors[1] = 0;
        shared.setColorTable(colors);
        QCOMPARE(shared.constBits(), g.frame(0).pixels().data());
        QCOMPARE(g.ownPicture(0).color(1), qRgb(10, 20, 30));
        g.clearFrames();
        QCOMPARE(shared.pixelIndex(width - 1, 1), int(pixels.back()));
    }

    void graphicControlRecordsAndTransparency() {
        GifImage g;
        g.appendFrame(solidFrame(1, 1, 0, {{1, 1, 1}, {2, 2, 2}, {1, 1, 1}}));
        QStringList warnings;
        g.onWarning = [&](const std::string& m) { warnings << QString::fromStdString(m); };
        auto first = g.newGraphicControl(0);
        QVERIFY(g.frame(0).extensions.empty());
        g.frame(0).extensions.push_back(first);
        auto second = g.newGraphicControl(0);
        QVERIFY(g.frame(0).graphicControlRecord == first && second != first);
        QCOMPARE(warnings.size(), 1);

        g.setTransparentColor(0, {1, 1, 1});
        QCOMPARE(g.frame(0).graphicControl()->transparentIndex, uint8_t(2)); // last match
        QVERIFY(!g.frame(0).graphicControl()->transparent);
        g.setTransparentColor(0, {9, 9, 9});
        QCOMPARE(g.frame(0).graphicControl()->transparentIndex, uint8_t(3));

        GifImage full;
        full.appendFrame(solidFrame(1, 1, 0, ColorTable(256, Rgb{0, 0, 0})));
        full.frame(0).graphicControlRecord = Extension::makeGraphicControl();
        QVERIFY_THROWS_EXCEPTION(GifError, full.setTransparentColor(0, {1, 2, 3}));
    }
};

QTEST_GUILESS_MAIN(TestModel)
#include "tst_model.moc"
