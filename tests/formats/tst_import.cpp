// SPDX-License-Identifier: GPL-3.0-or-later
// Picture import: every registered extension decodes a picture written here in its
// format, within the limits and not beyond them; our own readers' details; the rules over
// any decoder (the "BM" signature, what is refused, GIF onto white, other formats keep
// their colours); the dialog filter; colour reduction; hostile and truncated files.

#include <memory>

#include <QBuffer>
#include <QHash>
#include <QTemporaryDir>
#include <QTest>

#include "codec/GifTypes.h"
#include "formats/PictureImport.h"
#include "formats/Samples.h"
#include "support/TestData.h"

using namespace vorlane;
using namespace vorlane::test;
using formats::ImportLimits;
using formats::PictureImport;

namespace {

// A copy of `bytes` with `value` written at `offset` in `size` bytes, in either order.
QByteArray patched(QByteArray bytes, int offset, quint32 value, int size, bool bigEndian) {
    for (int i = 0; i < size; ++i)
        bytes[offset + i] = char(value >> (8 * (bigEndian ? size - 1 - i : i)));
    return bytes;
}

// A valid one-pixel bilevel picture of `size` bytes.
QByteArray bilevelPixel(int size) {
    return "P1\n#" + QByteArray(size - 11, 'x') + "\n1 1\n1\n";
}

QByteArray bytesOf(const GifBuilder& gif) {
    return QByteArray(reinterpret_cast<const char*>(gif.bytes().data()),
                      qsizetype(gif.bytes().size()));
}

bool near(QRgb a, QRgb b, int tolerance) {
    return std::abs(qRed(a) - qRed(b)) <= tolerance &&
           std::abs(qGreen(a) - qGreen(b)) <= tolerance &&
           std::abs(qBlue(a) - qBlue(b)) <= tolerance;
}

QString hex(QRgb c) {
    return QString::number(c & 0xFFFFFF, 16).rightJustified(6, u'0');
}

} // namespace

class TestImport : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    std::unique_ptr<PictureImport> m_import;
    QHash<QString, Sample> m_samples; // by extension
    QByteArray m_clearPng;            // transparent (10, 200, 30) everywhere
    QHash<QString, QByteArray> m_clearMagick;

    QString file(const QString& name, const QByteArray& bytes) {
        const QString path = m_dir.filePath(name);
        writeFile(path, Bytes(bytes.begin(), bytes.end()));
        return path;
    }
    QByteArray sample(const char* extension) const {
        return m_samples.value(QString::fromLatin1(extension)).bytes;
    }

private Q_SLOTS:
    void initTestCase() {
        // The samples first: once the import exists, ImageMagick may no longer write.
        m_samples = makeSamples();
        QImage clear(SampleWidth, SampleHeight, QImage::Format_ARGB32);
        clear.fill(qRgba(10, 200, 30, 0));
        // Not TIFF nor WebP: TIFF stores colour premultiplied and WebP may rewrite what
        // alpha hides, so a transparent pixel has lost its colour before it is decoded.
        m_clearPng = qtEncode(clear, "png");
#ifdef VORLANE_HAVE_MAGICK
        for (const char* coder : {"TGA", "PSD"})
            m_clearMagick.insert(QString::fromLatin1(coder).toLower(), magickEncode(clear, coder));
#endif
        m_import = std::make_unique<PictureImport>();
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
        QVERIFY(picture.format() == QImage::Format_RGB32 ||
                picture.format() == QImage::Format_Indexed8);
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

        // Every kind of decoder refuses a picture beyond the limits.
        ImportLimits narrow;
        narrow.maxSide = std::max(sample.size.width(), sample.size.height()) - 1;
        QVERIFY(PictureImport(narrow).load(name).isNull());
        ImportLimits small;
        small.maxPixels = qint64(sample.size.width()) * sample.size.height() - 1;
        QVERIFY(PictureImport(small).load(name).isNull());
    }

    // Animator cels keep rows from the top with 6-bit palette levels; RLA keeps them from
    // the bottom with 8-bit channels.
    void ownReadersRowOrder_data() {
        QTest::addColumn<QString>("extension");
        QTest::addColumn<QRgb>("marked");
        QTest::newRow("cel") << QStringLiteral("cel") << qRgb(255, 130, 4); // levels 63, 32, 1
        QTest::newRow("rla") << QStringLiteral("rla") << qRgb(252, 128, 4);
    }

    void ownReadersRowOrder() {
        QFETCH(QString, extension);
        QFETCH(QRgb, marked);
        QImage picture(3, 2, QImage::Format_Indexed8);
        picture.setColorTable({qRgb(0, 0, 0), qRgb(252, 128, 4)});
        picture.fill(0);
        picture.setPixel(1, 0, 1);
        const QByteArray bytes = extension == u"cel" ? celSample(picture) : rlaSample(picture);
        const QImage loaded = m_import->loadData(bytes, extension);
        QCOMPARE(loaded.size(), QSize(3, 2));
        QCOMPARE(loaded.pixel(1, 0), marked);
        QCOMPARE(loaded.pixel(1, 1), qRgb(0, 0, 0));
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
    void bitmapSignatureWinsOverExtension_data() {
        QTest::addColumn<QString>("name");
        QTest::newRow("registered other format") << QStringLiteral("picture.png");
        QTest::newRow("unregistered extension") << QStringLiteral("picture.xyz");
        QTest::newRow("no extension") << QStringLiteral("picture");
    }

    void bitmapSignatureWinsOverExtension() {
        QFETCH(QString, name);
        QCOMPARE(m_import->load(file(name, sample("bmp"))), samplePicture());
    }

    void refused_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QByteArray>("bytes"); // no file at all when null
        const QByteArray png = sample("png");
        // A valid bilevel picture of 53 bytes, one short of the smallest readable file.
        QTest::newRow("53 bytes") << "tiny.pbm" << bilevelPixel(53);
        QTest::newRow("unregistered extension") << "picture.xyz" << png;
        QTest::newRow("content of another format") << "picture.jpg" << png;
        QTest::newRow("empty") << "empty.png" << QByteArray("");
        QTest::newRow("missing") << "missing.png" << QByteArray();
        QTest::newRow("folder") << "." << QByteArray();
        // Content never chooses the decoder: an ImageMagick drawing script that would
        // read another file, named as formats that ImageMagick decodes.
        const QByteArray outside = m_dir.filePath(QStringLiteral("red.png")).toUtf8();
        const QByteArray script = "push graphic-context\nviewbox 0 0 24 16\nimage over 0,0 0,0 '" +
                                  outside + "'\npop graphic-context\n";
        QTest::newRow("drawing script as pcx") << "script.pcx" << script;
        QTest::newRow("drawing script as tga") << "script.tga" << script;
        QTest::newRow("svg naming a local file")
            << "outside.svg"
            << svgSample("<image width='24' height='16' xlink:href='" + outside + "'/>");
        QTest::newRow("svg style sheet")
            << "style.svg"
            << "<?xml-stylesheet type='text/css' href='a.css'?>" + svgSample();
    }

    void refused() {
        QFETCH(QString, name);
        QFETCH(QByteArray, bytes);
        file(QStringLiteral("red.png"), sample("png"));
        const QString path = bytes.isNull() ? m_dir.filePath(name) : file(name, bytes);
        QVERIFY(m_import->load(path).isNull());
    }

    void smallestReadableFile() {
        const QImage picture = m_import->load(file(QStringLiteral("tiny.PBM"), bilevelPixel(54)));
        QCOMPARE(picture.size(), QSize(1, 1));
        QCOMPARE(picture.pixel(0, 0), qRgb(0, 0, 0));
    }

    // A GIF is drawn onto white: its first image only, transparent parts white.
    void gifFirstImageOntoWhite() {
        QImage picture = m_import->loadData(gifSample(true), QStringLiteral("gif"));
        QCOMPARE(picture.pixel(2, 2), qRgb(255, 0, 0));
        QCOMPARE(picture.pixel(20, 2), qRgb(255, 255, 255));

        GifBuilder gif;
        const std::vector<uint8_t> zeros(SampleWidth * SampleHeight, 0);
        gif.header().screen(SampleWidth, SampleHeight, {0x00FF00});
        gif.graphicControl(1, 10).image(0, 0, SampleWidth, SampleHeight, zeros);
        gif.graphicControl(1, 10).image(0, 0, SampleWidth, SampleHeight, zeros, {0x0000FF});
        picture = m_import->loadData(bytesOf(gif.trailer()), QStringLiteral("gif"));
        QCOMPARE(picture.pixel(5, 5), qRgb(0, 255, 0));
    }

    // Other formats drop alpha and keep the colour their decoder gives a transparent pixel.
    void otherFormatsKeepTransparentColours_data() {
        QTest::addColumn<QString>("extension");
        QTest::newRow("png") << QStringLiteral("png");
        for (const QString& extension : m_clearMagick.keys())
            QTest::newRow(qPrintable(extension)) << extension;
    }

    void otherFormatsKeepTransparentColours() {
        QFETCH(QString, extension);
        const QImage picture = m_import->loadData(
            extension == u"png" ? m_clearPng : m_clearMagick.value(extension), extension);
        QVERIFY(!picture.hasAlphaChannel());
        QCOMPARE(picture.pixel(3, 3), qRgb(10, 200, 30));
    }

    // A palette picture stays at one byte a pixel through the import and its reduction
    // (no 32-bit copy of a large picture): opaque colours, the colour of a transparent
    // entry kept as other formats keep it.
    void palettePicturesStayEightBits() {
        QImage source(300, 200, QImage::Format_Indexed8);
        source.setColorTable({qRgb(255, 0, 0), qRgba(10, 200, 30, 0), qRgb(0, 0, 255)});
        source.fill(0);
        for (int x = 0; x < 300; ++x)
            source.setPixel(x, 100, x % 3);
        QByteArray bytes;
        QBuffer buffer(&bytes);
        buffer.open(QIODevice::WriteOnly);
        QVERIFY(source.save(&buffer, "png"));
        const QImage picture = m_import->loadData(bytes, QStringLiteral("png"));
        QCOMPARE(picture.format(), QImage::Format_Indexed8);
        for (QRgb c : picture.colorTable())
            QCOMPARE(qAlpha(c), 255);
        QCOMPARE(picture.pixel(0, 0), qRgb(255, 0, 0));
        QCOMPARE(picture.pixel(1, 100), qRgb(10, 200, 30));
        QCOMPARE(picture.pixel(2, 100), qRgb(0, 0, 255));
        const QImage reduced = PictureImport::reduce(picture);
        QCOMPARE(reduced.constBits(), picture.constBits());
    }

    void dialogFilter() {
        const auto& formats = m_import->formats();
        QVERIFY(formats.size() > 30);
        QStringList patterns;
        QStringList entries;
        for (auto it = formats.rbegin(); it != formats.rend(); ++it) {
            patterns << QStringLiteral("*.") + it->extension;
            entries << it->description + QStringLiteral(" (*.") + it->extension +
                           QStringLiteral(")|*.") + it->extension;
        }
        const QString all = patterns.join(u';');
        QCOMPARE(m_import->dialogFilter(), QStringLiteral("All (") + all + QStringLiteral(")|") +
                                               all + u'|' + entries.join(u'|'));
        QVERIFY(m_import->dialogFilter().endsWith(
            QStringLiteral("|JPEG Image (*.jpg)|*.jpg|Graphics Interchange Format (*.gif)|*.gif")));
    }

    // At most 256 colours are kept exactly; more are mapped each to its nearest palette
    // colour, which error diffusion would not do.
    void reduce_data() {
        QTest::addColumn<int>("colours");
        QTest::newRow("2") << 2;
        QTest::newRow("256") << 256;
        QTest::newRow("4096") << 4096;
    }

    void reduce() {
        QFETCH(int, colours);
        QImage picture(64, 64, QImage::Format_RGB32);
        for (int i = 0; i < 64 * 64; ++i) {
            const int c = i % colours;
            picture.setPixel(i % 64, i / 64, qRgb(c * 37 % 256, c / 16 * 16, 255 - c % 16 * 16));
        }
        const QImage reduced = PictureImport::reduce(picture);
        QCOMPARE(reduced.format(), QImage::Format_Indexed8);
        QVERIFY(reduced.colorCount() <= 256);
        const auto distance = [](QRgb a, QRgb b) {
            const int dr = qRed(a) - qRed(b), dg = qGreen(a) - qGreen(b), db = qBlue(a) - qBlue(b);
            return dr * dr + dg * dg + db * db;
        };
        for (int y = 0; y < 64; ++y) {
            for (int x = 0; x < 64; ++x) {
                const QRgb original = picture.pixel(x, y);
                const QRgb mapped = reduced.pixel(x, y);
                if (colours <= 256) {
                    QCOMPARE(mapped, original);
                    continue;
                }
                for (QRgb entry : reduced.colorTable())
                    QVERIFY(distance(original, mapped) <= distance(original, entry));
            }
        }
        QVERIFY_THROWS_EXCEPTION(gif::GifError, PictureImport::reduce(QImage()));
    }

    // Headers that declare huge pictures over a few bytes of data are refused without a
    // crash, a hang or a huge allocation.
    void hostile_data() {
        QTest::addColumn<QString>("extension");
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("bmp 60000 x 60000")
            << "bmp" << patched(patched(sample("bmp"), 18, 60000, 4, false), 22, 60000, 4, false);
        QTest::newRow("cel 65535 x 65535")
            << "cel" << patched(patched(sample("cel"), 2, 65535, 2, false), 4, 65535, 2, false);
        QTest::newRow("ani chunk of 4 GiB")
            << "ani" << patched(sample("ani"), 16, 0xFFFFFFFF, 4, false);
#ifdef VORLANE_HAVE_MAGICK
        QTest::newRow("tga 65535 x 65535")
            << "tga" << patched(patched(sample("tga"), 12, 65535, 2, false), 14, 65535, 2, false);
        QTest::newRow("pcx 65535 x 65535")
            << "pcx" << patched(patched(sample("pcx"), 8, 65534, 2, false), 10, 65534, 2, false);
        QTest::newRow("sgi 65535 x 65535")
            << "sgi" << patched(patched(sample("sgi"), 6, 65535, 2, true), 8, 65535, 2, true);
        QTest::newRow("psd 16000 x 16000")
            << "psd" << patched(patched(sample("psd"), 14, 16000, 4, true), 18, 16000, 4, true);
#endif
    }

    void hostile() {
        QFETCH(QString, extension);
        QFETCH(QByteArray, bytes);
        QVERIFY(m_import->loadData(bytes, extension).isNull());
    }

    // A truncated file is refused, or gives what the decoder recovered at its full size
    // (Qt's bitmap reader and ImageMagick's Photoshop reader leave the rest blank).
    void truncated_data() {
        QTest::addColumn<QString>("extension");
        QTest::addColumn<int>("length");
        for (const formats::PictureFormat& format : m_import->formats()) {
            const qsizetype size = m_samples.value(format.extension).bytes.size();
            for (qsizetype length : {qsizetype(60), qsizetype(200), size * 2 / 3, size - 1})
                if (length < size)
                    QTest::addRow("%s %d", qPrintable(format.extension), int(length))
                        << format.extension << int(length);
        }
    }

    void truncated() {
        QFETCH(QString, extension);
        QFETCH(int, length);
        const Sample sample = m_samples.value(extension);
        const QImage picture = m_import->loadData(sample.bytes.left(length), extension);
        QVERIFY(picture.isNull() || picture.size() == sample.size);
        const QStringList own = QStringLiteral("cel pic ani rla rpf").split(u' ');
        if (own.contains(extension)) QVERIFY(picture.isNull()); // our readers are strict
    }
};

QTEST_MAIN(TestImport)
#include "tst_import.moc"
