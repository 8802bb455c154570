// SPDX-License-Identifier: GPL-3.0-or-later
// Building a new animation from picture files: frames, delays, loop record, name and
// title, files that cannot be read, and what happens to unsaved changes first.

#include <QFile>
#include <QImage>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include "codec/GifImage.h"
#include "document/Document.h"
#include "editing/NewAnimation.h"
#include "formats/PictureImport.h"
#include "support/FakePlatform.h"
#include "support/TestData.h"

using namespace vorlane;

namespace {

struct Fixture {
    test::FakePlatform fakes;
    Document doc{fakes.platform()};
    formats::PictureImport import;
    NewAnimation creation{doc, fakes.platform(), import};
    QTemporaryDir dir;

    QString picture(const char* name, QSize size, QRgb color) {
        QImage image(size, QImage::Format_RGB32);
        image.fill(color);
        const QString path = dir.filePath(QLatin1String(name));
        image.save(path);
        return path;
    }
    QString junk(const char* name) {
        const QString path = dir.filePath(QLatin1String(name));
        QFile file(path);
        file.open(QIODevice::WriteOnly);
        file.write(QByteArray(200, 'x'));
        return path;
    }
    NewAnimationRequest request(const QStringList& files) {
        NewAnimationRequest r;
        r.name = QStringLiteral(" My anim ");
        r.files = files;
        for (const QString& f : files)
            r.names << QFileInfo(f).fileName();
        return r;
    }
    // An opened, edited animation.
    void edited() {
        doc.setImage(test::makeAnimation(2));
        doc.ren();
        doc.selectFrame(0);
        doc.setModified(true);
    }
};

} // namespace

class TestNewAnimation : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void framesLoopAndName();
    void countedLoops();
    void unreadableFilesAreSkipped();
    void unsavedChangesFirst_data();
    void unsavedChangesFirst();
};

void TestNewAnimation::framesLoopAndName() {
    Fixture f;
    f.edited();
    f.doc.setModified(false);
    NewAnimationRequest r = f.request({f.picture("a.png", {30, 20}, qRgb(255, 0, 0)),
                                       f.picture("b.bmp", {50, 10}, qRgb(0, 255, 0)),
                                       f.picture("c.ppm", {10, 40}, qRgb(0, 0, 255))});
    r.delay = 60;
    QList<int> reported;
    f.creation.onFile = [&](int i) { reported << i; };
    QVERIFY(f.creation.run(r));
    QCOMPARE(reported, (QList<int>{0, 1, 2}));
    const gif::GifImage& image = *f.doc.image();
    QCOMPARE(image.frameCount(), size_t(3));
    QCOMPARE(QSize(image.screenWidth, image.screenHeight), QSize(50, 40));
    for (size_t i = 0; i < 3; ++i)
        QCOMPARE(image.frame(i).graphicControl()->delay, uint16_t(60));
    QCOMPARE(image.ownPicture(2).pixel(0, 0), qRgb(0, 0, 255));
    const auto& head = image.frame(0).extensions.front();
    QVERIFY(head->isLoop());
    QCOMPARE(head->loopCount(), std::optional<uint16_t>(0));
    // The name is used as typed, blanks included.
    QCOMPARE(f.doc.title(), QStringLiteral(" My anim  - Vorlane Gif"));
    QCOMPARE(f.doc.frameLabels().first(), QStringLiteral("#001:  My anim "));
    QCOMPARE(f.doc.currentFrame(), 0);
    QCOMPARE(f.doc.view(), Document::View::Frame);
    QVERIFY(f.doc.isModified());
    QVERIFY(!f.doc.hasFile());
    QVERIFY(f.doc.path().isEmpty());
    QVERIFY(f.doc.loadingTime().isEmpty());
    QVERIFY(f.fakes.prompts.asked().isEmpty());
}

void TestNewAnimation::countedLoops() {
    Fixture f;
    NewAnimationRequest r = f.request({f.picture("a.png", {8, 8}, qRgb(1, 2, 3))});
    r.loopForever = false;
    r.loops = 5;
    QVERIFY(f.creation.run(r));
    QVERIFY(!f.doc.loopInfinite());
    QCOMPARE(f.doc.numLoops(), 5);
    QCOMPARE(f.doc.image()->frame(0).extensions.front()->loopCount(), std::optional<uint16_t>(5));
}

void TestNewAnimation::unreadableFilesAreSkipped() {
    Fixture f;
    const NewAnimationRequest r =
        f.request({f.picture("a.png", {8, 8}, qRgb(1, 2, 3)), f.junk("b.png"),
                   f.picture("c.png", {8, 8}, qRgb(4, 5, 6))});
    f.fakes.prompts.expect(QStringLiteral("Impossible to import the image \"b.png\""),
                           Prompts::Answer::Ok);
    QVERIFY(f.creation.run(r));
    QCOMPARE(f.fakes.prompts.asked().size(), 1);
    QCOMPARE(f.fakes.prompts.asked().first().icon, Prompts::Icon::Warning);
    QCOMPARE(f.doc.frameCount(), 2);

    // Nothing readable at all: the run ends as New does (regression: it left an empty
    // animation in the played state, modified, with Stop enabled).
    Fixture g;
    g.fakes.prompts.answer(Prompts::Answer::Ok);
    QSignalSpy words(&g.doc, &Document::actionWord);
    QVERIFY(g.creation.run(g.request({g.junk("x.gif")})));
    QCOMPARE(g.doc.frameCount(), 0);
    QCOMPARE(g.doc.currentFrame(), -1);
    QCOMPARE(g.doc.view(), Document::View::Frame);
    QVERIFY(!g.doc.isModified());
    QCOMPARE(g.doc.name(), Document::UntitledName);
    QCOMPARE(words.last().first().toString(), QStringLiteral("closed"));
}

void TestNewAnimation::unsavedChangesFirst_data() {
    QTest::addColumn<int>("answer");
    QTest::addColumn<bool>("saveFails");
    QTest::addColumn<bool>("built");
    QTest::newRow("yes saves, then builds") << int(Prompts::Answer::Yes) << false << true;
    QTest::newRow("no discards") << int(Prompts::Answer::No) << false << true;
    QTest::newRow("cancel keeps the changes") << int(Prompts::Answer::Cancel) << false << false;
    QTest::newRow("a failed save keeps them") << int(Prompts::Answer::Yes) << true << false;
}

void TestNewAnimation::unsavedChangesFirst() {
    QFETCH(int, answer);
    QFETCH(bool, saveFails);
    QFETCH(bool, built);
    Fixture f;
    f.edited();
    f.fakes.prompts.answer(Prompts::Answer(answer));
    const QString target = saveFails ? f.dir.filePath(QStringLiteral("missing/dir/x.gif"))
                                     : f.dir.filePath(QStringLiteral("kept.gif"));
    if (answer == int(Prompts::Answer::Yes)) {
        f.fakes.dialogs.choose(target); // Save asks for a name: the document has no file
        if (saveFails) f.fakes.prompts.answer(Prompts::Answer::Ok); // the failure is reported
    }
    const NewAnimationRequest r = f.request({f.picture("a.png", {8, 8}, qRgb(9, 9, 9))});
    QCOMPARE(f.creation.run(r), built);
    QVERIFY(f.fakes.prompts.texts().first().startsWith(QStringLiteral("Do you want to save")));
    QCOMPARE(f.doc.frameCount(), built ? 1 : 2);
    QVERIFY(f.doc.isModified());
    QCOMPARE(QFile::exists(target), answer == int(Prompts::Answer::Yes) && !saveFails);
}

QTEST_GUILESS_MAIN(TestNewAnimation)
#include "tst_new_animation.moc"
