// SPDX-License-Identifier: GPL-3.0-or-later
// The command-line tool run as a process: every command on small hand-built files, the
// exit statuses, and that a failure never leaves a partial or clobbered output.

#include <algorithm>
#include <cstdlib>
#include <vector>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QTransform>

#include "codec/Compositor.h"
#include "codec/GifImage.h"
#include "export/AnimationFiles.h"
#include "support/FailingDisk.h"
#include "support/GifBuilder.h"
#include "support/TestData.h"

using namespace vorlane::gif;
using vorlane::test::GifBuilder;
using vorlane::test::makeCharacterDevice;
using vorlane::test::readFile;
using vorlane::test::writeFile;

namespace {

struct Run {
    int status = -1;
    QByteArray out;
    QByteArray err;
};

Run runTool(const QStringList& args) {
    QProcess process;
    process.start(QStringLiteral(VORLANE_CLI_PATH), args);
    Run run;
    if (!process.waitForFinished(120000) || process.exitStatus() != QProcess::NormalExit) {
        run.err = "did not finish normally: " + process.readAllStandardError();
        return run;
    }
    run.status = process.exitCode();
    run.out = process.readAllStandardOutput();
    run.err = process.readAllStandardError();
    return run;
}

// The arguments of a command reading IN and writing OUT; edit gets one operation.
QStringList commandArgs(const QString& command, const QString& in, const QString& out) {
    QStringList args{command, in, out};
    if (command == QLatin1String("edit")) args << QStringLiteral("--reverse");
    return args;
}

// The pictures a viewer shows at each frame.
std::vector<QImage> composed(const QString& path) {
    GifImage image;
    image.load(path);
    Compositor compositor(image);
    std::vector<QImage> pictures;
    for (size_t i = 0; i < image.frameCount(); ++i)
        pictures.push_back(compositor.picture(i));
    return pictures;
}

const std::vector<uint32_t> palette = {0x000000, 0xFF0000, 0x00FF00, 0x0000FF};
constexpr QRgb red = 0xFFFF0000;
constexpr QRgb green = 0xFF00FF00;
constexpr QRgb blue = 0xFF0000FF;

// Three frames over a red 4x3 screen: a 2x2 patch at (1,1) with a transparent corner,
// restored to background afterwards, then a blue dot at (0,0) with no control record.
vorlane::test::Bytes sampleAnimation() {
    return GifBuilder()
        .header()
        .screen(4, 3, palette)
        .loop(0)
        .comment("hi \"there\"\nline 2")
        .graphicControl(1, 10)
        .image(0, 0, 4, 3, std::vector<uint8_t>(12, 1))
        .graphicControl(2, 20, 0)
        .image(1, 1, 2, 2, {0, 2, 3, 2}, palette)
        .image(0, 0, 1, 1, {3}, {}, true)
        .trailer()
        .bytes();
}

// A larger animation where most of each frame repeats the one before, so an optimised
// copy has something to gain.
vorlane::test::Bytes repetitiveAnimation() {
    GifBuilder b;
    b.header().screen(32, 32, palette).loop(0);
    for (int f = 0; f < 4; ++f) {
        std::vector<uint8_t> pixels(32 * 32, 1);
        for (int y = 0; y < 4; ++y)
            for (int x = 0; x < 4; ++x)
                pixels[size_t(y + 8 * f) * 32 + size_t(x + 8 * f)] = 3;
        b.graphicControl(1, 5).image(0, 0, 32, 32, pixels);
    }
    return b.trailer().bytes();
}

// Six frames over a 6 x 4 screen with every disposal code and transparency: a red
// frame one column short of the screen, a green patch with a clear corner then restored
// to background (leaving a clear hole), a blue bar then restored to previous, two frames
// drawing nothing (the second repeats the first), a green dot without a control record.
// Delays 10, 20, 30, 5, 7, 0.
vorlane::test::Bytes mixedAnimation() {
    std::vector<uint8_t> red(20, 1);
    red[6] = 3;
    return GifBuilder()
        .header()
        .screen(6, 4, palette)
        .loop(3)
        .comment("edited")
        .graphicControl(1, 10)
        .image(0, 0, 5, 4, red)
        .graphicControl(2, 20, 0)
        .image(1, 1, 2, 2, {0, 2, 2, 2})
        .graphicControl(3, 30)
        .image(3, 2, 2, 1, {3, 3})
        .graphicControl(1, 5, 0)
        .image(0, 0, 1, 1, {0})
        .graphicControl(0, 7, 0)
        .image(4, 3, 1, 1, {0})
        .image(0, 0, 1, 1, {2})
        .trailer()
        .bytes();
}

// The picture moved as the operation's name says, with Qt's own exact transforms.
QImage transformed(const QImage& picture, const QString& how) {
    const QImage p = picture.convertToFormat(QImage::Format_ARGB32);
    QImage out = p;
    if (how == QLatin1String("rotate 90")) out = p.transformed(QTransform().rotate(90));
    if (how == QLatin1String("rotate 180")) out = p.transformed(QTransform().rotate(180));
    if (how == QLatin1String("rotate 270")) out = p.transformed(QTransform().rotate(270));
    if (how == QLatin1String("flip h")) out = p.mirrored(true, false);
    if (how == QLatin1String("flip v")) out = p.mirrored(false, true);
    if (how == QLatin1String("crop")) out = p.copy(1, 1, 4, 2);
    if (how == QLatin1String("autocrop")) out = p.copy(0, 0, 5, 4);
    if (how == QLatin1String("double"))
        out = p.scaled(12, 8, Qt::IgnoreAspectRatio, Qt::FastTransformation);
    if (how == QLatin1String("rotate 90, flip v"))
        out = p.transformed(QTransform().rotate(90)).mirrored(false, true);
    return out.convertToFormat(QImage::Format_ARGB32);
}

std::vector<int> delaysOf(const QString& path) {
    GifImage image;
    image.load(path);
    std::vector<int> delays;
    for (const Frame& f : image.frames())
        delays.push_back(f.graphicControl() ? f.graphicControl()->delay : -1);
    return delays;
}

} // namespace

class TestCli : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void usageErrorsExitWithTwo_data() {
        QTest::addColumn<QStringList>("args");
        QTest::newRow("no command") << QStringList{};
        QTest::newRow("unknown command") << QStringList{QStringLiteral("explode")};
        QTest::newRow("info without file") << QStringList{QStringLiteral("info")};
        QTest::newRow("unoptimize one argument")
            << QStringList{QStringLiteral("unoptimize"), QStringLiteral("a.gif")};
        QTest::newRow("frames three arguments")
            << QStringList{QStringLiteral("frames"), QStringLiteral("a"), QStringLiteral("b"),
                           QStringLiteral("c")};
        const auto edit = [](const char* operations) {
            return QStringList{QStringLiteral("edit"), QStringLiteral("a.gif"),
                               QStringLiteral("b.gif")} +
                   QString::fromLatin1(operations).split(QLatin1Char(' '), Qt::SkipEmptyParts);
        };
        QTest::newRow("edit without operation") << edit("");
        QTest::newRow("edit, unknown operation") << edit("--explode");
        QTest::newRow("edit, operation without its value") << edit("--reverse --rotate");
        QTest::newRow("edit, rotate by 45") << edit("--rotate 45");
        QTest::newRow("edit, resize to 0x0") << edit("--resize 0x0");
        QTest::newRow("edit, resize beyond 65535") << edit("--resize 70000x10");
        QTest::newRow("edit, signed number") << edit("--delay +5");
        QTest::newRow("edit, crop without size") << edit("--crop 1,2");
        QTest::newRow("edit, keep every 0") << edit("--keep-every 0");
        QTest::newRow("edit, speed 0") << edit("--speed 0");
        QTest::newRow("edit, flip diagonally") << edit("--flip d");
        QTest::newRow("edit, value for a switch") << edit("--reverse=yes");
        QTest::newRow("edit, unknown filter") << edit("--scale 50 --filter blur");
        QTest::newRow("edit, two filters") << edit("--filter area --scale 50 --filter nearest");
        const auto exporting = [](const char* out, const char* options) {
            return QStringList{QStringLiteral("export"), QStringLiteral("a.gif"),
                               QString::fromLatin1(out)} +
                   QString::fromLatin1(options).split(QLatin1Char(' '), Qt::SkipEmptyParts);
        };
        QTest::newRow("export without OUT")
            << QStringList{QStringLiteral("export"), QStringLiteral("a.gif")};
        QTest::newRow("export to an unknown format") << exporting("b.bmp", "");
        QTest::newRow("export, unknown option") << exporting("b.gif", "--fast");
        QTest::newRow("export, option without its value") << exporting("b.gif", "--colors");
        QTest::newRow("export, 1 colour") << exporting("b.gif", "--colors 1");
        QTest::newRow("export, 257 colours") << exporting("b.gif", "--colors=257");
        QTest::newRow("export, unknown dithering") << exporting("b.gif", "--dither diffuse");
        QTest::newRow("export, lossy beyond 200") << exporting("b.gif", "--lossy 201");
        QTest::newRow("export, no bytes") << exporting("b.gif", "--max-bytes 0");
        QTest::newRow("export, quality for GIF") << exporting("b.gif", "--quality 50");
        QTest::newRow("export, quality beyond 100") << exporting("b.webp", "--quality 101");
        QTest::newRow("export, colours for WebP") << exporting("b.webp", "--colors 16");
        QTest::newRow("export, lossy for APNG") << exporting("b.png", "--lossy 10");
    }
    void usageErrorsExitWithTwo() {
        QFETCH(QStringList, args);
        const Run run = runTool(args);
        QCOMPARE(run.status, 2);
        QVERIFY(run.out.isEmpty());
        QVERIFY(run.err.startsWith("vorlane-gif-cli: "));
        QVERIFY(run.err.contains("Usage: vorlane-gif-cli"));
    }

    void helpListsEveryCommand() {
        const Run run = runTool({QStringLiteral("--help")});
        QCOMPARE(run.status, 0);
        QVERIFY(run.err.isEmpty());
        for (const char* command :
             {"info", "unoptimize", "optimize", "frames", "quantize", "edit", "export"})
            QVERIFY2(run.out.contains(QByteArray("  ") + command + ' '), command);
    }

    void infoDescribesScreenRecordsAndFrames() {
        QTemporaryDir dir;
        const QString in = dir.filePath(QStringLiteral("in.gif"));
        writeFile(in, sampleAnimation());
        const Run run = runTool({QStringLiteral("info"), in});
        QCOMPARE(run.status, 0);
        QCOMPARE(QString::fromUtf8(run.out).split(QLatin1Char('\n')),
                 QStringList({
                     QStringLiteral("screen 4x3"),
                     QStringLiteral("background 0"),
                     QStringLiteral("aspect 0"),
                     QStringLiteral("global-colors 4"),
                     QStringLiteral("loop 0"),
                     QStringLiteral("comment \"hi \\\"there\\\"\\nline 2\""),
                     QStringLiteral("frames 3"),
                     QStringLiteral("frame 0: at 0,0 size 4x3 delay 10 disposal 1 transparent "
                                    "none colors global"),
                     QStringLiteral("frame 1: at 1,1 size 2x2 delay 20 disposal 2 transparent 0 "
                                    "colors local 4"),
                     QStringLiteral("frame 2: at 0,0 size 1x1 delay 0 disposal 0 transparent "
                                    "none colors global interlaced no-control"),
                     QString(),
                 }));
    }

    // Repairs the reader made (here: no trailer) are listed after the frames.
    void infoWithoutLoopOrCommentListsRepairs() {
        QTemporaryDir dir;
        const QString in = dir.filePath(QStringLiteral("plain.gif"));
        writeFile(
            in, GifBuilder().header("87a").screen(2, 1, palette).image(0, 0, 2, 1, {0, 1}).bytes());
        const Run run = runTool({QStringLiteral("info"), in});
        QCOMPARE(run.status, 0);
        QVERIFY(run.out.contains("\nloop none\ncomment none\nframes 1\n"));
        const QList<QByteArray> lines = run.out.trimmed().split('\n');
        qsizetype frame = 0;
        while (frame < lines.size() && !lines[frame].startsWith("frame 0: "))
            ++frame;
        QVERIFY(frame > 0 && frame < lines.size() - 1);
        for (qsizetype i = frame + 1; i < lines.size(); ++i)
            QVERIFY2(lines[i].startsWith("warning "), lines[i]);
    }

    void unreadableInputFailsWithItsName_data() {
        QTest::addColumn<QByteArray>("content");
        QTest::newRow("missing file") << QByteArray();
        QTest::newRow("not a GIF") << QByteArray("PNG is not GIF, and this is neither");
        QTest::newRow("truncated header") << QByteArray("GIF89a\x04\x00", 8);
    }
    void unreadableInputFailsWithItsName() {
        QFETCH(QByteArray, content);
        QTemporaryDir dir;
        const QString in = dir.filePath(QStringLiteral("bad.gif"));
        if (!content.isEmpty()) writeFile(in, vorlane::test::Bytes(content.begin(), content.end()));
        const Run run = runTool({QStringLiteral("info"), in});
        QCOMPARE(run.status, 1);
        QVERIFY(run.out.isEmpty());
        QVERIFY2(run.err.startsWith("vorlane-gif-cli: " + in.toUtf8() + ": "), run.err);
    }

    void unoptimizeWritesFullFramesShowingTheSame() {
        QTemporaryDir dir;
        const QString in = dir.filePath(QStringLiteral("in.gif"));
        const QString out = dir.filePath(QStringLiteral("out.gif"));
        writeFile(in, sampleAnimation());
        const Run run = runTool({QStringLiteral("unoptimize"), in, out});
        QCOMPARE(run.status, 0);
        QVERIFY(run.err.isEmpty());

        GifImage result;
        result.load(out);
        QCOMPARE(result.frameCount(), size_t(3));
        for (size_t i = 0; i < 3; ++i) {
            const Frame& f = result.frame(i);
            QCOMPARE(QList<int>({f.left, f.top, f.width(), f.height()}), QList<int>({0, 0, 4, 3}));
        }
        QCOMPARE(result.frame(1).graphicControl()->delay, uint16_t(20));
        QCOMPARE(composed(out), composed(in));
    }

    void optimizeKeepsEveryPictureAndShrinks() {
        QTemporaryDir dir;
        const QString in = dir.filePath(QStringLiteral("in.gif"));
        const QString full = dir.filePath(QStringLiteral("full.gif"));
        const QString out = dir.filePath(QStringLiteral("out.gif"));
        writeFile(in, repetitiveAnimation());
        QCOMPARE(runTool({QStringLiteral("unoptimize"), in, full}).status, 0);
        const Run run = runTool({QStringLiteral("optimize"), in, out});
        QCOMPARE(run.status, 0);
        QCOMPARE(composed(out), composed(in));
        QVERIFY2(
            QFileInfo(out).size() < QFileInfo(full).size(),
            qPrintable(
                QStringLiteral("%1 >= %2").arg(QFileInfo(out).size()).arg(QFileInfo(full).size())));
    }

    void optimizeDropsTheCommentAndKeepsTheLoop() {
        QTemporaryDir dir;
        const QString in = dir.filePath(QStringLiteral("in.gif"));
        const QString out = dir.filePath(QStringLiteral("out.gif"));
        writeFile(in, sampleAnimation());
        const Run run = runTool({QStringLiteral("optimize"), in, out});
        QCOMPARE(run.status, 0);
        QCOMPARE(composed(out), composed(in));
        const Run described = runTool({QStringLiteral("info"), out});
        QVERIFY(described.out.contains("\nloop 0\ncomment none\nframes 3\n"));
    }

    void framesWritesComposedPicturesWithTransparency() {
        QTemporaryDir dir;
        const QString in = dir.filePath(QStringLiteral("in.gif"));
        const QString outDir = dir.filePath(QStringLiteral("new/frames"));
        writeFile(in, sampleAnimation());
        const Run run = runTool({QStringLiteral("frames"), in, outDir});
        QCOMPARE(run.status, 0);
        QCOMPARE(QDir(outDir).entryList(QDir::Files),
                 QStringList({QStringLiteral("000.png"), QStringLiteral("001.png"),
                              QStringLiteral("002.png")}));

        const QImage second(QDir(outDir).filePath(QStringLiteral("001.png")));
        QCOMPARE(second.size(), QSize(4, 3));
        QCOMPARE(second.pixel(1, 1), red); // transparent pixel of the patch shows red below
        QCOMPARE(second.pixel(2, 1), green);
        QCOMPARE(second.pixel(1, 2), blue);

        // The patch was restored to background: nothing is drawn there any more.
        const QImage third(QDir(outDir).filePath(QStringLiteral("002.png")));
        QCOMPARE(third.pixel(0, 0), blue);
        QCOMPARE(qAlpha(third.pixel(2, 2)), 0);
        QCOMPARE(third.pixel(3, 2), red);
    }

    void framesLeavesUndrawnScreenTransparent() {
        QTemporaryDir dir;
        const QString in = dir.filePath(QStringLiteral("in.gif"));
        writeFile(
            in,
            GifBuilder().header().screen(3, 2, palette).image(1, 0, 1, 1, {2}).trailer().bytes());
        const Run run = runTool({QStringLiteral("frames"), in, dir.path()});
        QCOMPARE(run.status, 0);
        const QImage only(dir.filePath(QStringLiteral("000.png")));
        QVERIFY(only.hasAlphaChannel());
        QCOMPARE(only.pixel(1, 0), green);
        QCOMPARE(qAlpha(only.pixel(0, 0)), 0);
        QCOMPARE(qAlpha(only.pixel(2, 1)), 0);
    }

    void framesUsesMoreDigitsBeyondAThousandFrames() {
        QTemporaryDir dir;
        const QString in = dir.filePath(QStringLiteral("many.gif"));
        GifBuilder b;
        b.header().screen(1, 1, palette);
        for (int i = 0; i < 1001; ++i)
            b.image(0, 0, 1, 1, {uint8_t(i == 1000 ? 3 : i % 3)});
        writeFile(in, b.trailer().bytes());
        const QString outDir = dir.filePath(QStringLiteral("out"));
        const Run run = runTool({QStringLiteral("frames"), in, outDir});
        QCOMPARE(run.status, 0);
        const QStringList names = QDir(outDir).entryList(QDir::Files, QDir::Name);
        QCOMPARE(names.size(), 1001);
        QCOMPARE(names.first(), QStringLiteral("0000.png"));
        QCOMPARE(names.last(), QStringLiteral("1000.png"));
        QCOMPARE(QImage(QDir(outDir).filePath(QStringLiteral("1000.png"))).pixel(0, 0), blue);
    }

    void framesFailsWithoutWritingAnything() {
        QTemporaryDir dir;
        const QString bad = dir.filePath(QStringLiteral("bad.gif"));
        writeFile(bad, {'G', 'I', 'F', '8', '9', 'a', 1});
        const QString outDir = dir.filePath(QStringLiteral("out"));
        Run run = runTool({QStringLiteral("frames"), bad, outDir});
        QCOMPARE(run.status, 1);
        QVERIFY(!QFileInfo::exists(outDir));

        // A target that exists but is not a folder is refused.
        const QString in = dir.filePath(QStringLiteral("in.gif"));
        writeFile(in, sampleAnimation());
        run = runTool({QStringLiteral("frames"), in, bad});
        QCOMPARE(run.status, 1);
        QVERIFY(run.err.contains(bad.toUtf8()));
    }

    void quantizeKeepsFewColoursExactly() {
        QTemporaryDir dir;
        QImage picture(3, 2, QImage::Format_RGB32);
        const QRgb colours[6] = {0xFF102030, 0xFFFFFFFF, 0xFF102030,
                                 0xFF000000, 0xFF808080, 0xFFFFFFFF};
        for (int i = 0; i < 6; ++i)
            picture.setPixel(i % 3, i / 3, colours[i]);
        const QString in = dir.filePath(QStringLiteral("few.bmp"));
        const QString out = dir.filePath(QStringLiteral("few.gif"));
        QVERIFY(picture.save(in));
        const Run run = runTool({QStringLiteral("quantize"), in, out});
        QCOMPARE(run.status, 0);
        const std::vector<QImage> frames = composed(out);
        QCOMPARE(frames.size(), size_t(1));
        QCOMPARE(frames[0].convertToFormat(QImage::Format_RGB32), picture);
    }

    void quantizeReducesManyColoursToNearOnes() {
        QTemporaryDir dir;
        QImage picture(64, 64, QImage::Format_RGB32);
        for (int y = 0; y < 64; ++y)
            for (int x = 0; x < 64; ++x)
                picture.setPixel(x, y, qRgb(x * 4, y * 4, (x + y) * 2));
        const QString in = dir.filePath(QStringLiteral("many.png"));
        const QString out = dir.filePath(QStringLiteral("many.gif"));
        QVERIFY(picture.save(in));
        const Run run = runTool({QStringLiteral("quantize"), in, out});
        QCOMPARE(run.status, 0);

        GifImage result;
        result.load(out);
        QCOMPARE(result.frameCount(), size_t(1));
        QVERIFY(result.activeColors(0).size() <= 256);
        QVERIFY(result.activeColors(0).size() > 64);
        const QImage shown = composed(out)[0];
        QCOMPARE(shown.size(), picture.size());
        int worst = 0;
        for (int y = 0; y < 64; ++y)
            for (int x = 0; x < 64; ++x) {
                const QRgb a = picture.pixel(x, y), b = shown.pixel(x, y);
                worst = std::max({worst, std::abs(qRed(a) - qRed(b)),
                                  std::abs(qGreen(a) - qGreen(b)), std::abs(qBlue(a) - qBlue(b))});
            }
        QVERIFY2(worst <= 24, qPrintable(QString::number(worst)));
    }

    // A command whose input cannot be read names the input, leaves an existing output
    // file as it was and no temporary file beside it.
    void failureKeepsTheExistingOutput_data() {
        QTest::addColumn<QString>("command");
        QTest::addColumn<QByteArray>("input");
        // A valid start whose image data stops in the middle.
        const vorlane::test::Bytes sample = sampleAnimation();
        const QByteArray truncated(reinterpret_cast<const char*>(sample.data()),
                                   qsizetype(sample.size() / 2));
        for (const char* c : {"unoptimize", "optimize", "resave", "edit", "export"})
            QTest::newRow(c) << QString::fromLatin1(c) << truncated;
        QTest::newRow("quantize") << QStringLiteral("quantize") << QByteArray("no picture");
    }
    void failureKeepsTheExistingOutput() {
        QFETCH(QString, command);
        QFETCH(QByteArray, input);
        QTemporaryDir dir;
        const QString in = dir.filePath(QStringLiteral("broken.gif"));
        const QString out = dir.filePath(QStringLiteral("out.gif"));
        writeFile(in, vorlane::test::Bytes(input.begin(), input.end()));
        writeFile(out, {'o', 'l', 'd'});
        const Run run = runTool(commandArgs(command, in, out));
        QCOMPARE(run.status, 1);
        QVERIFY2(run.err.startsWith("vorlane-gif-cli: " + in.toUtf8() + ": "), run.err);
        QCOMPARE(readFile(out), QByteArray("old"));
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden),
                 QStringList({QStringLiteral("broken.gif"), QStringLiteral("out.gif")}));
    }

    void unwritableOutputFailsWithItsName_data() {
        QTest::addColumn<QString>("command");
        for (const char* c : {"unoptimize", "optimize", "resave", "edit", "export"})
            QTest::newRow(c) << QString::fromLatin1(c);
    }
    void unwritableOutputFailsWithItsName() {
        QFETCH(QString, command);
        QTemporaryDir dir;
        const QString in = dir.filePath(QStringLiteral("in.gif"));
        const QString out = dir.filePath(QStringLiteral("missing/out.gif"));
        writeFile(in, sampleAnimation());
        const Run run = runTool(commandArgs(command, in, out));
        QCOMPARE(run.status, 1);
        QVERIFY2(run.err.startsWith("vorlane-gif-cli: " + out.toUtf8() + ": "), run.err);
        QVERIFY(!QFileInfo::exists(dir.filePath(QStringLiteral("missing"))));
    }

    // Every output goes through the same safe writer: a full device given as the output
    // (or as a picture's name in frames) fails with the system's reason and stays a device.
    void everyOutputIntoAFullDeviceFails_data() {
        QTest::addColumn<QString>("command");
        for (const char* c : {"unoptimize", "optimize", "resave", "quantize", "frames", "edit"})
            QTest::newRow(c) << QString::fromLatin1(c);
    }
    void everyOutputIntoAFullDeviceFails() {
        QFETCH(QString, command);
        QTemporaryDir dir;
        QString in = dir.filePath(QStringLiteral("in.gif"));
        writeFile(in, sampleAnimation());
        if (command == QLatin1String("quantize")) {
            in = dir.filePath(QStringLiteral("in.png"));
            QImage picture(4, 3, QImage::Format_RGB32);
            picture.fill(Qt::red);
            QVERIFY(picture.save(in));
        }
        const bool frames = command == QLatin1String("frames");
        const QString device = dir.filePath(frames ? QStringLiteral("000.png") : QStringLiteral("full"));
        if (!makeCharacterDevice(device, 1, 7)) QSKIP("making device nodes needs the superuser");
        const Run run = runTool(commandArgs(command, in, frames ? dir.path() : device));
        QCOMPARE(run.status, 1);
        QCOMPARE(QString::fromUtf8(run.err),
                 QStringLiteral("vorlane-gif-cli: %1: Cannot write \"%1\": No space left on device\n")
                     .arg(device));
        QVERIFY(QFileInfo(device).exists() && !QFileInfo(device).isFile());
    }

    // What the reader repaired is said on standard error by every command, naming the
    // file; --strict (before or after the command) turns it into a failure before
    // anything is written.
    void warningsGoToStandardErrorAndStrictFails_data() {
        QTest::addColumn<QString>("command");
        QTest::addColumn<int>("strictAt"); // -1: not given, else its place in the arguments
        for (const char* c : {"info", "unoptimize", "optimize", "frames", "resave", "edit"})
            for (int at : {-1, 0, 3})
                QTest::addRow("%s, strict at %d", c, at) << QString::fromLatin1(c) << at;
    }
    void warningsGoToStandardErrorAndStrictFails() {
        QFETCH(QString, command);
        QFETCH(int, strictAt);
        QTemporaryDir dir;
        const QString in = dir.filePath(QStringLiteral("cut.gif"));
        const QString out = dir.filePath(QStringLiteral("out/result"));
        vorlane::test::Bytes bytes = sampleAnimation();
        bytes.pop_back(); // no trailer
        writeFile(in, bytes);
        QStringList args = commandArgs(command, in, out);
        if (command == QLatin1String("info")) args.removeLast();
        if (strictAt >= 0) args.insert(std::min<qsizetype>(strictAt, args.size()), QStringLiteral("--strict"));
        if (command != QLatin1String("frames")) QVERIFY(QDir().mkpath(dir.filePath(QStringLiteral("out"))));
        const Run run = runTool(args);
        const QByteArray warning = "warning: " + in.toUtf8() + ": The file ends without a trailer\n";
        if (strictAt < 0) {
            QCOMPARE(run.status, 0);
            QCOMPARE(run.err, warning);
            QVERIFY(command == QLatin1String("info") || QFileInfo::exists(out));
        } else {
            QCOMPARE(run.status, 1);
            QCOMPARE(run.err, warning + "vorlane-gif-cli: " + in.toUtf8() +
                                  ": 1 warning, and --strict makes warnings fail\n");
            QVERIFY(run.out.isEmpty());
            QVERIFY(!QFileInfo::exists(out));
        }
    }

    // A 100-frame animation of noise cut at 20 KB, inside some frame's image data: the
    // frames read are written and the cut is said, naming the frame that was filled.
    void unoptimizeOfACutFileSaysWhatWasRepaired() {
        QTemporaryDir dir;
        const QString in = dir.filePath(QStringLiteral("cut.gif"));
        const QString out = dir.filePath(QStringLiteral("out.gif"));
        GifBuilder b;
        b.header().screen(32, 32, palette).loop(0);
        uint32_t seed = 1;
        for (int f = 0; f < 100; ++f) {
            std::vector<uint8_t> pixels(32 * 32);
            for (auto& p : pixels)
                p = uint8_t((seed = seed * 1103515245u + 12345u) >> 30);
            b.graphicControl(1, 5).image(0, 0, 32, 32, pixels);
        }
        vorlane::test::Bytes bytes = b.trailer().bytes();
        QVERIFY(bytes.size() > 20000);
        bytes.resize(20000);
        writeFile(in, bytes);
        const Run run = runTool({QStringLiteral("unoptimize"), in, out});
        QCOMPARE(run.status, 0);
        GifImage written;
        written.load(out);
        QVERIFY(written.frameCount() > 1 && written.frameCount() < 100);
        QCOMPARE(QString::fromUtf8(run.err),
                 QStringLiteral("warning: %1: Frame %2 is truncated; its missing pixels are filled\n")
                     .arg(in)
                     .arg(written.frameCount()));
    }

    // A frames run into a folder of an earlier, longer run removes the numbered pictures
    // it did not write (whatever their number of digits), and nothing else.
    void framesRemovesNumberedPicturesOfAnEarlierRun() {
        QTemporaryDir dir;
        const QString in = dir.filePath(QStringLiteral("in.gif"));
        writeFile(in, sampleAnimation());
        const QString outDir = dir.filePath(QStringLiteral("out"));
        QVERIFY(QDir().mkpath(outDir + QStringLiteral("/007.png")));
        const QStringList earlier{QStringLiteral("000.png"), QStringLiteral("003.png"),
                                  QStringLiteral("004.png"), QStringLiteral("0001.png"),
                                  QStringLiteral("12.png"),  QStringLiteral("005.PNG"),
                                  QStringLiteral("009.png.txt"), QStringLiteral("notes.txt")};
        for (const QString& name : earlier)
            writeFile(outDir + QLatin1Char('/') + name, {'x'});
        const Run run = runTool({QStringLiteral("frames"), in, outDir});
        QCOMPARE(run.status, 0);
        QCOMPARE(QDir(outDir).entryList(QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name),
                 QStringList({QStringLiteral("000.png"), QStringLiteral("001.png"),
                              QStringLiteral("002.png"), QStringLiteral("005.PNG"),
                              QStringLiteral("007.png"), QStringLiteral("009.png.txt"),
                              QStringLiteral("12.png"), QStringLiteral("notes.txt")}));
        QCOMPARE(QImage(QDir(outDir).filePath(QStringLiteral("000.png"))).size(), QSize(4, 3));
    }

    // Every operation of edit on an animation with transparency and every disposal code:
    // the pictures shown are the source's, moved as the operation says, in the order
    // and with the delays written here; the loop count and comment stay on frame 0.
    void editAppliesTheOperationsInOrder_data() {
        QTest::addColumn<QString>("operations");
        QTest::addColumn<QString>("transform");
        QTest::addColumn<QList<int>>("frames"); // the source frame each result frame shows
        QTest::addColumn<QList<int>>("delays");
        using L = QList<int>;
        const L all{0, 1, 2, 3, 4, 5};
        const L delays{10, 20, 30, 5, 7, 0};
        QTest::newRow("rotate 90") << "--rotate 90"
                                   << "rotate 90" << all << delays;
        QTest::newRow("rotate 180") << "--rotate 180"
                                    << "rotate 180" << all << delays;
        QTest::newRow("rotate 270") << "--rotate=270"
                                    << "rotate 270" << all << delays;
        QTest::newRow("flip h") << "--flip h"
                                << "flip h" << all << delays;
        QTest::newRow("flip v") << "--flip v"
                                << "flip v" << all << delays;
        QTest::newRow("crop") << "--crop 1,1,4x2"
                              << "crop" << all << delays;
        QTest::newRow("autocrop") << "--autocrop"
                                  << "autocrop" << all << delays;
        QTest::newRow("scale nearest") << "--scale 200 --filter nearest"
                                       << "double" << all << delays;
        QTest::newRow("resize nearest") << "--filter nearest --resize 12x0"
                                        << "double" << all << delays;
        QTest::newRow("reverse") << "--reverse"
                                 << "" << L{5, 4, 3, 2, 1, 0} << L{0, 7, 5, 30, 20, 10};
        QTest::newRow("yoyo") << "--yoyo"
                              << "" << L{0, 1, 2, 3, 4, 5, 4, 3, 2, 1}
                              << L{10, 20, 30, 5, 7, 0, 7, 5, 30, 20};
        QTest::newRow("keep every 2") << "--keep-every 2"
                                      << "" << L{0, 2, 4} << L{30, 35, 7};
        QTest::newRow("keep every 4") << "--keep-every 4"
                                      << "" << L{0, 4} << L{65, 7};
        QTest::newRow("dedupe") << "--dedupe"
                                << "" << L{0, 1, 2, 3, 5} << L{10, 20, 30, 12, 0};
        QTest::newRow("speed 200") << "--speed 200"
                                   << "" << all << L{5, 10, 15, 3, 4, 0};
        QTest::newRow("speed 33") << "--speed 33"
                                  << "" << all << L{30, 61, 91, 15, 21, 0};
        QTest::newRow("delay") << "--delay 7"
                               << "" << all << L{7, 7, 7, 7, 7, 7};
        QTest::newRow("in order") << "--rotate 90 --flip v --reverse --speed 50"
                                  << "rotate 90, flip v" << L{5, 4, 3, 2, 1, 0}
                                  << L{0, 14, 10, 60, 40, 20};
        QTest::newRow("dedupe after reverse") << "--reverse --dedupe"
                                              << "" << L{5, 4, 2, 1, 0} << L{0, 12, 30, 20, 10};
    }
    void editAppliesTheOperationsInOrder() {
        QFETCH(QString, operations);
        QFETCH(QString, transform);
        QFETCH(QList<int>, frames);
        QFETCH(QList<int>, delays);
        QTemporaryDir dir;
        const QString in = dir.filePath(QStringLiteral("in.gif"));
        const QString out = dir.filePath(QStringLiteral("out.gif"));
        writeFile(in, mixedAnimation());
        const Run run = runTool(QStringList{QStringLiteral("edit"), in, out} +
                                operations.split(QLatin1Char(' ')));
        QCOMPARE(run.status, 0);
        QVERIFY2(run.err.isEmpty(), run.err);

        const std::vector<QImage> source = composed(in);
        std::vector<QImage> expected;
        for (const int i : frames)
            expected.push_back(transformed(source[size_t(i)], transform));
        std::vector<QImage> result = composed(out);
        for (QImage& picture : result)
            picture = picture.convertToFormat(QImage::Format_ARGB32);
        QCOMPARE(result, expected);
        QCOMPARE(delaysOf(out), std::vector<int>(delays.begin(), delays.end()));
        QVERIFY(
            runTool({QStringLiteral("info"), out}).out.contains("\nloop 3\ncomment \"edited\"\n"));
    }

    void editThatCannotApplyAnOperationNamesIt() {
        QTemporaryDir dir;
        const QString in = dir.filePath(QStringLiteral("in.gif"));
        const QString out = dir.filePath(QStringLiteral("out.gif"));
        writeFile(in, mixedAnimation());
        const Run run = runTool({QStringLiteral("edit"), in, out, QStringLiteral("--reverse"),
                                 QStringLiteral("--crop"), QStringLiteral("3,0,4x4")});
        QCOMPARE(run.status, 1);
        QCOMPARE(QString::fromUtf8(run.err),
                 QStringLiteral("vorlane-gif-cli: %1: --crop 3,0,4x4: Crop rectangle outside the "
                                "logical screen\n")
                     .arg(in));
        QVERIFY(!QFileInfo::exists(out));
    }

    // As the editor saves: a file that played once now repeats, and the user is told.
    void editOfAFileWithoutLoopSaysItNowRepeats() {
        QTemporaryDir dir;
        const QString in = dir.filePath(QStringLiteral("in.gif"));
        const QString out = dir.filePath(QStringLiteral("out.gif"));
        writeFile(in, GifBuilder()
                          .header()
                          .screen(2, 1, palette)
                          .image(0, 0, 2, 1, {1, 2})
                          .trailer()
                          .bytes());
        const Run run = runTool(
            {QStringLiteral("edit"), in, out, QStringLiteral("--flip"), QStringLiteral("h")});
        QCOMPARE(run.status, 0);
        QCOMPARE(
            QString::fromUtf8(run.err),
            QStringLiteral("note: %1: the file has no loop setting, so browsers play it once; %2 "
                           "repeats indefinitely, as the editor saves it\n")
                .arg(in, out));
        QVERIFY(runTool({QStringLiteral("info"), out}).out.contains("\nloop 0\n"));
    }

    // export writes the format OUT's extension names, showing what IN shows (APNG and
    // lossless WebP exactly, GIF exactly while its colours fit); a size limit is met or
    // the command fails naming the smallest size, leaving no file.
    void exportWritesEachFormat_data() {
        QTest::addColumn<QString>("out");
        QTest::addColumn<QStringList>("options");
        QTest::addColumn<int>("status");
        QTest::addColumn<QByteArray>("signature"); // the output's first bytes, or the error
        const auto row = [](const char* name, const char* out, const char* options, int status,
                            const QByteArray& signature) {
            QTest::newRow(name) << QString::fromLatin1(out)
                                << QString::fromLatin1(options).split(QLatin1Char(' '),
                                                                      Qt::SkipEmptyParts)
                                << status << signature;
        };
        row("gif", "out.gif", "", 0, "GIF89a");
        row("gif, lossy 0, 256 colours", "out.gif", "--lossy 0 --colors=256 --dither none", 0,
            "GIF89a");
        row("webp", "out.webp", "", 0, "RIFF");
        row("apng", "out.apng", "", 0, "\x89PNG");
        row("png, within 100 KB", "out.png", "--max-bytes 100000", 0, "\x89PNG");
        row("gif within 10 bytes", "out.gif", "--max-bytes 10", 1,
            ": The animation cannot be made to fit in 10 bytes");
    }
    void exportWritesEachFormat() {
        QFETCH(QString, out);
        QFETCH(QStringList, options);
        QFETCH(int, status);
        QFETCH(QByteArray, signature);
        QTemporaryDir dir;
        const QString in = dir.filePath(QStringLiteral("in.gif"));
        const QString target = dir.filePath(out);
        writeFile(in, mixedAnimation());
        const Run run = runTool(QStringList{QStringLiteral("export"), in, target} + options);
        QCOMPARE(run.status, status);
        if (status != 0) {
            QVERIFY2(run.err.startsWith("vorlane-gif-cli: " + in.toUtf8() + signature), run.err);
            QVERIFY(!QFileInfo::exists(target));
            return;
        }
        QVERIFY2(run.err.isEmpty() || run.err.startsWith("note: "), run.err);
        QVERIFY(readFile(target).startsWith(signature));
        // Read back as the editor opens it: the same pictures, frame by frame.
        const QString back = dir.filePath(QStringLiteral("back.apng"));
        QCOMPARE(runTool({QStringLiteral("export"), target, back}).status, 0);
        const std::vector<QImage> want = composed(in);
        GifImage reread;
        vorlane::exporting::readAnimationFile(reread, back);
        Compositor c(reread);
        QCOMPARE(reread.frameCount(), want.size());
        for (size_t i = 0; i < want.size(); ++i) {
            const QImage got = c.picture(i);
            for (int y = 0; y < got.height(); ++y)
                for (int x = 0; x < got.width(); ++x) {
                    const QRgb a = want[i].pixel(x, y), b = got.pixel(x, y);
                    QVERIFY2(a == b || (qAlpha(a) == 0 && qAlpha(b) == 0),
                             qPrintable(QStringLiteral("frame %1 at %2,%3").arg(i).arg(x).arg(y)));
                }
        }
    }

    void resaveKeepsEveryRecord() {
        QTemporaryDir dir;
        const QString in = dir.filePath(QStringLiteral("in.gif"));
        const QString out = dir.filePath(QStringLiteral("out.gif"));
        writeFile(in, sampleAnimation());
        const Run run = runTool({QStringLiteral("resave"), in, out});
        QCOMPARE(run.status, 0);
        QCOMPARE(runTool({QStringLiteral("info"), out}).out,
                 runTool({QStringLiteral("info"), in}).out);
        QCOMPARE(composed(out), composed(in));
    }
};

QTEST_GUILESS_MAIN(TestCli)
#include "tst_cli.moc"
