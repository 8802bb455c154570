// SPDX-License-Identifier: GPL-3.0-or-later
// Opening an animation: every origin with its questions and answers, the outcome table
// (cancelled, missing, success, invalid file), the recent-files list, the loop and
// comment records as opened, and the failed open leaving nothing to write over.

#include <algorithm>

#include <QDir>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include "document/DocumentFixture.h"
#include "editing/FrameEditor.h"

using namespace vorlane;
using namespace vorlane::test;
using Answer = Prompts::Answer;
using Origin = Document::OpenOrigin;

namespace {
const QString Missing = QStringLiteral("File does not exist");
const QString Invalid = QStringLiteral("Invalid file format.");

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
        settings.writeString(Document::RecentKey, QStringLiteral("F%1").arg(i + 1), files.value(i));
    settings.clearWrites();
}

// The state a failed or refused opening must leave as it was.
struct Snapshot {
    int frames;
    int entries;
    int current;
    QString name;
    QString title;
    QString path;
    bool modified;
    bool hasFile;
    Document::View view;
    QString comment;
    bool infinite;

    static Snapshot of(const Document& d) {
        return {d.frameCount(), d.entryCount(),  d.currentFrame(), d.name(),
                d.title(),      d.path(),        d.isModified(),   d.hasFile(),
                d.view(),       d.commentText(), d.loopInfinite()};
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
        f.doc.changed();
        f.fakes.prompts.expect(saveQuestion(QStringLiteral("Untitled.gif")), Answer::No);
        const QString name = writeFile(file(QStringLiteral("anim.gif")), threeFrames());
        f.fakes.clock.set(5000);
        f.fakes.clock.setStep(125);
        f.fakes.dialogs.choose(name);
        SignalLog log(f.doc);

        f.doc.FileOpen1Execute(Origin::Dialog);

        QCOMPARE(f.fakes.prompts.asked().size(), 1);
        const auto& request = f.fakes.dialogs.requests().front();
        QCOMPARE(request.kind, FakeFileDialogs::Kind::OpenOne);
        QCOMPARE(request.filter,
                 QStringLiteral("GIF image (*.gif)|*.gif|Vorlane Gif Format (*.vlgf)|*.vlgf"));
        QCOMPARE(f.doc.frameCount(), 3);
        QCOMPARE(f.doc.entryCount(), 3);
        QCOMPARE(f.doc.currentFrame(), 0);
        QCOMPARE(f.doc.name(), QStringLiteral("anim.gif"));
        QCOMPARE(f.doc.title(), QStringLiteral("anim.gif - Vorlane Gif"));
        QCOMPARE(f.doc.path(), name);
        QVERIFY(f.doc.hasFile());
        QVERIFY(!f.doc.isModified());
        QCOMPARE(f.doc.view(), Document::View::Frame);
        QVERIFY(!f.doc.image()->animate());
        QCOMPARE(f.doc.frameLabels().back(), QStringLiteral("#003: anim.gif"));
        QCOMPARE(f.doc.loadingTime(), QStringLiteral("Loaded in 0.125 s"));
        QCOMPARE(f.doc.fields(), (Document::Fields{true, true, true, true}));
        QVERIFY(f.doc.commentArmed());
        QCOMPARE(f.doc.commentText(), QStringLiteral("hello"));
        QCOMPARE(f.doc.statusHint(), QStringLiteral("To get help, press F1"));
        QCOMPARE(f.doc.progress(), -1);
        QCOMPARE(f.doc.recentFiles().front(), name);

        // Frame 0 is selected, then the window picks slot 1, refreshes, takes the word
        // "opened", the title and the recent list; the flag is cleared last.
        QCOMPARE(
            log.only({QStringLiteral("currentFrameChanged"), QStringLiteral("fileOpened"),
                      QStringLiteral("actionWord"), QStringLiteral("titleChanged"),
                      QStringLiteral("recentFilesChanged"), QStringLiteral("modifiedChanged(0)")}),
            (QStringList{QStringLiteral("currentFrameChanged(0)"), QStringLiteral("fileOpened"),
                         QStringLiteral("actionWord(opened)"),
                         QStringLiteral("titleChanged(anim.gif - Vorlane Gif)"),
                         QStringLiteral("recentFilesChanged"),
                         QStringLiteral("modifiedChanged(0)")}));

        // The dialog starts at the file opened last.
        f.fakes.dialogs.cancel();
        f.doc.FileOpen1Execute(Origin::Dialog);
        QCOMPARE(f.fakes.dialogs.requests().back().initialFile, name);
    }

    void framesBecomeCompletePictures() {
        // An optimized file: a full-size first frame left in place, then a 2 x 2 corner.
        GifBuilder b;
        b.header().screen(6, 4, {0xFF0000, 0x00FF00, 0x0000FF, 0xFFFFFF});
        b.graphicControl(1, 5).image(0, 0, 6, 4, std::vector<uint8_t>(24, 0));
        b.graphicControl(1, 7).image(4, 2, 2, 2, {1, 1, 1, 1}).trailer();
        const QString name = writeFile(file(QStringLiteral("optimized.gif")), b.bytes());
        DocumentFixture f;
        f.doc.FileOpen1Execute(Origin::CommandLine, name);
        QCOMPARE(f.doc.frameCount(), 2);
        const gif::Frame& second = f.doc.image()->frame(1);
        QCOMPARE(int(second.left), 0);
        QCOMPARE(int(second.top), 0);
        QCOMPARE(int(second.width()), 6);
        QCOMPARE(int(second.height()), 4);
        const QImage picture = f.doc.image()->ownPicture(1).convertToFormat(QImage::Format_RGB32);
        QCOMPARE(picture.pixel(0, 0), qRgb(255, 0, 0));
        QCOMPARE(picture.pixel(3, 3), qRgb(255, 0, 0));
        QCOMPARE(picture.pixel(4, 2), qRgb(0, 255, 0));
        QCOMPARE(picture.pixel(5, 3), qRgb(0, 255, 0));
        QCOMPARE(f.doc.getdelay(QStringLiteral("1"), 1), 7);
    }

    void framesWithoutControlRecordsGetOne() {
        GifBuilder b;
        b.header("87a").screen(2, 2, {0x000000, 0xFFFFFF});
        b.image(0, 0, 2, 2, {0, 1, 1, 0}).image(0, 0, 2, 2, {1, 0, 0, 1}).trailer();
        const QString name = writeFile(file(QStringLiteral("old.gif")), b.bytes());
        DocumentFixture f;
        f.doc.FileOpen1Execute(Origin::CommandLine, name);
        QCOMPARE(f.doc.frameCount(), 2);
        for (int i = 0; i < 2; ++i) {
            const gif::GraphicControl* gc = f.doc.image()->frame(size_t(i)).graphicControl();
            QVERIFY(gc);
            QCOMPARE(gc->delay, uint16_t(0));
            QCOMPARE(gc->disposal, uint8_t(0));
            QVERIFY(!gc->transparent);
        }
    }

    void ownFileTypeOpensLikeGif() {
        const QString name = writeFile(file(QStringLiteral("x.vlgf")), threeFrames());
        DocumentFixture f;
        f.doc.FileOpen1Execute(Origin::CommandLine, name);
        QCOMPARE(f.doc.frameCount(), 3);
        QCOMPARE(f.doc.title(), QStringLiteral("x.vlgf - Vorlane Gif"));
    }

    void relativeCommandLineNameIsKeptInFull() {
        const QString name = writeFile(file(QStringLiteral("rel.gif")), threeFrames());
        const QString old = QDir::currentPath();
        QDir::setCurrent(m_dir.path());
        DocumentFixture f;
        f.doc.FileOpen1Execute(Origin::CommandLine, QStringLiteral("rel.gif"));
        QDir::setCurrent(old);
        QCOMPARE(f.doc.path(), name);
        QCOMPARE(f.doc.recentFiles().front(), name);
    }

    // ---- loop and comment as opened ----

    void loopControlsFollowTheFile_data() {
        QTest::addColumn<int>("loops"); // -1: no loop record
        QTest::addColumn<bool>("infinite");
        QTest::addColumn<int>("shown");
        QTest::newRow("no loop record") << -1 << true << 1;
        QTest::newRow("forever") << 0 << true << 1;
        QTest::newRow("three times") << 3 << false << 3;
    }
    void loopControlsFollowTheFile() {
        QFETCH(int, loops);
        QFETCH(bool, infinite);
        QFETCH(int, shown);
        const QString name = writeFile(file(QStringLiteral("loops.gif")), threeFrames(loops));
        DocumentFixture f;
        f.doc.FileOpen1Execute(Origin::CommandLine, name);
        QCOMPARE(f.doc.loopInfinite(), infinite);
        QCOMPARE(f.doc.numLoops(), shown);
        QCOMPARE(f.doc.fields().numLoops, !infinite);
        QVERIFY(!f.doc.isModified());
        // Every opened animation has a loop record in frame 0.
        QCOMPARE(int(*f.doc.loopext()->loopCount()), infinite ? 0 : loops);
    }

    void loopChoiceOfThePreviousDocumentGivesWay() {
        DocumentFixture f;
        f.doc.FileOpen1Execute(Origin::CommandLine,
                               writeFile(file(QStringLiteral("l3.gif")), threeFrames(3)));
        QVERIFY(!f.doc.loopInfinite());
        f.doc.FileOpen1Execute(Origin::CommandLine,
                               writeFile(file(QStringLiteral("l0.gif")), threeFrames(0)));
        QVERIFY(f.doc.loopInfinite());
        QVERIFY(!f.doc.fields().numLoops);
        QCOMPARE(*f.doc.image()->frame(0).extensions.front()->loopCount(), uint16_t(0));
        QVERIFY(!f.doc.isModified());
    }

    // Other programs put comments or their own application records (XMP) before the
    // loop record; the file still opens with its count, and saving keeps one loop record
    // and the other records where they were.
    void loopRecordAfterOtherRecords_data() {
        QTest::addColumn<bool>("xmpFirst");
        QTest::newRow("comment first") << false;
        QTest::newRow("XMP first") << true;
    }
    void loopRecordAfterOtherRecords() {
        QFETCH(bool, xmpFirst);
        GifBuilder b;
        b.header().screen(2, 2, {0x000000, 0xFFFFFF});
        if (xmpFirst)
            b.application("XMP DataXMP", {Bytes{'x', 'm', 'p'}});
        else
            b.comment("first");
        b.loop(2).graphicControl(0, 10).image(0, 0, 2, 2, {0, 1, 1, 0}).trailer();
        const QString name = writeFile(file(QStringLiteral("loopsecond.gif")), b.bytes());
        DocumentFixture f;
        f.doc.FileOpen1Execute(Origin::CommandLine, name);
        QVERIFY(f.doc.hasImage());
        QVERIFY(!f.doc.loopInfinite());
        QCOMPARE(f.doc.numLoops(), 2);
        QVERIFY(!f.doc.isModified());
        f.doc.changed();
        QCOMPARE(f.doc.FileSave1Execute(), Document::SaveResult::Saved);

        gif::GifImage saved;
        saved.load(name);
        const auto& records = saved.frame(0).extensions;
        QCOMPARE(std::count_if(records.begin(), records.end(),
                               [](const auto& r) { return r->isLoop(); }),
                 1);
        QVERIFY(!records[0]->isLoop()); // the other record stays first
        QCOMPARE(*records[1]->loopCount(), uint16_t(2));
        if (xmpFirst) QCOMPARE(records[0]->applicationId(), std::string("XMP DataXMP"));
    }

    // Regression: a file without images opened with Play and Remove on and Add off, and
    // its loop count and comment vanished. It opens as after New, with its records shown,
    // and the first frame added carries them into the saved file once.
    void fileWithoutImagesOpensEmpty() {
        GifBuilder b;
        b.header().screen(4, 4, {0x000000, 0xFFFFFF}).loop(3).comment("hi").trailer();
        const QString name = writeFile(file(QStringLiteral("noimages.gif")), b.bytes());
        DocumentFixture f;
        QSignalSpy words(&f.doc, &Document::actionWord);
        f.doc.FileOpen1Execute(Origin::CommandLine, name);
        QCOMPARE(f.doc.frameCount(), 0);
        QCOMPARE(f.doc.view(), Document::View::Frame);
        QCOMPARE(words.last().first().toString(), QStringLiteral("alsup"));
        QVERIFY(!f.doc.isModified());
        QVERIFY(f.doc.hasFile());
        QCOMPARE(f.doc.title(), QStringLiteral("noimages.gif - Vorlane Gif"));
        QVERIFY(!f.doc.loopInfinite());
        QCOMPARE(f.doc.numLoops(), 3);
        QCOMPARE(f.doc.commentText(), QStringLiteral("hi"));

        QImage picture(4, 4, QImage::Format_Indexed8);
        picture.setColorTable({qRgb(0, 0, 0), qRgb(255, 255, 255)});
        picture.fill(1);
        FrameEditor::AddImage(*f.doc.image(), picture, 10);
        f.doc.ren();
        f.doc.makeloopongif();
        QCOMPARE(f.doc.FileSave1Execute(), Document::SaveResult::Saved);
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
        QSignalSpy notices(&f.doc, &Document::fileNotices);
        f.doc.FileOpen1Execute(Origin::CommandLine, name);
        QVERIFY(f.doc.hasImage());
        QCOMPARE(notices.count(), 1);
        const QStringList got = notices.last().first().toStringList();
        QCOMPARE(got.size(), expected.size());
        for (int i = 0; i < got.size(); ++i)
            QVERIFY2(got[i].startsWith(expected[i]), qPrintable(got[i]));
        // New clears them.
        f.doc.FileNewItemClick();
        QVERIFY(notices.last().first().toStringList().isEmpty());
    }

    // ---- questions and refusals ----

    void cancelledDialogChangesNothing() {
        DocumentFixture f;
        f.loaded(2);
        f.doc.changed();
        const Snapshot before = Snapshot::of(f.doc);
        f.fakes.dialogs.cancel();
        f.doc.FileOpen1Execute(Origin::Dialog);
        QVERIFY(Snapshot::of(f.doc) == before);
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
        f.doc.selectFrame(1);
        f.doc.changed();
        setRecent(f.fakes.settings,
                  {file(QStringLiteral("a.gif")), file(QStringLiteral("gone.gif"))});
        f.fakes.dialogs.choose(file(QStringLiteral("gone.gif")));
        const Snapshot before = Snapshot::of(f.doc);
        f.fakes.prompts.expect(Missing, Answer::Ok);

        f.doc.FileOpen1Execute(Origin(origin), file(QStringLiteral("gone.gif")));
        QCOMPARE(f.fakes.prompts.asked().size(), 1);
        QCOMPARE(f.fakes.prompts.asked().front().icon, Prompts::Icon::Warning);
        QCOMPARE(f.fakes.prompts.asked().front().buttons, Prompts::Buttons::Ok);
        QVERIFY(Snapshot::of(f.doc) == before);
        QVERIFY(f.fakes.settings.writes().isEmpty());
    }

    void saveQuestionCancelKeepsEverything() {
        DocumentFixture f;
        f.loaded(2);
        f.doc.selectFrame(1);
        f.doc.GifcommentChange(QStringLiteral("draft"));
        f.doc.changed();
        const Snapshot before = Snapshot::of(f.doc);
        const QString name = writeFile(file(QStringLiteral("other.gif")), threeFrames());
        f.fakes.prompts.expect(saveQuestion(QStringLiteral("Untitled.gif")), Answer::Cancel);
        f.doc.FileOpen1Execute(Origin::CommandLine, name);
        QCOMPARE(f.fakes.prompts.asked().front().buttons, Prompts::Buttons::YesNoCancel);
        QCOMPARE(f.fakes.prompts.asked().front().icon, Prompts::Icon::Warning);
        QVERIFY(Snapshot::of(f.doc) == before);
        QVERIFY(f.fakes.settings.writes().isEmpty());
    }

    void saveQuestionNoDiscards() {
        DocumentFixture f;
        f.loaded(5);
        f.doc.changed();
        const QString name = writeFile(file(QStringLiteral("no.gif")), threeFrames());
        f.fakes.prompts.answer(Answer::No);
        f.doc.FileOpen1Execute(Origin::CommandLine, name);
        QCOMPARE(f.doc.frameCount(), 3);
        QVERIFY(!f.doc.isModified());
        QCOMPARE(f.fakes.dialogs.requests().size(), 0);
    }

    void saveQuestionYesSavesFirst() {
        const QString first = writeFile(file(QStringLiteral("yes1.gif")), threeFrames(0));
        const QString second = writeFile(file(QStringLiteral("yes2.gif")), threeFrames());
        DocumentFixture f;
        f.doc.FileOpen1Execute(Origin::CommandLine, first);
        f.doc.NumLoopsChange(9);
        f.doc.finiClick();
        QVERIFY(f.doc.isModified());
        f.fakes.prompts.expect(saveQuestion(QStringLiteral("yes1.gif")), Answer::Yes);
        f.doc.FileOpen1Execute(Origin::CommandLine, second);
        QCOMPARE(f.doc.name(), QStringLiteral("yes2.gif"));
        // The first file was saved in place before the second one was opened, and both
        // are in the recent list, the second first.
        gif::GifImage saved;
        saved.load(first);
        QCOMPARE(*saved.frame(0).extensions.front()->loopCount(), uint16_t(9));
        QCOMPARE(f.doc.recentFiles().mid(0, 2), (QStringList{second, first}));
    }

    void saveQuestionYesThenCancelledSaveDialogGoesOn() {
        DocumentFixture f;
        f.loaded(2);
        f.doc.changed();
        const QString name = writeFile(file(QStringLiteral("goeson.gif")), threeFrames());
        f.fakes.prompts.answer(Answer::Yes);
        f.fakes.dialogs.cancel();
        f.doc.FileOpen1Execute(Origin::CommandLine, name);
        QCOMPARE(f.fakes.dialogs.requests().size(), 1);
        QCOMPARE(f.fakes.dialogs.requests().front().title, QStringLiteral("Save as"));
        QCOMPARE(f.doc.name(), QStringLiteral("goeson.gif"));
        QVERIFY(!f.doc.isModified());
    }

    // A Yes whose Save fails must not go on to discard the unsaved document.
    void saveQuestionYesWithAFailedSaveStops() {
        DocumentFixture f;
        f.loaded(2);
        f.doc.changed();
        const QString blocker = writeFile(file(QStringLiteral("blocker")), {1});
        const QString name = writeFile(file(QStringLiteral("stops.gif")), threeFrames());
        f.fakes.prompts.answer(Answer::Yes);
        f.fakes.dialogs.choose(blocker + QStringLiteral("/inside.gif"));
        f.fakes.prompts.answer(Answer::Ok); // the save failure
        const Snapshot before = Snapshot::of(f.doc);
        f.doc.FileOpen1Execute(Origin::CommandLine, name);
        QCOMPARE(f.fakes.prompts.asked().size(), 2);
        QCOMPARE(f.fakes.prompts.asked().back().icon, Prompts::Icon::Error);
        QVERIFY(Snapshot::of(f.doc) == before);
        QVERIFY(f.doc.isModified());
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
        f.doc.FileOpen1Execute(Origin::CommandLine, opened);
        QCOMPARE(f.doc.recentFiles(), expand(after));
        QCOMPARE(f.fakes.settings.writes().size(), writes);
    }

    void recentSlotsOpenTheirFile() {
        DocumentFixture f;
        QStringList names;
        for (int i = 1; i <= 4; ++i)
            names << writeFile(file(QStringLiteral("slot%1.gif").arg(i)), threeFrames(i));
        setRecent(f.fakes.settings, names);
        f.doc.FileOpen1Execute(Origin::Recent3);
        QCOMPARE(f.doc.path(), names[2]);
        QCOMPARE(f.doc.numLoops(), 3);
        QCOMPARE(f.doc.recentFiles(), (QStringList{names[2], names[0], names[1], names[3]}));
        f.doc.FileOpen1Execute(Origin::Recent4);
        QCOMPARE(f.doc.path(), names[3]);
        f.doc.FileOpen1Execute(Origin::Recent1);
        QCOMPARE(f.doc.path(), names[3]); // F1 was the file just opened
        f.doc.FileOpen1Execute(Origin::Recent2);
        QCOMPARE(f.doc.path(), names[2]);
    }

    // ---- failed opens ----

    void invalidFile_data() {
        QTest::addColumn<QByteArray>("content");
        QTest::newRow("text named .gif") << QByteArray("This is not a picture.\n");
        QTest::newRow("empty file") << QByteArray();
        QTest::newRow("truncated header") << QByteArray("GIF89a\x02\x00", 8);
    }
    void invalidFile() {
        QFETCH(QByteArray, content);
        const QString bad =
            writeFile(file(QStringLiteral("bad.gif")), Bytes(content.begin(), content.end()));
        DocumentFixture f;
        const QString good = writeFile(file(QStringLiteral("good.gif")), threeFrames());
        f.doc.FileOpen1Execute(Origin::CommandLine, good);
        f.doc.selectFrame(2);
        f.doc.changed();
        f.fakes.prompts.answer(Answer::No);
        f.fakes.prompts.expect(Invalid, Answer::Ok);
        SignalLog log(f.doc);

        f.doc.FileOpen1Execute(Origin::CommandLine, bad);
        QCOMPARE(f.fakes.prompts.asked().back().icon, Prompts::Icon::Warning);
        QVERIFY(!f.doc.hasImage());
        QCOMPARE(f.doc.entryCount(), 0);
        QCOMPARE(f.doc.currentFrame(), -1);
        QCOMPARE(f.doc.view(), Document::View::None);
        QCOMPARE(f.doc.path(), bad);
        QCOMPARE(f.doc.name(), QStringLiteral("good.gif"));
        QVERIFY(f.doc.isModified());
        QVERIFY(f.doc.hasFile());
        QCOMPARE(f.doc.recentFiles().front(), good);
        QCOMPARE(f.doc.loadingTime(), QStringLiteral("Loaded in 0 s")); // the earlier one
        QVERIFY(!log.events().contains(QStringLiteral("actionWord(opened)")));
        QVERIFY(!log.events().contains(QStringLiteral("framesRebuilt")));

        // Nothing is ever written over the file that failed to open: Save has no image
        // to write, and frames added afterwards go to a file the user names.
        QVERIFY(f.doc.FileSave1Execute() != Document::SaveResult::Saved);
        f.doc.setImage(makeAnimation(2));
        f.doc.ren();
        f.doc.changed();
        f.fakes.dialogs.cancel();
        QCOMPARE(f.doc.FileSave1Execute(), Document::SaveResult::Cancelled);
        QCOMPARE(f.fakes.dialogs.requests().size(), 1);
        QCOMPARE(readFile(bad), content);
    }
};

QTEST_GUILESS_MAIN(TestOpen)
#include "tst_open.moc"
