// SPDX-License-Identifier: GPL-3.0-or-later
// The document's model: frame list, selection, graphic control records, side panel
// enabling, loop and comment records of frame 0, progress and status texts, New, play and
// stop. Everything here works on animations made in memory.

#include <QLocale>
#include <QSignalSpy>
#include <QTest>

#include "document/DocumentFixture.h"

using namespace vorlane;
using namespace vorlane::test;

namespace {
const AnimationRecords NoControls{-1, {}, false};

gif::ExtensionList& frame0(Document& doc) {
    return doc.image()->frame(0).extensions;
}

// Restores the default locale when a test changes it.
struct LocaleGuard {
    QLocale saved;
    ~LocaleGuard() { QLocale::setDefault(saved); }
};
} // namespace

class TestDocumentModel : public QObject {
    Q_OBJECT
private Q_SLOTS:
    // ---- frame list ----

    void nextIndex_data() {
        QTest::addColumn<int>("entries");
        QTest::addColumn<QString>("number");
        QTest::newRow("empty") << 0 << "001";
        QTest::newRow("ninth") << 8 << "009";
        QTest::newRow("tenth") << 9 << "010";
        QTest::newRow("99th") << 98 << "099";
        QTest::newRow("100th") << 99 << "100";
        QTest::newRow("1000th") << 999 << "1000";
    }
    void nextIndex() {
        QFETCH(int, entries);
        QFETCH(QString, number);
        QCOMPARE(Document::NextIndex(entries), number);
    }

    void renLabelsEveryFrameAndSelectsNothing() {
        DocumentFixture f;
        f.doc.setImage(makeAnimation(100));
        f.doc.ren();
        f.doc.selectFrame(5);
        QSignalSpy rebuilt(&f.doc, &Document::framesRebuilt);
        QSignalSpy selection(&f.doc, &Document::currentFrameChanged);
        f.doc.ren();
        QCOMPARE(rebuilt.count(), 1);
        QCOMPARE(f.doc.entryCount(), 100);
        QCOMPARE(f.doc.frameLabels().front(), QStringLiteral("#001: Untitled.gif"));
        QCOMPARE(f.doc.frameLabels()[6], QStringLiteral("#007: Untitled.gif"));
        QCOMPARE(f.doc.frameLabels().back(), QStringLiteral("#100: Untitled.gif"));
        QCOMPARE(f.doc.currentFrame(), -1);
        // Selecting the entry that was selected before the refresh is a change again.
        f.doc.selectFrame(5);
        QCOMPARE(selection.count(), 1);
    }

    void selectionFollowsAList() {
        DocumentFixture f;
        f.loaded(3);
        f.doc.setView(Document::View::Animation);
        QSignalSpy selection(&f.doc, &Document::currentFrameChanged);
        f.doc.selectFrame(2);
        f.doc.selectFrame(2); // already selected: no change
        f.doc.selectFrame(3); // no such entry
        f.doc.selectFrame(-2);
        QCOMPARE(selection.count(), 1);
        QCOMPARE(selection.at(0).at(0).toInt(), 2);
        QCOMPARE(f.doc.currentFrame(), 2);
        // The selection routine shows the frame view.
        QCOMPARE(f.doc.view(), Document::View::Frame);
        f.doc.reselectCurrentFrame();
        QCOMPARE(selection.count(), 2);
    }

    // ---- graphic control records ----

    void creategcesGivesMissingRecordsOnly() {
        DocumentFixture f;
        f.doc.setImage(makeAnimation(3, 4, 4, NoControls));
        auto existing = gif::Extension::makeGraphicControl();
        existing->control().delay = 42;
        f.doc.image()->frame(1).extensions.push_back(existing);
        f.doc.image()->frame(1).graphicControlRecord = existing;

        f.doc.creategces();
        for (int i = 0; i < 3; ++i) {
            const gif::Frame& fr = f.doc.image()->frame(size_t(i));
            QVERIFY(fr.graphicControlRecord);
            QCOMPARE(fr.extensions.size(), size_t(1));
            QVERIFY(fr.extensions.front() == fr.graphicControlRecord); // written with the frame
        }
        QCOMPARE(f.doc.image()->frame(1).graphicControl()->delay, uint16_t(42));
        const gif::GraphicControl& fresh = *f.doc.image()->frame(0).graphicControl();
        QCOMPARE(fresh.delay, uint16_t(0));
        QCOMPARE(fresh.disposal, uint8_t(0));
        QVERIFY(!fresh.transparent);
    }

    void getdelayCreatesTheRecordWhenMissing() {
        DocumentFixture f;
        f.doc.setImage(makeAnimation(2, 4, 4, NoControls));
        QCOMPARE(f.doc.getdelay(QStringLiteral("2"), 0), 0); // no other selector
        QVERIFY(!f.doc.image()->frame(0).graphicControlRecord);
        QCOMPARE(f.doc.getdelay(QStringLiteral("1"), 0), 0);
        QVERIFY(f.doc.image()->frame(0).graphicControlRecord);
        QCOMPARE(f.doc.image()->frame(0).extensions.size(), size_t(1));
        QVERIFY(!f.doc.image()->frame(1).graphicControlRecord);
        f.doc.image()->frame(0).graphicControl()->delay = 70;
        QCOMPARE(f.doc.getdelay(QStringLiteral("1"), 0), 70);
        QCOMPARE(f.doc.getdelay(QStringLiteral("1"), 9), 0); // out of range never fails
    }

    // ---- side panel fields ----

    void checkNilEnablesByFrameCountAndLoopChoice() {
        DocumentFixture f;
        f.doc.CheckNil();
        QCOMPARE(f.doc.fields(), Document::Fields{});
        f.loaded(1);
        QCOMPARE(f.doc.fields(), (Document::Fields{true, false, true, true}));
        f.doc.finiClick();
        f.doc.CheckNil();
        QCOMPARE(f.doc.fields(), (Document::Fields{true, true, true, true}));
    }

    // ---- loop record ----

    void loopextFindsOrPlacesTheRecord_data() {
        QTest::addColumn<QString>("layout"); // records of frame 0 before, one letter each
        QTest::addColumn<QString>("after");
        QTest::addColumn<int>("count");
        // g: graphic control, c: comment, x: another application record (XMP),
        // L: loop (count 7), l: loop (count 2)
        QTest::newRow("no records") << "" << "L0" << 0;
        QTest::newRow("control first") << "g" << "L0g" << 0;
        QTest::newRow("loop first") << "Lg" << "Lg" << 7;
        QTest::newRow("comment before loop") << "cl" << "cl" << 2;
        QTest::newRow("XMP before loop") << "xlg" << "xlg" << 2;
        QTest::newRow("XMP without loop") << "xg" << "L0xg" << 0;
        QTest::newRow("two loops: the first counts") << "lL" << "lL" << 2;
    }
    void loopextFindsOrPlacesTheRecord() {
        QFETCH(QString, layout);
        QFETCH(QString, after);
        QFETCH(int, count);
        DocumentFixture f;
        f.doc.setImage(makeAnimation(2, 4, 4, NoControls));
        for (QChar c : layout) {
            if (c == QLatin1Char('g'))
                frame0(f.doc).push_back(gif::Extension::makeGraphicControl());
            else if (c == QLatin1Char('c'))
                frame0(f.doc).push_back(gif::Extension::makeComment("x"));
            else if (c == QLatin1Char('x'))
                frame0(f.doc).push_back(
                    gif::Extension::makeApplication("XMP DataXMP", {gif::Bytes{1, 2}}));
            else
                frame0(f.doc).push_back(gif::Extension::makeLoop(c == QLatin1Char('L') ? 7 : 2));
        }
        gif::Extension* loop = f.doc.loopext();
        QVERIFY(loop && loop->isLoop());
        QCOMPARE(int(*loop->loopCount()), count);
        QString kinds;
        for (const auto& r : frame0(f.doc))
            kinds += r->isGraphicControl() ? QStringLiteral("g")
                     : r->isComment()      ? QStringLiteral("c")
                     : !r->isLoop()        ? QStringLiteral("x")
                     : r->loopCount() == 2 ? QStringLiteral("l")
                     : r->loopCount() == 0 ? QStringLiteral("L0")
                                           : QStringLiteral("L");
        QCOMPARE(kinds, after);
        QVERIFY(f.doc.loopext() == loop); // found again, not added twice
    }

    void loopextWithoutFramesIsNone() {
        DocumentFixture f;
        QVERIFY(!f.doc.loopext());
        f.doc.setImage(makeAnimation(0));
        QVERIFY(!f.doc.loopext());
        // The writer does nothing then and leaves the flag alone.
        f.doc.makeloopongif();
        QVERIFY(!f.doc.isModified());
    }

    void loopHandlersWriteTheChoice() {
        DocumentFixture f;
        f.loaded(3);
        f.doc.image()->setAnimate(true);
        QSignalSpy modified(&f.doc, &Document::modifiedChanged);
        QSignalSpy switched(&f.doc, &Document::animationSwitched);

        f.doc.NumLoopsChange(5);
        f.doc.finiClick();
        QCOMPARE(*f.doc.loopext()->loopCount(), uint16_t(5));
        QVERIFY(f.doc.isModified());
        QVERIFY(f.doc.fields().numLoops);
        QVERIFY(!f.doc.image()->animate());
        QCOMPARE(switched.count(), 1);

        f.doc.setModified(false);
        f.doc.infiniClick();
        QCOMPARE(*f.doc.loopext()->loopCount(), uint16_t(0));
        QVERIFY(f.doc.isModified());
        QVERIFY(!f.doc.fields().numLoops);
        QCOMPARE(f.doc.numLoops(), 5); // the field keeps its value

        f.doc.setModified(false);
        f.doc.finiClick();
        QCOMPARE(*f.doc.loopext()->loopCount(), uint16_t(5));
        QVERIFY(f.doc.isModified());
        QCOMPARE(modified.count(), 5);
    }

    void loopCountStaysWithinSixteenBits_data() {
        QTest::addColumn<int>("entered");
        QTest::addColumn<int>("stored");
        QTest::newRow("largest") << 65535 << 65535;
        QTest::newRow("one more") << 65536 << 65535;
        QTest::newRow("zero") << 0 << 1;
    }
    void loopCountStaysWithinSixteenBits() {
        QFETCH(int, entered);
        QFETCH(int, stored);
        DocumentFixture f;
        f.loaded(1);
        f.doc.finiClick();
        f.doc.NumLoopsChange(entered);
        QCOMPARE(f.doc.numLoops(), stored);
        QCOMPARE(int(*f.doc.loopext()->loopCount()), stored);
    }

    void loopRecordFollowsANewFirstFrame() {
        DocumentFixture f;
        f.loaded(3);
        f.doc.NumLoopsChange(4);
        f.doc.finiClick();
        // The first frame leaves with its records; writing the choice again gives the new
        // first frame a loop record from the controls.
        f.doc.image()->deleteFrame(0);
        f.doc.ren();
        QVERIFY(!frame0(f.doc).front()->isLoop());
        f.doc.makeloopongif();
        QVERIFY(frame0(f.doc).front()->isLoop());
        QCOMPARE(*frame0(f.doc).front()->loopCount(), uint16_t(4));
    }

    void loopdoopenedLoadsTheControls() {
        DocumentFixture f;
        f.loaded(2);
        f.doc.loopext()->setLoopCount(3);
        QSignalSpy choice(&f.doc, &Document::loopChoiceChanged);
        f.doc.loopdoopened();
        QVERIFY(!f.doc.loopInfinite());
        QCOMPARE(f.doc.numLoops(), 3);
        QVERIFY(f.doc.fields().numLoops);
        QVERIFY(choice.count() >= 1);
        QCOMPARE(*f.doc.loopext()->loopCount(), uint16_t(3)); // written back unchanged

        f.doc.loopext()->setLoopCount(0);
        f.doc.loopdoopened();
        QVERIFY(f.doc.loopInfinite());
        QVERIFY(!f.doc.fields().numLoops);
        QCOMPARE(f.doc.numLoops(), 3);
    }

    // ---- comment record ----

    void comextindexAppendsWhenMissing() {
        DocumentFixture f;
        f.loaded(1);
        QVERIFY(!f.doc.thereiscommentext());
        const int index = f.doc.comextindex();
        QCOMPARE(index, 2); // after the loop and graphic control records
        QVERIFY(f.doc.thereiscommentext());
        QCOMPARE(f.doc.comextindex(), 2);
        frame0(f.doc).insert(frame0(f.doc).begin() + 1, gif::Extension::makeComment("first"));
        QCOMPARE(f.doc.comextindex(), 1);
    }

    void addcommenttogifWritesTheBox() {
        DocumentFixture f;
        f.loaded(2);
        f.doc.GifcommentChange(QStringLiteral("a\nb"));
        f.doc.addcommenttogif();
        const auto& records = frame0(f.doc);
        QCOMPARE(records.back()->text(), std::string("a\nb"));
        // An empty box gives no record (one without text would have no data block), and
        // emptying the box removes the comment.
        DocumentFixture empty;
        empty.loaded(1);
        empty.doc.addcommenttogif();
        QVERIFY(!empty.doc.thereiscommentext());
        f.doc.GifcommentChange(QString());
        f.doc.addcommenttogif();
        QVERIFY(!f.doc.thereiscommentext());
    }

    void commentdoopenedShowsAllCommentsAndArms() {
        DocumentFixture f;
        f.loaded(1);
        frame0(f.doc).push_back(gif::Extension::makeComment("one\r\ntwo\r\n"));
        frame0(f.doc).push_back(gif::Extension::makeComment("three"));
        f.doc.image()->frame(0).extensions.insert(frame0(f.doc).begin(),
                                                  gif::Extension::makeComment("caf\xc3\xa9"));
        // Regression: a comment typed into an animation that was never opened from a file
        // (New, Add, Save as) was no edit, so it was lost at Quit. With frames, every
        // edit counts.
        QVERIFY(!f.doc.commentArmed());
        f.doc.GifcommentChange(QStringLiteral("before any opening"));
        QVERIFY(f.doc.isModified());
        QCOMPARE(f.doc.commentText(), QStringLiteral("before any opening"));
        f.doc.setModified(false);
        QSignalSpy text(&f.doc, &Document::commentTextChanged);
        f.doc.commentdoopened();
        QVERIFY(f.doc.commentArmed());
        QCOMPARE(f.doc.commentText(), QStringLiteral("caf\u00e9\none\ntwo\nthree"));
        QCOMPARE(text.count(), 1);
        // The box echoing the program's own text is no edit.
        f.doc.GifcommentChange(f.doc.commentText());
        QVERIFY(!f.doc.isModified());
        f.doc.GifcommentChange(QStringLiteral("typed"));
        QVERIFY(f.doc.isModified());
    }

    void latin1CommentIsReadAndKeptAsItWas() {
        DocumentFixture f;
        f.loaded(1);
        frame0(f.doc).push_back(gif::Extension::makeComment("caf\xe9"));
        f.doc.commentdoopened();
        QCOMPARE(f.doc.commentText(), QStringLiteral("caf\u00e9"));
        f.doc.addcommenttogif();
        QCOMPARE(frame0(f.doc).back()->text(), std::string("caf\xe9"));
    }

    // Several comment records: an untouched box keeps them all as read; an edited box
    // becomes the one comment, so the lines of the later records are not shown twice at
    // the next opening.
    void severalCommentsAreNeitherDuplicatedNorLost() {
        DocumentFixture f;
        f.loaded(1);
        frame0(f.doc).push_back(gif::Extension::makeComment("one\r\n"));
        frame0(f.doc).push_back(gif::Extension::makeComment("two"));
        f.doc.commentdoopened();
        f.doc.addcommenttogif();
        QCOMPARE(frame0(f.doc).size(), size_t(4));
        QCOMPARE(frame0(f.doc)[2]->text(), std::string("one\r\n"));
        QCOMPARE(frame0(f.doc)[3]->text(), std::string("two"));

        f.doc.GifcommentChange(QStringLiteral("one\ntwo\nthree"));
        f.doc.addcommenttogif();
        QCOMPARE(frame0(f.doc).size(), size_t(3));
        QCOMPARE(frame0(f.doc)[2]->text(), std::string("one\ntwo\nthree"));
        f.doc.commentdoopened();
        QCOMPARE(f.doc.commentText(), QStringLiteral("one\ntwo\nthree"));
    }

    // ---- progress and status ----

    void progressTexts_data() {
        QTest::addColumn<int>("message");
        QTest::addColumn<QString>("text");
        QTest::newRow("loading") << int(gif::ProgressMessage::Loading) << "Loading...";
        QTest::newRow("converting") << int(gif::ProgressMessage::Converting) << "Converting...";
        QTest::newRow("rendering") << int(gif::ProgressMessage::Rendering) << "Preparing...";
        QTest::newRow("copying") << int(gif::ProgressMessage::Copying) << "Copy in progress...";
        QTest::newRow("saving") << int(gif::ProgressMessage::Saving) << "Saving image...";
        QTest::newRow("optimizing") << int(gif::ProgressMessage::Optimizing) << "Optimizing...";
    }
    void progressTexts() {
        QFETCH(int, message);
        QFETCH(QString, text);
        DocumentFixture f;
        QCOMPARE(f.doc.progress(), -1);
        const auto m = gif::ProgressMessage(message);
        f.doc.gifProgress(gif::Stage::Starting, 0, m);
        QCOMPARE(f.doc.statusHint(), text);
        QCOMPARE(f.doc.progress(), 0);
        f.doc.gifProgress(gif::Stage::Running, 40, m);
        QCOMPARE(f.doc.progress(), 40);
        f.doc.gifProgress(gif::Stage::Ending, 100, m);
        QCOMPARE(f.doc.progress(), -1);
        QCOMPARE(f.doc.statusHint(), QStringLiteral("To get help, press F1"));
    }

    void documentImageReportsProgress() {
        DocumentFixture f;
        f.loaded(2);
        QSignalSpy hints(&f.doc, &Document::statusHintChanged);
        gif::GifImage copy;
        copy.assign(*f.doc.image()); // a copy has no handler
        QCOMPARE(hints.count(), 0);
        QImage picture(4, 4, QImage::Format_RGB32);
        picture.fill(Qt::red);
        f.doc.image()->addFrame(picture);
        QCOMPARE(hints.count(), 2);
        QCOMPARE(hints.at(0).at(0).toString(), QStringLiteral("Converting..."));
    }

    void loadingTimeText_data() {
        QTest::addColumn<QString>("locale");
        QTest::addColumn<qint64>("ms");
        QTest::addColumn<QString>("text");
        QTest::newRow("fraction") << "en_US" << qint64(125) << "Loaded in 0.125 s";
        QTest::newRow("whole seconds") << "en_US" << qint64(2000) << "Loaded in 2 s";
        QTest::newRow("no group separator") << "en_US" << qint64(1234500) << "Loaded in 1234.5 s";
        QTest::newRow("decimal comma") << "de_DE" << qint64(125) << "Loaded in 0,125 s";
        QTest::newRow("one millisecond") << "C" << qint64(1) << "Loaded in 0.001 s";
    }
    void loadingTimeText() {
        QFETCH(QString, locale);
        QFETCH(qint64, ms);
        QFETCH(QString, text);
        LocaleGuard guard;
        QLocale::setDefault(QLocale(locale));
        QCOMPARE(Document::loadingTimeText(ms), text);
    }

    void statusPanels() {
        DocumentFixture f;
        QCOMPARE(f.doc.framesStatusText(), QStringLiteral("Aucune image"));
        QCOMPARE(f.doc.sizeStatusText(), QString());
        f.doc.setImage(makeAnimation(12, 320, 240));
        f.doc.ren();
        QCOMPARE(f.doc.framesStatusText(), QStringLiteral("12 image(s)"));
        QCOMPARE(f.doc.sizeStatusText(), QStringLiteral("Animation 320x240"));
        f.doc.image()->clearFrames();
        f.doc.ren();
        QCOMPARE(f.doc.framesStatusText(), QStringLiteral("0 image(s)"));
    }

    // ---- New on an unmodified document ----

    void newOnAnUnmodifiedDocumentAsksNothing() {
        DocumentFixture f;
        f.loaded(3);
        f.doc.NumLoopsChange(4);
        f.doc.finiClick();
        f.doc.commentdoopened();
        f.doc.GifcommentChange(QStringLiteral("note"));
        f.doc.setModified(false);
        f.doc.selectFrame(1);
        QSignalSpy words(&f.doc, &Document::actionWord);
        QSignalSpy title(&f.doc, &Document::titleChanged);

        f.doc.FileNewItemClick();
        QCOMPARE(f.fakes.prompts.asked().size(), 0);
        QVERIFY(!f.doc.hasImage());
        QCOMPARE(f.doc.entryCount(), 0);
        QCOMPARE(f.doc.currentFrame(), -1);
        QCOMPARE(f.doc.name(), QStringLiteral("Untitled.gif"));
        QCOMPARE(title.last().at(0).toString(), QStringLiteral("Untitled.gif - Vorlane Gif"));
        QVERIFY(f.doc.path().isEmpty());
        QVERIFY(!f.doc.hasFile());
        QVERIFY(!f.doc.isModified());
        QCOMPARE(f.doc.view(), Document::View::Frame);
        QCOMPARE(f.doc.fields(), Document::Fields{});
        QVERIFY(f.doc.commentText().isEmpty());
        QVERIFY(f.doc.loopInfinite());
        QCOMPARE(f.doc.numLoops(), 4); // kept
        QVERIFY(f.doc.commentArmed()); // kept
        QCOMPARE(words.count(), 1);
        QCOMPARE(words.at(0).at(0).toString(), QStringLiteral("closed"));
        QVERIFY(f.doc.loadingTime().isEmpty());
        // Emptying the comment box is no edit.
        f.doc.GifcommentChange(QString());
        QVERIFY(!f.doc.isModified());
    }

    // ---- play and stop ----

    void playAndStop() {
        DocumentFixture f;
        f.doc.setImage(makeAnimation(4, 4, 4, NoControls));
        f.doc.ren();
        f.doc.selectFrame(3);
        QSignalSpy switched(&f.doc, &Document::animationSwitched);
        QSignalSpy words(&f.doc, &Document::actionWord);
        f.doc.play();
        QCOMPARE(f.doc.view(), Document::View::Animation);
        QCOMPARE(f.doc.fields(), Document::Fields{});
        QVERIFY(f.doc.image()->animate());
        QVERIFY(f.doc.image()->frame(2).graphicControlRecord); // every frame has a delay
        QCOMPARE(words.at(0).at(0).toString(), QStringLiteral("played"));

        QSignalSpy selection(&f.doc, &Document::currentFrameChanged);
        f.doc.stop();
        QVERIFY(!f.doc.image()->animate());
        QCOMPARE(f.doc.view(), Document::View::Frame);
        QCOMPARE(f.doc.currentFrame(), 3);
        QCOMPARE(selection.count(), 1); // the selection routine runs again for frame 3
        QCOMPARE(f.doc.fields(), (Document::Fields{true, true, true, true}));
        QCOMPARE(switched.count(), 2);
    }

    void stopWithoutSelectionSelectsTheFirstFrame() {
        DocumentFixture f;
        f.loaded(3);
        f.doc.stop();
        QCOMPARE(f.doc.currentFrame(), 0);
    }
};

QTEST_GUILESS_MAIN(TestDocumentModel)
#include "tst_model.moc"
