// Every registered extension decodes a picture written here in its format, through a file
// of that name; our own readers' details (orientation, palette, frame choice).

#include <memory>

#include <QHash>
#include <QTemporaryDir>
#include <QTest>

#include "formats/PictureImport.h"
#include "formats/Samples.h"
#include "support/TestData.h"

using namespace vorlane;
using namespace vorlane::test;

namespace {

struct Sample {
    QByteArray bytes;
    bool bilevel = false;
    int tolerance = 0; // per channel, for lossy formats
    QSize size{SampleWidth, SampleHeight};
    QPoint left{}; // probes; the middle of each half when null
    QPoint right{};
};

bool near(QRgb a, QRgb b, int tolerance) {
    return std::abs(qRed(a) - qRed(b)) <= tolerance &&
           std::abs(qGreen(a) - qGreen(b)) <= tolerance &&
           std::abs(qBlue(a) - qBlue(b)) <= tolerance;
}

QString hex(QRgb c) {
    return QString::number(c & 0xFFFFFF, 16).rightJustified(6, u'0');
}

// Every extension that may be registered here, with its sample.
QHash<QString, Sample> makeSamples() {
    const QImage colour = samplePicture();
    const QImage bilevel = samplePicture(true);
    QHash<QString, Sample> samples;
    const auto add = [&](std::initializer_list<const char*> extensions, const Sample& sample) {
        for (const char* extension : extensions)
            samples.insert(QString::fromLatin1(extension), sample);
    };
    const QByteArray bmp = qtEncode(colour, "bmp");
    QByteArray cursor = qtEncode(colour, "ico");
    cursor[2] = 2; // an icon file of type 2 is a cursor
    const QImage indexed = colour.convertToFormat(QImage::Format_Indexed8);
    // Two flat halves compress below the 54-byte floor; a ramp along the top row does not.
    QImage ramp = colour;
    for (int x = 0; x < SampleWidth; ++x)
        ramp.setPixel(x, 0, qRgb(x * 10, 255 - x * 10, x * 5));
    const QByteArray webp = qtEncode(ramp, "webp");

    add({"gif"}, {gifSample()});
    add({"jpg", "jpeg", "jpe", "jfif"}, {qtEncode(colour, "jpeg"), false, 40});
    add({"bmp", "rle"}, {bmp});
    add({"dib"}, {bmp.mid(14)}); // without the file header
    add({"ico"}, {qtEncode(colour, "ico")});
    add({"cur"}, {cursor});
    add({"ani"}, {aniSample({qtEncode(colour, "ico")})});
    add({"tif", "tiff"}, {qtEncode(colour, "tiff")});
    add({"png"}, {qtEncode(colour, "png")});
    add({"ppm"}, {qtEncode(colour, "ppm")});
    add({"pgm"}, {qtEncode(bilevel, "pgm"), true});
    add({"pbm"}, {qtEncode(bilevel, "pbm"), true});
    add({"xbm"}, {qtEncode(bilevel, "xbm"), true});
    add({"xpm"}, {qtEncode(colour, "xpm")});
    // Wireless bitmaps are so compact that the sample needs more pixels to pass 54 bytes.
    add({"wbmp"}, {qtEncode(bilevel.scaled(48, 32), "wbmp"), true, 0, {48, 32}});
    add({"webp"}, {qtEncode(colour, "webp"), false, 40});
    add({"icns"}, {qtEncode(colour.scaled(32, 32), "icns"), false, 0, {32, 32}});
    add({"svg"}, {svgSample()});
    add({"cel", "pic"}, {celSample(indexed)});
    add({"wmf"}, {wmfSample()});
    add({"cut"}, {cutSample(), true});
    add({"rla", "rpf"}, {rlaSample()});
#ifdef VORLANE_HAVE_MAGICK
    add({"tga", "vst", "vda", "win", "icb"}, {magickEncode(colour, "TGA", RLECompression)});
    add({"pcx", "pcc", "scr"}, {magickEncode(colour, "PCX")});
    add({"sgi", "rgb", "rgba", "bw"}, {magickEncode(colour, "SGI", RLECompression)});
    add({"psd", "pdd"}, {magickEncode(colour, "PSD")});
    // Photo CD holds its base resolution; its colours are subsampled.
    add({"pcd"}, {magickEncode(colour.scaled(768, 512), "PCD"), false, 70, {768, 512}});
    // A raw fax has no header: its rows are read 2592 pixels wide, the picture at the left.
    add({"fax"}, {magickEncode(bilevel, "FAX"), true, 0, {2592, SampleHeight}, {4, 8}, {19, 8}});
#endif
    return samples;
}

} // namespace

class TestDecoders : public QObject {
    Q_OBJECT

    QHash<QString, Sample> m_samples;
    std::unique_ptr<formats::PictureImport> m_import;
    QTemporaryDir m_dir;

private Q_SLOTS:
    void initTestCase() {
        // The samples first: once the import exists, ImageMagick may no longer write.
        m_samples = makeSamples();
        m_import = std::make_unique<formats::PictureImport>();
        QVERIFY(m_dir.isValid());
    }

    void everyRegisteredExtensionDecodes_data() {
        QTest::addColumn<QString>("extension");
        for (const formats::PictureFormat& format : m_import->formats())
            QTest::newRow(qPrintable(format.extension)) << format.extension;
    }

    void everyRegisteredExtensionDecodes() {
        QFETCH(QString, extension);
        QVERIFY2(m_samples.contains(extension), "a registered format without a sample here");
        const Sample sample = m_samples.value(extension);
        QVERIFY(!sample.bytes.isEmpty());
        const QString name = m_dir.filePath(QStringLiteral("sample.") + extension.toUpper());
        writeFile(name, Bytes(sample.bytes.begin(), sample.bytes.end()));

        const QImage picture = m_import->load(name);
        QCOMPARE(picture.size(), sample.size);
        QCOMPARE(picture.format(), QImage::Format_RGB32);
        const QPoint left = sample.left.isNull()
                                ? QPoint(sample.size.width() / 6, sample.size.height() / 2)
                                : sample.left;
        const QPoint right = sample.right.isNull()
                                 ? QPoint(sample.size.width() * 5 / 6, sample.size.height() / 2)
                                 : sample.right;
        const QRgb leftColour = sample.bilevel ? qRgb(0, 0, 0) : qRgb(255, 0, 0);
        const QRgb rightColour = sample.bilevel ? qRgb(255, 255, 255) : qRgb(0, 0, 255);
        QVERIFY2(near(picture.pixel(left), leftColour, sample.tolerance),
                 qPrintable(hex(picture.pixel(left))));
        QVERIFY2(near(picture.pixel(right), rightColour, sample.tolerance),
                 qPrintable(hex(picture.pixel(right))));
    }

    // Animator pictures are stored from the top row down, with 6-bit palette levels.
    void animatorCelRowsAndPalette() {
        QImage indexed(2, 2, QImage::Format_Indexed8);
        indexed.setColorTable({qRgb(0, 0, 0), qRgb(252, 128, 4)});
        indexed.fill(0);
        indexed.setPixel(1, 0, 1);
        QByteArray bytes = celSample(indexed) + QByteArray(60, '\0'); // past the 54-byte floor
        const QImage picture = m_import->loadData(bytes, QStringLiteral("cel"));
        QCOMPARE(picture.size(), QSize(2, 2));
        QCOMPARE(picture.pixel(1, 0), qRgb(255, 130, 4)); // levels 63, 32, 1
        QCOMPARE(picture.pixel(1, 1), qRgb(0, 0, 0));
        bytes[11] = 1; // compressed: not a format this reader takes
        QVERIFY(m_import->loadData(bytes, QStringLiteral("cel")).isNull());
    }

    // An animated cursor gives the frame its sequence shows first.
    void animatedCursorFirstShownFrame_data() {
        QTest::addColumn<QList<quint32>>("sequence");
        QTest::addColumn<QRgb>("expected");
        QTest::newRow("no sequence: the first frame") << QList<quint32>{} << qRgb(255, 0, 0);
        QTest::newRow("sequence starts at frame 1") << QList<quint32>{1, 0} << qRgb(0, 255, 0);
        QTest::newRow("sequence names a missing frame") << QList<quint32>{7} << QRgb(0);
    }

    void animatedCursorFirstShownFrame() {
        QFETCH(QList<quint32>, sequence);
        QFETCH(QRgb, expected);
        QImage red(16, 16, QImage::Format_RGB32), green(16, 16, QImage::Format_RGB32);
        red.fill(Qt::red);
        green.fill(Qt::green);
        const QByteArray ani = aniSample({qtEncode(red, "ico"), qtEncode(green, "ico")}, sequence);
        const QImage picture = m_import->loadData(ani, QStringLiteral("ani"));
        if (expected == 0) {
            QVERIFY(picture.isNull());
        } else {
            QCOMPARE(picture.size(), QSize(16, 16));
            QCOMPARE(picture.pixel(8, 8), expected);
        }
    }
};

QTEST_MAIN(TestDecoders)
#include "tst_decoders.moc"
