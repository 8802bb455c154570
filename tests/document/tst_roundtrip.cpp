// SPDX-License-Identifier: GPL-3.0-or-later
// Opening a GIF and saving it with Save changes nothing a viewer shows at any frame, nor
// the delays, disposal methods or comment; the loop count changes only where the file
// has no loop record (it gets one counting 0). Both files are decoded by giflib,
// independently of our reader and writer.

#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>

#include "document/DocumentFixture.h"
#include "document/GiflibViewer.h"

using namespace vorlane;
using namespace vorlane::test;

namespace {

// The first loop record of frame 0 and the comments of frame 0, as read by our codec.
struct Records {
    int loop = -1; // -1: none
    QString comment;
};

Records recordsOf(const QString& fileName) {
    gif::GifImage image;
    image.load(fileName);
    Records r;
    for (const auto& e : image.frame(0).extensions) {
        if (r.loop < 0 && e->isLoop()) r.loop = e->loopCount().value_or(0);
        if (e->isComment()) r.comment += QString::fromStdString(e->text());
    }
    return r;
}

std::vector<uint32_t> palette(QRandomGenerator& rng, int n) {
    std::vector<uint32_t> colors;
    for (int i = 0; i < n; ++i)
        colors.push_back(rng.generate() & 0xFFFFFF);
    return colors;
}

// An animation of partial frames with every disposal method, transparency, local
// tables and interlacing, chosen by `seed`. At most 16 + 8 per frame colours, so every
// composed picture fits one table and unoptimizing loses no colour.
Bytes randomAnimation(quint32 seed) {
    QRandomGenerator rng(seed);
    const int w = 4 + int(rng.bounded(20));
    const int h = 4 + int(rng.bounded(20));
    GifBuilder b;
    b.header().screen(uint16_t(w), uint16_t(h), palette(rng, 16), uint8_t(rng.bounded(16)));
    if (rng.bounded(3) > 0) b.loop(uint16_t(rng.bounded(4)));
    if (rng.bounded(2)) b.comment("seed " + std::to_string(seed));
    const int frames = 1 + int(rng.bounded(6));
    for (int i = 0; i < frames; ++i) {
        const int fw = 1 + int(rng.bounded(w));
        const int fh = 1 + int(rng.bounded(h));
        const int left = int(rng.bounded(w - fw + 1));
        const int top = int(rng.bounded(h - fh + 1));
        const bool local = rng.bounded(3) == 0;
        const int colors = local ? 8 : 16;
        const int transparent = rng.bounded(2) ? int(rng.bounded(colors)) : -1;
        std::vector<uint8_t> indices(size_t(fw) * fh);
        for (auto& v : indices)
            v = uint8_t(rng.bounded(colors));
        b.graphicControl(uint8_t(rng.bounded(4)), uint16_t(rng.bounded(50)), transparent);
        b.image(uint16_t(left), uint16_t(top), uint16_t(fw), uint16_t(fh), indices,
                local ? palette(rng, 8) : std::vector<uint32_t>{}, rng.bounded(4) == 0);
    }
    b.trailer();
    return b.bytes();
}

QString firstDifference(const QImage& a, const QImage& b) {
    if (a.size() != b.size()) return QStringLiteral("sizes differ");
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x)
            if (a.pixel(x, y) != b.pixel(x, y))
                return QStringLiteral("pixel (%1, %2): %3 against %4")
                    .arg(x)
                    .arg(y)
                    .arg(a.pixel(x, y), 8, 16, QLatin1Char('0'))
                    .arg(b.pixel(x, y), 8, 16, QLatin1Char('0'));
    return {};
}

} // namespace

class TestRoundTrip : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;

    // Opens a copy of `bytes`, saves it with Save, and compares it with the original.
    void openAndSave(const Bytes& bytes) {
        const QString original = writeFile(m_dir.filePath(QStringLiteral("original.gif")), bytes);
        const QString work = writeFile(m_dir.filePath(QStringLiteral("work.gif")), bytes);
        DocumentFixture f;
        f.open(work);
        QVERIFY2(f.animation.hasImage(), "the file did not open");
        QCOMPARE(f.files.save(), DocumentFiles::SaveResult::Saved);
        QCOMPARE(f.fakes.prompts.asked().size(), 0);

        const auto before = viewWithGiflib(original);
        const auto after = viewWithGiflib(work);
        QVERIFY(!before.empty());
        QCOMPARE(after.size(), before.size());
        for (size_t i = 0; i < before.size(); ++i) {
            const QString diff = firstDifference(after[i].picture, before[i].picture);
            QVERIFY2(diff.isEmpty(), qPrintable(QStringLiteral("frame %1: ").arg(i) + diff));
            QCOMPARE(after[i].delay, before[i].delay);
            QCOMPARE(after[i].disposal, before[i].disposal);
        }
        const Records a = recordsOf(original);
        const Records b = recordsOf(work);
        QCOMPARE(b.loop, qMax(0, a.loop));
        QCOMPARE(b.comment, a.comment);
    }

private Q_SLOTS:
    void initTestCase() { QVERIFY(m_dir.isValid()); }

    void handMade_data() {
        QTest::addColumn<QByteArray>("file");
        const auto add = [](const char* name, const GifBuilder& b) {
            QTest::newRow(name) << QByteArray(reinterpret_cast<const char*>(b.bytes().data()),
                                              qsizetype(b.bytes().size()));
        };
        const std::vector<uint32_t> four{0xFF0000, 0x00FF00, 0x0000FF, 0xFFFFFF};
        {
            GifBuilder b; // a corner over a frame left in place
            b.header().screen(6, 4, four).loop(2).comment("corner");
            b.graphicControl(1, 10).image(0, 0, 6, 4, std::vector<uint8_t>(24, 0));
            b.graphicControl(1, 20, 3).image(3, 1, 3, 3, {1, 3, 1, 3, 2, 3, 1, 3, 1});
            add("leave in place, transparency", b.trailer());
        }
        {
            GifBuilder b; // a sprite restored to the background each time
            b.header().screen(8, 8, four, 3);
            for (int i = 0; i < 4; ++i)
                b.graphicControl(2, 5, 0).image(uint16_t(i * 2), uint16_t(i), 3, 3,
                                                {0, 1, 0, 1, 2, 1, 0, 1, 0});
            add("restore to background", b.trailer());
        }
        {
            GifBuilder b; // a flash restored to the previous picture
            b.header().screen(5, 5, four).loop(0);
            b.graphicControl(0, 10).image(0, 0, 5, 5, std::vector<uint8_t>(25, 2));
            b.graphicControl(3, 10).image(1, 1, 3, 3, std::vector<uint8_t>(9, 3));
            b.graphicControl(1, 10, 0).image(0, 0, 2, 2, {0, 1, 1, 0});
            add("restore to previous", b.trailer());
        }
        {
            GifBuilder b; // nothing drawn outside a small first frame
            b.header().screen(7, 5, four).comment("line one\r\nline two");
            b.graphicControl(0, 3).image(2, 1, 2, 2, {1, 2, 3, 1});
            b.graphicControl(0, 3).image(0, 3, 7, 2, std::vector<uint8_t>(14, 1),
                                         {0x123456, 0x654321});
            add("undrawn screen, local table", b.trailer());
        }
        {
            GifBuilder b; // interlaced rows and a plain GIF87a file without records
            b.header("87a").screen(3, 9, four);
            std::vector<uint8_t> rows;
            for (int y = 0; y < 9; ++y)
                rows.insert(rows.end(), 3, uint8_t(y % 4));
            b.image(0, 0, 3, 9, rows, {}, true).image(0, 0, 3, 9, std::vector<uint8_t>(27, 1));
            add("interlaced 87a", b.trailer());
        }
    }
    void handMade() {
        QFETCH(QByteArray, file);
        openAndSave(Bytes(file.begin(), file.end()));
    }

    void random_data() {
        QTest::addColumn<quint32>("seed");
        for (quint32 seed = 1; seed <= 40; ++seed)
            QTest::addRow("seed %u", seed) << seed;
    }
    void random() {
        QFETCH(quint32, seed);
        openAndSave(randomAnimation(seed));
    }
};

QTEST_GUILESS_MAIN(TestRoundTrip)
#include "tst_roundtrip.moc"
