// SPDX-License-Identifier: GPL-3.0-or-later
// Opening an animation: every origin with its questions and answers, the outcome table
// (cancelled, missing, success, invalid file), the recent-files list, the loop and
// comment records as opened, and a failed open that keeps the animation being edited.

#include <algorithm>
#include <memory>

#include <QDir>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QUndoStack>

#include "document/DocumentFixture.h"
#include "document/EditSteps.h"
#include "editing/FrameCommands.h"
#include "support/AnimationSnapshot.h"

using namespace vorlane;
using namespace vorlane::test;
using Answer = Prompts::Answer;
using Origin = DocumentFiles::OpenOrigin;

namespace {

QString saveQuestion(const QString& name) {
    return QStringLiteral("Do you want to save changes made to \"") + name +
           QStringLiteral("\"\nbefore opening selected file?");
}

// "a,b,,d" as a list of four names.
QStringList names(const char* list) {
    return QString::fromLatin1(list).split(QLatin1Char(','));
}

void setRecent(MemorySettings& settings, const QStringList& files) {
    for (int i = 0; i < 4; ++i)
        settings.writeString(RecentFiles::Key, QStringLiteral("F%1").arg(i + 1), files.value(i));
    settings.clearWrites();
}

// The state a failed or refused opening must leave as it was: the animation, its file,
// its flags and its history.
struct Snapshot {
    AnimationSnapshot animation;
    QString title;
    QString path;
    bool modified;
    bool hasFile;
    int steps;

    static Snapshot of(const DocumentFixture& f) {
        return {
            AnimationSnapshot::of(f.animation), f.files.title(),   f.files.path(),
            f.animation.isModified(),           f.files.hasFile(), f.animation.undoStack().count()};
    }
    bool operator==(const Snapshot&) const = default;
};

} // namespace

class TestOpen : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    QString file(const QString& name) const { return m_dir.filePath(name); }

private Q_SLOTS:
    void initTestCase() { QVERIFY(m_dir.isValid()); }

    // ---- success ----

    void openingThroughTheDialog() {
        DocumentFixture f;
        f.loaded(2);
        f.edit();
        f.fakes.prompts.expect(saveQuestion(QStringLiteral("Untitled.gif")), Answer::No);
        const QString name = writeFile(file(QStringLiteral("anim.gif")), threeFrames());
        f.fakes.clock.set(5000);
        f.fakes.clock.setStep(125);
        f.fakes.dialogs.choose(name);
        SignalLog log(f);
        // When the window hears that the file is open, the animation is the file's.
        QStringList seenAtOpened;
        QObject::connect(&f.files, &DocumentFiles::opened, &f.files,
                         [&](const QStringList& notices, bool empty) {
                             seenAtOpened << QString::number(f.animation.frameCount())
                                          << f.files.title() << f.recent.file(1)
                                          << QString::number(notices.size())
                                          << QString::number(empty);
                         });

        f.files.open(Origin::Dialog);

        QCOMPARE(f.fakes.prompts.asked().size(), 1);
        const auto& request = f.fakes.dialogs.requests().front();
        QCOMPARE(request.kind, FakeFileDialogs::Kind::OpenOne);
        QCOMPARE(request.filter,
                 QStringLiteral("GIF image (*.gif)|*.gif|Animated WebP (*.webp)|*.webp|"
                                "Animated PNG (*.png;*.apng)|*.png;*.apng|"
                                "Vorlane Gif Format (*.vlgf)|*.vlgf"));
        QCOMPARE(f.animation.frameCount(), 3);
        QCOMPARE(f.list.rowCount(), 3);
        QCOMPARE(f.list.label(2), QStringLiteral("#003: anim.gif"));
        QCOMPARE(f.animation.name(), QStringLiteral("anim.gif"));
        QCOMPARE(f.files.title(), QStringLiteral("anim.gif - Vorlane Gif"));
        QCOMPARE(f.files.path(), name);
        QVERIFY(f.files.hasFile());
        QVERIFY(!f.animation.isModified());
        QCOMPARE(f.animation.comment(), QStringLiteral("hello"));
        QCOMPARE(f.recent.file(1), name);
        // Opening starts a new history.
        QCOMPARE(f.animation.undoStack().count(), 0);

        // The views are hidden first and brought back last, once the animation, the
        // title, the loading time and the recent list are the new file's.
        QCOMPARE(log.events().front(), QStringLiteral("opening"));
        QCOMPARE(log.events().back(), QStringLiteral("opened"));
        QCOMPARE(log.only({QStringLiteral("titleChanged"), QStringLiteral("loadingTimeChanged"),
                           QStringLiteral("recentChanged"), QStringLiteral("opened")}),
                 (QStringList{QStringLiteral("titleChanged(anim.gif - Vorlane Gif)"),
                              QStringLiteral("loadingTimeChanged(Loaded in 0.125 s)"),
                              QStringLiteral("recentChanged"), QStringLiteral("opened")}));
        QVERIFY(log.has(QStringLiteral("reset")));
        QVERIFY(log.has(QStringLiteral("modifiedChanged(0)")));
        QCOMPARE(seenAtOpened,
                 (QStringList{QStringLiteral("3"), QStringLiteral("anim.gif - Vorlane Gif"), name,
                              QStringLiteral("0"), QStringLiteral("0")}));

        // The dialog starts at the file opened last.
        f.fakes.dialogs.cancel();
        f.files.open(Origin::Dialog);
        QCOMPARE(f.fakes.dialogs.requests().back().initialFile, name);
    }

    void openingReportsProgress() {
        DocumentFixture f;
        QSignalSpy progress(&f.files, &DocumentFiles::progress);
        f.open(writeFile(file(QStringLiteral("progress.gif")), threeFrames()));
        QVERIFY(progress.count() >= 2);
        QCOMPARE(progress.first().at(0).value<gif::Stage>(), gif::Stage::Starting);
        // The bar goes away at the end.
        QCOMPARE(progress.last().at(0).value<gif::Stage>(), gif::Stage::Ending);
    }

    void framesBecomeCompletePictures() {
        // An optimized file: a full-size first frame left in place, then a 2 x 2 corner.
        GifBuilder b;
        b.header().screen(6, 4, {0xFF0000, 0x00FF00, 0x0000FF, 0xFFFFFF});
        b.graphicControl(1, 5).image(0, 0, 6, 4, std::vector<uint8_t>(24, 0));
        b.graphicControl(1, 7).image(4, 2, 2, 2, {1, 1, 1, 1}).trailer();
        DocumentFixture f;
        f.open(writeFile(file(QStringLiteral("optimized.gif")), b.bytes()));
        QCOMPARE(f.animation.frameCount(), 2);
        const gif::Frame& second = f.animation.frame(1);
        QCOMPARE(int(second.left), 0);
        QCOMPARE(int(second.top), 0);
        QCOMPARE(int(second.width()), 6);
        QCOMPARE(int(second.height()), 4);
        const QImage picture = f.animation.ownPicture(1).convertToFormat(QImage::Format_RGB32);
        QCOMPARE(picture.pixel(0, 0), qRgb(255, 0, 0));
        QCOMPARE(picture.pixel(3, 3), qRgb(255, 0, 0));
        QCOMPARE(picture.pixel(4, 2), qRgb(0, 255, 0));
        QCOMPARE(picture.pixel(5, 3), qRgb(0, 255, 0));
        QCOMPARE(f.animation.delay(1), 7);
    }

    void framesWithoutControlRecordsGetOne() {
        GifBuilder b;
        b.header("87a").screen(2, 2, {0x000000, 0xFFFFFF});
        b.image(0, 0, 2, 2, {0, 1, 1, 0}).image(0, 0, 2, 2, {1, 0, 0, 1}).trailer();
        DocumentFixture f;
        f.open(writeFile(file(QStringLiteral("old.gif")), b.bytes()));
        QCOMPARE(f.animation.frameCount(), 2);
        for (int i = 0; i < 2; ++i) {
            const gif::Frame& frame = f.animation.frame(i);
            const gif::GraphicControl* gc = frame.graphicControl();
            QVERIFY(gc);
            // Entered among the records, so that it is written with the frame.
            QCOMPARE(std::count(frame.extensions.begin(), frame.extensions.end(),
                                frame.graphicControlRecord),
                     1);
            QCOMPARE(gc->delay, uint16_t(0));
            QCOMPARE(gc->disposal, uint8_t(0));
            QVERIFY(!gc->transparent);
        }
    }

    void ownFileTypeOpensLikeGif() {
        DocumentFixture f;
        f.open(writeFile(file(QStringLiteral("x.vlgf")), threeFrames()));
        QCOMPARE(f.animation.frameCount(), 3);
        QCOMPARE(f.files.title(), QStringLiteral("x.vlgf - Vorlane Gif"));
    }

    void relativeCommandLineNameIsKeptInFull() {
        const QString name = writeFile(file(QStringLiteral("rel.gif")), threeFrames());
        const QString old = QDir::currentPath();
        QDir::setCurrent(m_dir.path());
        DocumentFixture f;
        f.open(QStringLiteral("rel.gif"));
        QDir::setCurrent(old);
        QCOMPARE(f.files.path(), name);
        QCOMPARE(f.recent.file(1), name);
    }

    // ---- loop and comment as opened ----

    void loopSettingFollowsTheFile_data() {
        QTest::addColumn<int>("loops"); // -1: no loop record
        QTest::addColumn<bool>("infinite");
        QTest::addColumn<int>("shown");
        QTest::newRow("no loop record") << -1 << true << 1;
        QTest::newRow("forever") << 0 << true << 1;
        QTest::newRow("three times") << 3 << false << 3;
    }
    void loopSettingFollowsTheFile() {
        QFETCH(int, loops);
        QFETCH(bool, infinite);
        QFETCH(int, shown);
        DocumentFixture f;
        f.open(writeFile(file(QStringLiteral("loops.gif")), threeFrames(loops)));
        QCOMPARE(f.animation.loop(), (LoopSetting{infinite, shown}));
        QVERIFY(!f.animation.isModified());
        // The frames carry no loop record; the image written has one, first in frame 0.
        for (int i = 0; i < 3; ++i)
            for (const auto& r : f.animation.frame(i).extensions)
                QVERIFY(!r->isLoop());
        const gif::GifImage written = f.animation.imageForSaving(f.animation.comment());
        QVERIFY(written.frame(0).extensions.front()->isLoop());
        QCOMPARE(int(*written.frame(0).extensions.front()->loopCount()), infinite ? 0 : loops);
    }

    void loopSettingOfThePreviousAnimationGivesWay() {
        DocumentFixture f;
        f.open(writeFile(file(QStringLiteral("l3.gif")), threeFrames(3)));
        QVERIFY(!f.animation.loop().infinite);
        f.open(writeFile(file(QStringLiteral("l0.gif")), threeFrames(0)));
        QVERIFY(f.animation.loop().infinite);
        QCOMPARE(*f.animation.imageForSaving({}).frame(0).extensions.front()->loopCount(),
                 uint16_t(0));
        QVERIFY(!f.animation.isModified());
    }

    // Other programs put comments or their own application records (XMP) before the
    // loop record; the file still opens with its count, and saving writes one loop
    // record, first, with the other records in the order they had.
    void loopRecordAfterOtherRecords_data() {
        QTest::addColumn<bool>("xmpFirst");
        QTest::addColumn<QString>("written"); // records of frame 0 as saved
        QTest::newRow("comment first") << false << "L2 g c";
        QTest::newRow("XMP first") << true << "L2 x g";
    }
    void loopRecordAfterOtherRecords() {
        QFETCH(bool, xmpFirst);
        QFETCH(QString, written);
        GifBuilder b;
        b.header().screen(2, 2, {0x000000, 0xFFFFFF});
        if (xmpFirst)
            b.application("XMP DataXMP", {Bytes{'x', 'm', 'p'}});
        else
            b.comment("first");
        b.loop(2).graphicControl(0, 10).image(0, 0, 2, 2, {0, 1, 1, 0}).trailer();
        const QString name = writeFile(file(QStringLiteral("loopsecond.gif")), b.bytes());
        DocumentFixture f;
        f.open(name);
        QCOMPARE(f.animation.loop(), (LoopSetting{false, 2}));
        QVERIFY(!f.animation.isModified());
        f.edit();
        QCOMPARE(f.files.save(), DocumentFiles::SaveResult::Saved);

        gif::GifImage saved;
        saved.load(name);
        QStringList kinds;
        for (const auto& r : saved.frame(0).extensions)
            kinds << (r->isLoop()             ? QStringLiteral("L%1").arg(*r->loopCount())
                      : r->isGraphicControl() ? QStringLiteral("g")
                      : r->isComment()        ? QStringLiteral("c")
                                              : QStringLiteral("x"));
        QCOMPARE(kinds.join(QLatin1Char(' ')), written);
        if (xmpFirst)
            QCOMPARE(saved.frame(0).extensions[1]->applicationId(), std::string("XMP DataXMP"));
        else
            QCOMPARE(saved.frame(0).extensions.back()->text(), std::string("first"));
    }

    // Regression: a file without images opened with Play and Remove on and Add off, and
    // its loop count and comment vanished. It opens empty with its loop setting and
    // comment, and the first frame added carries them into the saved file once.
    void fileWithoutImagesOpensEmpty() {
        GifBuilder b;
        b.header().screen(4, 4, {0x000000, 0xFFFFFF}).loop(3).comment("hi").trailer();
        const QString name = writeFile(file(QStringLiteral("noimages.gif")), b.bytes());
        DocumentFixture f;
        QSignalSpy opened(&f.files, &DocumentFiles::opened);
        f.open(name);
        QCOMPARE(opened.count(), 1);
        QVERIFY(opened.last().at(1).toBool()); // empty
        QCOMPARE(f.animation.frameCount(), 0);
        QVERIFY(!f.animation.isModified());
        QVERIFY(f.files.hasFile());
        QCOMPARE(f.files.title(), QStringLiteral("noimages.gif - Vorlane Gif"));
        QCOMPARE(f.animation.loop(), (LoopSetting{false, 3}));
        QCOMPARE(f.animation.comment(), QStringLiteral("hi"));

        QImage picture(4, 4, QImage::Format_Indexed8);
        picture.setColorTable({qRgb(0, 0, 0), qRgb(255, 255, 255)});
        picture.fill(1);
        std::vector<gif::Frame> frames;
        frames.push_back(FrameCommands::makeFrame(picture, 10, f.animation.reduction()));
        f.animation.push(
            std::make_unique<InsertFramesStep>(FrameCommands::AddStep, 0, std::move(frames)));
        QCOMPARE(f.files.save(), DocumentFiles::SaveResult::Saved);
        gif::GifImage saved;
        saved.load(name);
        QVERIFY(saved.trailingExtensions.empty());
        int loops = 0;
        int comments = 0;
        for (const auto& r : saved.frame(0).extensions) {
            if (r->isLoop()) {
                QCOMPARE(*r->loopCount(), uint16_t(3));
                ++loops;
            }
            if (r->isComment()) {
                QCOMPARE(r->text(), std::string("hi"));
                ++comments;
            }
        }
        QCOMPARE(loops, 1);
        QCOMPARE(comments, 1);
    }

    // What the reader repaired or ignored, and a missing loop setting, reach the user.
    void noticesOnOpening_data() {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QStringList>("expected"); // each must start one notice, in order
        const auto bytes = [](const GifBuilder& b) {
            return QByteArray(reinterpret_cast<const char*>(b.bytes().data()),
                              qsizetype(b.bytes().size()));
        };
        GifBuilder clean;
        clean.header().screen(2, 2, {0x000000, 0xFFFFFF}).loop(0);
        clean.graphicControl(0, 10).image(0, 0, 2, 2, {0, 1, 1, 0}).trailer();
        QTest::newRow("clean") << bytes(clean) << QStringList();
        GifBuilder noLoop;
        noLoop.header().screen(2, 2, {0x000000, 0xFFFFFF});
        noLoop.graphicControl(0, 10).image(0, 0, 2, 2, {0, 1, 1, 0}).trailer();
        QTest::newRow("no loop record")
            << bytes(noLoop) << QStringList{QStringLiteral("The file has no loop setting")};
        GifBuilder noTrailer;
        noTrailer.header().screen(2, 2, {0x000000, 0xFFFFFF}).loop(0);
        noTrailer.graphicControl(0, 10).image(0, 0, 2, 2, {0, 1, 1, 0});
        QTest::newRow("no trailer")
            << bytes(noTrailer) << QStringList{QStringLiteral("The file ends without a trailer")};
    }
    void noticesOnOpening() {
        QFETCH(QByteArray, content);
        QFETCH(QStringList, expected);
        const QString name =
            writeFile(file(QStringLiteral("notices.gif")), Bytes(content.begin(), content.end()));
        DocumentFixture f;
        QSignalSpy opened(&f.files, &DocumentFiles::opened);
        f.open(name);
        QCOMPARE(opened.count(), 1);
        const QStringList got = opened.last().first().toStringList();
        QCOMPARE(got.size(), expected.size());
        for (int i = 0; i < got.size(); ++i)
            QVERIFY2(got[i].startsWith(expected[i]), qPrintable(got[i]));
    }

    // ---- questions and refusals ----

    void cancelledDialogChangesNothing() {
        DocumentFixture f;
        f.loaded(2);
        f.edit();
        const Snapshot before = Snapshot::of(f);
        f.fakes.dialogs.cancel();
        f.files.open(Origin::Dialog);
        QVERIFY(Snapshot::of(f) == before);
        QCOMPARE(f.fakes.prompts.asked().size(), 0);
    }

    void missingFile_data() {
        QTest::addColumn<int>("origin");
        QTest::newRow("recent 2") << int(Origin::Recent2);
        QTest::newRow("empty recent 4") << int(Origin::Recent4);
        QTest::newRow("command line") << int(Origin::CommandLine);
        QTest::newRow("dialog") << int(Origin::Dialog);
    }
    void missingFile() {
        QFETCH(int, origin);
        DocumentFixture f;
        f.loaded(2);
        f.edit();
        setRecent(f.fakes.settings,
                  {file(QStringLiteral("a.gif")), file(QStringLiteral("gone.gif"))});
        f.fakes.dialogs.choose(file(QStringLiteral("gone.gif")));
        const Snapshot before = Snapshot::of(f);
        f.fakes.prompts.expect(DocumentFiles::FileMissing, Answer::Ok);
        SignalLog log(f);

        f.files.open(Origin(origin), file(QStringLiteral("gone.gif")));
        QCOMPARE(f.fakes.prompts.asked().size(), 1);
        QCOMPARE(f.fakes.prompts.asked().front().icon, Prompts::Icon::Warning);
        QCOMPARE(f.fakes.prompts.asked().front().buttons, Prompts::Buttons::Ok);
        QVERIFY(Snapshot::of(f) == before);
        QVERIFY(f.fakes.settings.writes().isEmpty());
        QVERIFY(!log.has(QStringLiteral("opening"))); // the views stay as they are
    }

    void saveQuestionCancelKeepsEverything() {
        DocumentFixture f;
        f.loaded(2);
        f.animation.push(std::make_unique<SetCommentStep>(QStringLiteral("Comment"),
                                                          QStringLiteral("draft"), true));
        const Snapshot before = Snapshot::of(f);
        const QString name = writeFile(file(QStringLiteral("other.gif")), threeFrames());
        f.fakes.prompts.expect(saveQuestion(QStringLiteral("Untitled.gif")), Answer::Cancel);
        f.open(name);
        QCOMPARE(f.fakes.prompts.asked().front().buttons, Prompts::Buttons::YesNoCancel);
        QCOMPARE(f.fakes.prompts.asked().front().icon, Prompts::Icon::Warning);
        QVERIFY(Snapshot::of(f) == before);
        QCOMPARE(f.animation.comment(), QStringLiteral("draft"));
        QVERIFY(f.fakes.settings.writes().isEmpty());
    }

    void saveQuestionNoDiscards() {
        DocumentFixture f;
        f.loaded(5);
        f.edit();
        f.fakes.prompts.answer(Answer::No);
        f.open(writeFile(file(QStringLiteral("no.gif")), threeFrames()));
        QCOMPARE(f.animation.frameCount(), 3);
        QVERIFY(!f.animation.isModified());
        QVERIFY(!f.animation.undoStack().canUndo());
        QCOMPARE(f.fakes.dialogs.requests().size(), 0);
    }

    void saveQuestionYesSavesFirst() {
        const QString first = writeFile(file(QStringLiteral("yes1.gif")), threeFrames(0));
        const QString second = writeFile(file(QStringLiteral("yes2.gif")), threeFrames());
        DocumentFixture f;
        f.open(first);
        f.animation.push(
            std::make_unique<SetLoopStep>(QStringLiteral("Loop"), LoopSetting{false, 9}));
        QVERIFY(f.animation.isModified());
        f.fakes.prompts.expect(saveQuestion(QStringLiteral("yes1.gif")), Answer::Yes);
        f.open(second);
        QCOMPARE(f.animation.name(), QStringLiteral("yes2.gif"));
        // The first file was saved in place before the second one was opened, and both
        // are in the recent list, the second first.
        gif::GifImage saved;
        saved.load(first);
        QCOMPARE(*saved.frame(0).extensions.front()->loopCount(), uint16_t(9));
        QCOMPARE(f.recent.files().mid(0, 2), (QStringList{second, first}));
    }

    void saveQuestionYesThenCancelledSaveDialogGoesOn() {
        DocumentFixture f;
        f.loaded(2);
        f.edit();
        f.fakes.prompts.answer(Answer::Yes);
        f.fakes.dialogs.cancel();
        f.open(writeFile(file(QStringLiteral("goeson.gif")), threeFrames()));
        QCOMPARE(f.fakes.dialogs.requests().size(), 1);
        QCOMPARE(f.fakes.dialogs.requests().front().title, QStringLiteral("Save as"));
        QCOMPARE(f.animation.name(), QStringLiteral("goeson.gif"));
        QVERIFY(!f.animation.isModified());
    }

    // A Yes whose Save fails must not go on to discard the unsaved animation.
    void saveQuestionYesWithAFailedSaveStops() {
        DocumentFixture f;
        f.loaded(2);
        f.edit();
        const QString blocker = writeFile(file(QStringLiteral("blocker")), {1});
        const QString name = writeFile(file(QStringLiteral("stops.gif")), threeFrames());
        f.fakes.prompts.answer(Answer::Yes);
        f.fakes.dialogs.choose(blocker + QStringLiteral("/inside.gif"));
        f.fakes.prompts.answer(Answer::Ok); // the save failure
        const Snapshot before = Snapshot::of(f);
        f.open(name);
        QCOMPARE(f.fakes.prompts.asked().size(), 2);
        QCOMPARE(f.fakes.prompts.asked().back().icon, Prompts::Icon::Error);
        QVERIFY(Snapshot::of(f) == before);
        QVERIFY(f.animation.isModified());
    }

    // ---- recent files ----

    void recentFilesMoveToFront_data() {
        // "f" is the opened file; other names stand for files elsewhere.
        QTest::addColumn<QStringList>("before");
        QTest::addColumn<QStringList>("after");
        QTest::addColumn<int>("writes");
        QTest::newRow("f = F1") << names("f,b,c,d") << names("f,b,c,d") << 0;
        QTest::newRow("f = F2") << names("a,f,c,d") << names("f,a,c,d") << 2;
        QTest::newRow("f = F3") << names("a,b,f,d") << names("f,a,b,d") << 3;
        QTest::newRow("f = F4") << names("a,b,c,f") << names("f,a,b,c") << 4;
        QTest::newRow("fifth file") << names("a,b,c,d") << names("f,a,b,c") << 4;
        QTest::newRow("empty list") << names(",,,") << names("f,,,") << 1;
        QTest::newRow("first match decides") << names("a,f,f,d") << names("f,a,f,d") << 2;
        QTest::newRow("letter case matters") << names("F,b,c,d") << names("f,F,b,c") << 4;
    }
    void recentFilesMoveToFront() {
        QFETCH(QStringList, before);
        QFETCH(QStringList, after);
        QFETCH(int, writes);
        const QString opened = writeFile(file(QStringLiteral("recent.gif")), threeFrames());
        const auto expand = [&](QStringList names) {
            for (QString& n : names) {
                if (n == QLatin1String("f"))
                    n = opened;
                else if (n == QLatin1String("F"))
                    n = file(QStringLiteral("RECENT.GIF"));
                else if (!n.isEmpty())
                    n = QStringLiteral("/elsewhere/") + n + QStringLiteral(".gif");
            }
            return names;
        };
        DocumentFixture f;
        setRecent(f.fakes.settings, expand(before));
        f.open(opened);
        QCOMPARE(f.recent.files(), expand(after));
        QCOMPARE(f.fakes.settings.writes().size(), writes);
    }

    void recentSlotsOpenTheirFile() {
        DocumentFixture f;
        QStringList names;
        for (int i = 1; i <= 4; ++i)
            names << writeFile(file(QStringLiteral("slot%1.gif").arg(i)), threeFrames(i));
        setRecent(f.fakes.settings, names);
        f.files.open(Origin::Recent3);
        QCOMPARE(f.files.path(), names[2]);
        QCOMPARE(f.animation.loop().count, 3);
        QCOMPARE(f.recent.files(), (QStringList{names[2], names[0], names[1], names[3]}));
        f.files.open(Origin::Recent4);
        QCOMPARE(f.files.path(), names[3]);
        f.files.open(Origin::Recent1);
        QCOMPARE(f.files.path(), names[3]); // F1 was the file just opened
        f.files.open(Origin::Recent2);
        QCOMPARE(f.files.path(), names[2]);
    }

    // ---- failed opens ----

    // A file that cannot be read takes nothing away: the animation being edited, its
    // file, its history and the recent list stay as they were.
    void invalidFile_data() {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QString>("message"); // its beginning
        const QString invalid = DocumentFiles::InvalidFormat;
        QTest::newRow("text named .gif") << QByteArray("This is not a picture.\n") << invalid;
        QTest::newRow("empty file") << QByteArray() << invalid;
        QTest::newRow("truncated header") << QByteArray("GIF89a\x02\x00", 8) << invalid;
        // 1000 frames of one pixel on a 16000 x 16000 screen: 256 G composed pixels.
        QByteArray huge("GIF89a\x80\x3e\x80\x3e\x80\x00\x00\x00\x00\x00\xff\xff\xff", 19);
        for (int i = 0; i < 1000; ++i)
            huge += QByteArray("\x2c", 1) + char(i & 0xFF) + char(i >> 8) +
                    QByteArray("\x00\x00\x01\x00\x01\x00\x00\x02\x02\x44\x01\x00", 12);
        huge += ';';
        QTest::newRow("too large to hold")
            << huge << QStringLiteral("The animation is too large to open: ");
    }
    void invalidFile() {
        QFETCH(QByteArray, content);
        QFETCH(QString, message);
        const QString bad =
            writeFile(file(QStringLiteral("bad.gif")), Bytes(content.begin(), content.end()));
        DocumentFixture f;
        const QString good = writeFile(file(QStringLiteral("good.gif")), threeFrames());
        f.open(good);
        f.animation.push(
            std::make_unique<RemoveFramesStep>(FrameCommands::RemoveStep, std::vector<int>{1}));
        const Snapshot before = Snapshot::of(f);
        const QStringList recent = f.recent.files();
        f.fakes.prompts.answer(Answer::No);
        f.fakes.prompts.answer(Answer::Ok);
        SignalLog log(f);

        f.open(bad);
        QCOMPARE(f.fakes.prompts.asked().back().icon, Prompts::Icon::Warning);
        QVERIFY2(f.fakes.prompts.asked().back().text.startsWith(message),
                 qPrintable(f.fakes.prompts.asked().back().text));
        QVERIFY(Snapshot::of(f) == before);
        QCOMPARE(f.files.path(), good);
        QCOMPARE(f.recent.files(), recent);
        // The views stay while the file is read (only a read file hides them to show
        // it); the window hears that it failed.
        QCOMPARE(log.events(), (QStringList{QStringLiteral("openFailed")}));

        // The edit is still there to undo, and Save writes the file being edited, never
        // the one that failed to open.
        f.animation.undoStack().undo();
        QCOMPARE(f.animation.frameCount(), 3);
        QVERIFY(!f.animation.isModified());
        f.edit();
        QCOMPARE(f.files.save(), DocumentFiles::SaveResult::Saved);
        QCOMPARE(f.fakes.dialogs.requests().size(), 0);
        QCOMPARE(readFile(bad), content);
    }
};

QTEST_GUILESS_MAIN(TestOpen)
#include "tst_open.moc"
