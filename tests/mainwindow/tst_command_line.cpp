// SPDX-License-Identifier: GPL-3.0-or-later
// The editor's command line: what the options and arguments ask for, and the files as
// the start-up opens them (one GIF opens; several files, or one picture of another
// format, become a new animation with the wizard's defaults, in the order given).

#include <QFile>
#include <QTest>

#include "BuildInfo.h"
#include "WindowHarness.h"
#include "app/EditorOptions.h"
#include "codec/GifImage.h"

using vorlane::EditorOptions;
using vorlane::Prompts;
using vorlane::test::WindowHarness;

namespace {
// Space-separated words as a list ("" for none).
QStringList words(const char* text) {
    return QString::fromUtf8(text).split(QLatin1Char(' '), Qt::SkipEmptyParts);
}

QString picture(WindowHarness& h, const QString& name, QRgb colour) {
    QImage image(6, 4, QImage::Format_RGB32);
    image.fill(colour);
    const QString path = h.dir.filePath(name);
    image.save(path);
    return path;
}
} // namespace

class TestCommandLine : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void options_data();
    void options();
    void filesAtStartUp_data();
    void filesAtStartUp();
};

void TestCommandLine::options_data() {
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("action");
    QTest::addColumn<QStringList>("files");
    QTest::addColumn<bool>("textOnly");
    using A = EditorOptions::Action;
    QTest::newRow("nothing") << words("vorlane-gif") << int(A::Run) << QStringList{} << false;
    QTest::newRow("files in order")
        << words("vorlane-gif b.png a.png") << int(A::Run) << words("b.png a.png") << false;
    QTest::newRow("--help") << words("vorlane-gif --help") << int(A::ShowHelp) << QStringList{}
                            << true;
    QTest::newRow("-h with files")
        << words("vorlane-gif a.gif -h") << int(A::ShowHelp) << QStringList{} << true;
    QTest::newRow("--version") << words("vorlane-gif --version") << int(A::ShowVersion)
                               << QStringList{} << true;
    // Before Qt has taken its own options out, --version is still seen.
    QTest::newRow("-v beside a Qt option") << words("vorlane-gif -platform offscreen -v")
                                           << int(A::ShowVersion) << QStringList{} << true;
    QTest::newRow("unknown option")
        << words("vorlane-gif --frobnicate") << int(A::Error) << QStringList{} << false;
    QTest::newRow("a file named like an option")
        << words("vorlane-gif -- -v.gif") << int(A::Run) << words("-v.gif") << false;
}

void TestCommandLine::options() {
    QFETCH(QStringList, arguments);
    QFETCH(int, action);
    QFETCH(QStringList, files);
    QFETCH(bool, textOnly);
    const EditorOptions options = EditorOptions::parse(arguments);
    QCOMPARE(int(options.action), action);
    QCOMPARE(options.files, files);
    QCOMPARE(EditorOptions::asksForTextOnly(arguments), textOnly);
    if (options.action == EditorOptions::Action::Error) QVERIFY(!options.error.isEmpty());
    QCOMPARE(EditorOptions::versionText(), QStringLiteral("vorlane-gif ") +
                                               QLatin1String(vorlane::build::Version) +
                                               QLatin1Char('\n'));
}

void TestCommandLine::filesAtStartUp_data() {
    // Names of files made in the test folder: "*.png" pictures in the colour named,
    // "anim.gif" an animation of 2 frames, "fake.png" GIF data under a picture's name,
    // "text.gif" no GIF at all.
    QTest::addColumn<QStringList>("files");
    QTest::addColumn<QString>("title");
    QTest::addColumn<int>("frames");
    QTest::addColumn<QStringList>("messages");
    QTest::newRow("one GIF") << words("anim.gif") << QStringLiteral("anim.gif - Vorlane Gif") << 2
                             << QStringList{};
    QTest::newRow("GIF data named .png")
        << words("fake.png") << QStringLiteral("fake.png - Vorlane Gif") << 2 << QStringList{};
    QTest::newRow("one picture") << words("red.png") << QStringLiteral("Untitled.gif - Vorlane Gif")
                                 << 1 << QStringList{};
    QTest::newRow("pictures in order")
        << words("green.png red.png blue.png") << QStringLiteral("Untitled.gif - Vorlane Gif") << 3
        << QStringList{};
    QTest::newRow("a GIF among pictures")
        << words("red.png anim.gif") << QStringLiteral("Untitled.gif - Vorlane Gif") << 2
        << QStringList{};
    QTest::newRow("unreadable among pictures")
        << words("red.png text.gif blue.png") << QStringLiteral("Untitled.gif - Vorlane Gif") << 2
        << QStringList{QStringLiteral("Impossible to import the image \"text.gif\"")};
    QTest::newRow("broken GIF alone")
        << words("text.gif") << QStringLiteral("Untitled.gif - Vorlane Gif") << 0
        << QStringList{QStringLiteral("Invalid file format.")};
    QTest::newRow("missing file") << words("gone.gif")
                                  << QStringLiteral("Untitled.gif - Vorlane Gif") << 0
                                  << QStringList{QStringLiteral("File does not exist")};
}

void TestCommandLine::filesAtStartUp() {
    QFETCH(QStringList, files);
    QFETCH(QString, title);
    QFETCH(int, frames);
    QFETCH(QStringList, messages);
    WindowHarness h;
    const std::map<QString, QRgb> colours{{QStringLiteral("red.png"), 0xFFFF0000},
                                          {QStringLiteral("green.png"), 0xFF00FF00},
                                          {QStringLiteral("blue.png"), 0xFF0000FF}};
    QStringList paths;
    for (const QString& name : files) {
        if (colours.count(name)) {
            paths << picture(h, name, colours.at(name));
        } else if (name == QLatin1String("anim.gif")) {
            paths << h.writeGif(name, 2);
        } else if (name == QLatin1String("fake.png")) {
            const QString gif = h.writeGif(QStringLiteral("real.gif"), 2);
            QVERIFY(QFile::copy(gif, h.dir.filePath(name)));
            paths << h.dir.filePath(name);
        } else if (name == QLatin1String("text.gif")) {
            QFile text(h.dir.filePath(name));
            QVERIFY(text.open(QIODevice::WriteOnly));
            text.write("no picture here");
            paths << text.fileName();
        } else {
            paths << h.dir.filePath(name);
        }
    }
    for (const QString& m : messages)
        h.fakes.prompts.expect(m, Prompts::Answer::Ok);
    h.window->startUp(paths);
    QCOMPARE(h.fakes.prompts.texts(), messages);
    QCOMPARE(h.title(), title);
    vorlane::AnimationModel& doc = h.model();
    QCOMPARE(doc.frameCount(), frames);
    if (title.startsWith(QLatin1String("Untitled")) && frames > 0) {
        // A new animation as the wizard makes it: 0.6 s a frame, repeated forever, the
        // pictures in the order given, unsaved, the first frame shown.
        QVERIFY(doc.isModified());
        QVERIFY(doc.loop().infinite);
        QCOMPARE(h.current(), 0);
        int k = 0;
        for (const QString& name : files) {
            if (!colours.count(name)) continue;
            QCOMPARE(doc.frame(k).graphicControl()->delay, 60);
            const QImage own = doc.ownPicture(k);
            QCOMPARE(own.pixel(0, 0), colours.at(name));
            ++k;
        }
    }
}

QTEST_MAIN(TestCommandLine)
#include "tst_command_line.moc"
