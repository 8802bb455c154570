// SPDX-License-Identifier: GPL-3.0-or-later
// Saving: Save, Save as, Save optimized as, Revert and Save image as with their dialogs
// and outcome table; failed saves that change nothing; the question to save first before
// New and closing, whose Yes runs Save; New itself.

#include <memory>
#include <optional>
#include <unistd.h>

#include <QDir>
#include <QFileInfo>
#include <QImageReader>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QUndoStack>

#include "document/DocumentFixture.h"
#include "document/EditSteps.h"
#include "support/AnimationSnapshot.h"
#include "support/FailingDisk.h"

using namespace vorlane;
using namespace vorlane::test;
using Answer = Prompts::Answer;
using Result = DocumentFiles::SaveResult;

namespace {
const QString SaveFilter =
    QStringLiteral("GIF image (*.gif)|*.gif|Vorlane Gif format (*.vlgf)|*.vlgf");
const QString NewQuestion = QStringLiteral("Do you want to save changes made to current "
                                           "animation \"Untitled.gif\" before creating new "
                                           "animation?");
const QString QuitQuestion = QStringLiteral(
    "You have not saved the changes.\nDo you want to save current file before to quit?");
const QString RevertQuestion =
    QStringLiteral("Do you want to recover the last saved version of this file? Be careful, "
                   "this will definetly revert all unsaved changes.");

// How the question to save first is answered, and for Yes, how the save goes.
enum Reply { No, Cancel, YesSaved, YesDialogCancelled, YesFailed };

gif::GifImage load(const QString& name) {
    gif::GifImage image;
    image.load(name);
    return image;
}

QStringList commentsOfFrame0(const gif::GifImage& image) {
    QStringList texts;
    for (const auto& r : image.frame(0).extensions)
        if (r->isComment()) texts << QString::fromStdString(r->text());
    return texts;
}
} // namespace

class TestSave : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    QString file(const QString& name) const { return m_dir.filePath(name); }

    // An animation opened from a fresh copy of threeFrames() under `name`.
    void openCopy(DocumentFixture& f, const QString& name, int loops = 3) {
        f.open(writeFile(file(name), threeFrames(loops)));
        QCOMPARE(f.animation.frameCount(), 3);
    }
    static void typeComment(DocumentFixture& f, const QString& text) {
        f.animation.push(std::make_unique<SetCommentStep>(QStringLiteral("Comment"), text, true));
    }

private Q_SLOTS:
    void initTestCase() { QVERIFY(m_dir.isValid()); }

    // ---- Save ----

    void saveOfANewAnimationAsksForAName() {
        DocumentFixture f;
        f.loaded(2);
        f.edit();
        const QString name = file(QStringLiteral("new.gif"));
        f.fakes.dialogs.choose(name);
        QSignalSpy titles(&f.files, &DocumentFiles::titleChanged);
        QCOMPARE(f.files.save(), Result::Saved);

        QCOMPARE(f.fakes.dialogs.requests().size(), 1);
        const auto& r = f.fakes.dialogs.requests().front();
        QCOMPARE(r.kind, FakeFileDialogs::Kind::SavePicture);
        QCOMPARE(r.title, QStringLiteral("Save as"));
        QCOMPARE(r.filter, SaveFilter);
        QCOMPARE(r.defaultExtension, QStringLiteral("gif"));
        QVERIFY(r.askOverwrite);
        // Regression: the dialog started in the program's working folder.
        QCOMPARE(r.initialFile, QDir::home().filePath(QStringLiteral("Untitled.gif")));
        QCOMPARE(f.files.title(), QStringLiteral("new.gif - Vorlane Gif"));
        QCOMPARE(titles.last().first().toString(), QStringLiteral("new.gif - Vorlane Gif"));
        QCOMPARE(f.list.label(0), QStringLiteral("#001: new.gif"));
        QCOMPARE(f.files.path(), name);
        QCOMPARE(f.recent.file(1), name);
        QVERIFY(!f.animation.isModified());
        QVERIFY(f.files.hasFile());
        QCOMPARE(int(load(name).frameCount()), 2);

        // The next Save writes in place without a dialog.
        f.edit();
        QCOMPARE(f.files.save(), Result::Saved);
        QCOMPARE(f.fakes.dialogs.requests().size(), 1);
    }

    void saveOfAnOpenedFileWritesInPlace() {
        DocumentFixture f;
        openCopy(f, QStringLiteral("inplace.gif"));
        const QString name = file(QStringLiteral("inplace.gif"));
        for (int i = 1; i <= 4; ++i)
            f.fakes.settings.writeString(RecentFiles::Key, QStringLiteral("F%1").arg(i),
                                         i == 3 ? name : QStringLiteral("/x/%1.gif").arg(i));
        typeComment(f, QStringLiteral("a\nb"));
        QVERIFY(f.animation.isModified());
        QCOMPARE(f.files.save(), Result::Saved);
        QCOMPARE(f.fakes.dialogs.requests().size(), 0);
        QCOMPARE(commentsOfFrame0(load(name)), QStringList{QStringLiteral("a\nb")});
        QCOMPARE(f.recent.files(),
                 (QStringList{name, QStringLiteral("/x/1.gif"), QStringLiteral("/x/2.gif"),
                              QStringLiteral("/x/4.gif")}));
        QVERIFY(!f.animation.isModified());
        // Undoing back past the saved state modifies the animation again.
        f.animation.undoStack().undo();
        QVERIFY(f.animation.isModified());
        f.animation.undoStack().redo();
        QVERIFY(!f.animation.isModified());
    }

    void saveWritesTheLoopRecordFirst() {
        DocumentFixture f;
        openCopy(f, QStringLiteral("noloop.gif"), -1);
        QVERIFY(f.animation.loop().infinite);
        f.files.save();
        const gif::GifImage saved = load(file(QStringLiteral("noloop.gif")));
        const auto& head = saved.frame(0).extensions.front();
        QCOMPARE(QString::fromStdString(head->applicationId()), QStringLiteral("NETSCAPE2.0"));
        QCOMPARE(*head->loopCount(), uint16_t(0));
    }

    void ownFileTypeIsWrittenAsGif() {
        DocumentFixture f;
        f.loaded(2);
        f.fakes.dialogs.choose(file(QStringLiteral("x.vlgf")));
        QCOMPARE(f.files.save(), Result::Saved);
        QVERIFY(readFile(file(QStringLiteral("x.vlgf"))).startsWith("GIF8"));
        QCOMPARE(f.files.title(), QStringLiteral("x.vlgf - Vorlane Gif"));
    }

    void cancelledSaveChangesNoFlag() {
        DocumentFixture f;
        f.loaded(2);
        f.edit();
        f.fakes.dialogs.cancel();
        QCOMPARE(f.files.save(), Result::Cancelled);
        QVERIFY(f.animation.isModified());
        QVERIFY(!f.files.hasFile());
        QVERIFY(f.files.path().isEmpty());
        QCOMPARE(f.files.title(), QStringLiteral("Untitled.gif - Vorlane Gif"));
        QVERIFY(f.fakes.settings.writes().isEmpty());
    }

    void nothingToSave() {
        DocumentFixture f;
        f.loaded(0);
        f.edit();
        f.fakes.prompts.expect(DocumentFiles::NothingToSave, Answer::Ok);
        QCOMPARE(f.files.save(), Result::Cancelled);
        QCOMPARE(f.fakes.prompts.asked().front().icon, Prompts::Icon::Information);
        QCOMPARE(f.fakes.dialogs.requests().size(), 0);
        QVERIFY(f.animation.isModified());
        // Without an image at all, Save does nothing.
        DocumentFixture none;
        QCOMPARE(none.files.save(), Result::Cancelled);
        QCOMPARE(none.fakes.prompts.asked().size(), 0);
    }

    // A failed save says why and leaves the flags, names and recent list as they were.
    void failedSaveChangesNothing() {
        DocumentFixture f;
        openCopy(f, QStringLiteral("keep.gif"));
        f.edit();
        const QString blocker = writeFile(file(QStringLiteral("notafolder")), {1});
        const QByteArray keep = readFile(file(QStringLiteral("keep.gif")));
        f.fakes.dialogs.choose(blocker + QStringLiteral("/anim.gif"));
        f.fakes.prompts.answer(Answer::Ok);
        QSignalSpy progress(&f.files, &DocumentFiles::progress);
        f.files.saveAs();
        QCOMPARE(f.fakes.prompts.asked().size(), 1);
        const auto& report = f.fakes.prompts.asked().front();
        QCOMPARE(report.icon, Prompts::Icon::Error);
        QVERIFY2(report.text.contains(QStringLiteral("notafolder")), qPrintable(report.text));
        QCOMPARE(f.files.path(), file(QStringLiteral("keep.gif")));
        QCOMPARE(f.animation.name(), QStringLiteral("keep.gif"));
        QVERIFY(f.animation.isModified());
        QCOMPARE(readFile(file(QStringLiteral("keep.gif"))), keep);
        // The progress bar does not stay behind.
        QVERIFY(!progress.isEmpty());
        QCOMPARE(progress.last().at(0).value<gif::Stage>(), gif::Stage::Ending);

        DocumentFixture fresh;
        fresh.loaded(1);
        fresh.edit();
        fresh.fakes.dialogs.choose(blocker + QStringLiteral("/anim.gif"));
        fresh.fakes.prompts.answer(Answer::Ok);
        QCOMPARE(fresh.files.save(), Result::Failed);
        QVERIFY(fresh.animation.isModified());
        QVERIFY(!fresh.files.hasFile());
        QVERIFY(fresh.files.path().isEmpty());
        QCOMPARE(fresh.animation.name(), QStringLiteral("Untitled.gif"));
        QVERIFY(fresh.fakes.settings.writes().isEmpty());
    }

    void failedSaveKeepsTheOldFile() {
        if (geteuid() == 0) QSKIP("folder permissions do not bind the superuser");
        DocumentFixture f;
        QTemporaryDir locked;
        const QString name =
            writeFile(locked.filePath(QStringLiteral("locked.gif")), threeFrames());
        f.open(name);
        f.edit();
        const QByteArray before = readFile(name);
        QFile::setPermissions(locked.path(), QFile::ReadOwner | QFile::ExeOwner);
        f.fakes.prompts.answer(Answer::Ok);
        QCOMPARE(f.files.save(), Result::Failed);
        QFile::setPermissions(locked.path(),
                              QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        QCOMPARE(readFile(name), before);
        QVERIFY(f.animation.isModified());
    }

    // Every way of writing on a disk that fills: the old file stays byte for byte, no
    // temporary file is left, the animation stays modified, and the report gives the
    // system's reason (a buffered writer lost the last flush of such small files and
    // reported success).
    void failedWritesKeepTheFileAndSayWhy_data() {
        QTest::addColumn<QString>("command");
        QTest::addColumn<QString>("where");
        for (const char* c : {"save", "save as", "save optimized", "save image"}) {
            QTest::addRow("%s, full disk", c) << QString::fromLatin1(c) << "disk";
            QTest::addRow("%s, size limit", c) << QString::fromLatin1(c) << "limit";
        }
    }
    void failedWritesKeepTheFileAndSayWhy() {
        QFETCH(QString, command);
        QFETCH(QString, where);
        const bool onDisk = where == QLatin1String("disk");
        TinyDisk disk;
        QTemporaryDir plain;
        if (onDisk && !disk.mounted()) QSKIP("mounting a tiny file system needs the superuser");
        const QString folder = onDisk ? disk.path() : plain.path();
        const QString source = folder + QStringLiteral("/anim.gif");
        QString target = source;
        if (command == QLatin1String("save as")) target = folder + QStringLiteral("/copy.gif");
        if (command == QLatin1String("save optimized"))
            target = folder + QStringLiteral("/small.gif");
        if (command == QLatin1String("save image")) target = folder + QStringLiteral("/pic.bmp");
        DocumentFixture f;
        f.open(writeFile(source, threeFrames()));
        QCOMPARE(f.animation.frameCount(), 3);
        if (target != source) writeFile(target, {'o', 'l', 'd'});
        const QByteArray before = readFile(target);
        f.edit();
        if (target != source) f.fakes.dialogs.choose(target);
        if (command == QLatin1String("save image"))
            f.fakes.prompts.expect(
                QStringLiteral("pic.bmp already exists.\nDo you want to replace it?"), Answer::Yes);
        f.fakes.prompts.answer(Answer::Ok);
        {
            std::optional<FileSizeLimit> limit;
            if (onDisk)
                disk.fillLeaving(1024);
            else
                limit.emplace(20);
            if (command == QLatin1String("save")) QCOMPARE(f.files.save(), Result::Failed);
            if (command == QLatin1String("save as")) f.files.saveAs();
            if (command == QLatin1String("save optimized")) f.files.saveOptimizedAs();
            if (command == QLatin1String("save image")) f.files.saveFrameAsBitmap(0);
        }
        const QString reason =
            onDisk ? QStringLiteral("No space left on device") : QStringLiteral("File too large");
        QCOMPARE(f.fakes.prompts.asked().back().text,
                 QStringLiteral("The file \"%1\" could not be saved.\nCannot write \"%1\": %2")
                     .arg(target, reason));
        QCOMPARE(f.fakes.prompts.asked().back().icon, Prompts::Icon::Error);
        QCOMPARE(readFile(target), before);
        QVERIFY(f.animation.isModified());
        QCOMPARE(f.files.path(), source);
        QStringList left = QDir(folder).entryList(QDir::Files | QDir::Hidden);
        left.removeAll(QStringLiteral("filler"));
        QStringList expected{QStringLiteral("anim.gif")};
        if (target != source) expected << QFileInfo(target).fileName();
        expected.sort();
        QCOMPARE(left, expected);
    }

    // ---- Save as ----

    // Save as names the animation after the copy but keeps it modified and out of the
    // recent list, and writes the comment as last saved; the next Save writes the copy
    // with the comment as it stands.
    void saveAsKeepsTheFlagsAndTheRecentList() {
        DocumentFixture f;
        openCopy(f, QStringLiteral("orig.gif"));
        typeComment(f, QStringLiteral("typed later"));
        QVERIFY(f.animation.isModified());
        const QStringList recent = f.recent.files();
        const QString copy = file(QStringLiteral("copy.gif"));
        f.fakes.dialogs.choose(copy);
        f.files.saveAs();
        QCOMPARE(f.fakes.dialogs.requests().front().title, QStringLiteral("Save as"));
        QCOMPARE(f.fakes.dialogs.requests().front().initialFile, file(QStringLiteral("orig.gif")));
        QCOMPARE(f.fakes.dialogs.requests().front().filter, SaveFilter);
        QCOMPARE(f.files.path(), copy);
        QCOMPARE(f.files.title(), QStringLiteral("copy.gif - Vorlane Gif"));
        QVERIFY(f.animation.isModified());
        QCOMPARE(f.recent.files(), recent);
        QCOMPARE(commentsOfFrame0(load(copy)), QStringList{QStringLiteral("hello")});

        QCOMPARE(f.files.save(), Result::Saved);
        QCOMPARE(f.fakes.dialogs.requests().size(), 1);
        QCOMPARE(commentsOfFrame0(load(copy)), QStringList{QStringLiteral("typed later")});
        QCOMPARE(f.recent.file(1), copy);
        // What Save wrote is what a later Save as writes.
        const QString second = file(QStringLiteral("second.gif"));
        f.fakes.dialogs.choose(second);
        f.files.saveAs();
        QCOMPARE(commentsOfFrame0(load(second)), QStringList{QStringLiteral("typed later")});
    }

    // ---- Save optimized as ----

    void saveOptimizedLeavesTheAnimationAlone() {
        DocumentFixture f;
        openCopy(f, QStringLiteral("big.gif"));
        f.edit();
        const AnimationSnapshot before = AnimationSnapshot::of(f.animation);
        const QString title = f.files.title();
        const QStringList recent = f.recent.files();
        const QString out = file(QStringLiteral("small.gif"));
        f.fakes.dialogs.choose(out);
        f.files.saveOptimizedAs();
        const auto& r = f.fakes.dialogs.requests().front();
        QCOMPARE(r.title, QStringLiteral("Save optimized as..."));
        QCOMPARE(r.filter, QStringLiteral("Gif image (*.gif)|*.gif"));
        QCOMPARE(r.defaultExtension, QStringLiteral("gif"));
        QCOMPARE(f.fakes.prompts.asked().size(), 0);
        QCOMPARE(f.files.title(), title);
        QCOMPARE(f.files.path(), file(QStringLiteral("big.gif")));
        QVERIFY(f.animation.isModified());
        QCOMPARE(f.recent.files(), recent);
        // The optimizer worked on a copy: the frames keep their full size and records,
        // and the comment stays.
        QCOMPARE(AnimationSnapshot::of(f.animation), before);
        QCOMPARE(f.animation.comment(), QStringLiteral("hello"));
        const gif::GifImage saved = load(out);
        QVERIFY(saved.frameCount() >= 1);
        QVERIFY(commentsOfFrame0(saved).isEmpty()); // cleanup drops comments
    }

    // ---- Revert ----

    // Revert asks first, with no save question, and opens the file again with a new
    // history; a file that is gone is reported and the edits stay.
    void revert_data() {
        QTest::addColumn<int>("answer");
        QTest::addColumn<bool>("fileGone");
        QTest::addColumn<bool>("reverted");
        QTest::newRow("cancelled") << int(Answer::Cancel) << false << false;
        QTest::newRow("yes") << int(Answer::Yes) << false << true;
        QTest::newRow("yes, file gone") << int(Answer::Yes) << true << false;
    }
    void revert() {
        QFETCH(int, answer);
        QFETCH(bool, fileGone);
        QFETCH(bool, reverted);
        DocumentFixture f;
        openCopy(f, QStringLiteral("revert.gif")); // loops 3 times
        f.animation.push(
            std::make_unique<SetLoopStep>(QStringLiteral("Loop"), LoopSetting{true, 3}));
        if (fileGone) QVERIFY(QFile::remove(file(QStringLiteral("revert.gif"))));
        f.fakes.prompts.expect(RevertQuestion, Answer(answer));
        if (fileGone) f.fakes.prompts.expect(DocumentFiles::FileMissing, Answer::Ok);
        f.files.revert();
        const auto& asked = f.fakes.prompts.asked();
        QCOMPARE(asked.size(), fileGone ? 2 : 1);
        QCOMPARE(asked.front().buttons, Prompts::Buttons::YesCancel);
        QCOMPARE(asked.front().icon, Prompts::Icon::Warning);
        QCOMPARE(f.animation.frameCount(), 3);
        QCOMPARE(f.animation.isModified(), !reverted);
        QCOMPARE(f.animation.loop().infinite, !reverted);
        QCOMPARE(f.animation.undoStack().canUndo(), !reverted);
    }

    void revertNeedsAFile() {
        DocumentFixture f;
        f.loaded(2);
        f.edit();
        f.files.revert();
        QCOMPARE(f.fakes.prompts.asked().size(), 0);
        QVERIFY(f.animation.isModified());
    }

    // ---- Save image as ----

    // The name written gets ".bmp" when it lacks it; replacing a file is asked about
    // that name (the dialog itself is not asked to, as it only sees the typed name).
    void saveImageAs_data() {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("written");
        QTest::addColumn<bool>("exists");
        QTest::addColumn<int>("answer");
        QTest::newRow("without extension") << "pic"
                                           << "pic.bmp" << false << -1;
        QTest::newRow("with extension") << "pic2.bmp"
                                        << "pic2.bmp" << false << -1;
        QTest::newRow("other extension") << "pic3.gif"
                                         << "pic3.gif.bmp" << false << -1;
        QTest::newRow("typed name without extension exists, replaced")
            << "pic4"
            << "pic4.bmp" << true << int(Answer::Yes);
        QTest::newRow("typed name without extension exists, kept")
            << "pic5"
            << "pic5.bmp" << true << int(Answer::No);
        QTest::newRow("typed name exists, kept") << "pic6.bmp"
                                                 << "pic6.bmp" << true << int(Answer::No);
    }
    void saveImageAs() {
        QFETCH(QString, typed);
        QFETCH(QString, written);
        QFETCH(bool, exists);
        QFETCH(int, answer);
        DocumentFixture f;
        openCopy(f, QStringLiteral("frames.gif"));
        if (exists) writeFile(file(written), {'o', 'l', 'd'});
        f.fakes.dialogs.choose(file(typed));
        if (exists)
            f.fakes.prompts.expect(
                written + QStringLiteral(" already exists.\nDo you want to replace it?"),
                Answer(answer));
        f.files.saveFrameAsBitmap(1);
        const auto& r = f.fakes.dialogs.requests().front();
        QCOMPARE(r.kind, FakeFileDialogs::Kind::SaveFile);
        QVERIFY(r.title.isEmpty());
        QCOMPARE(r.filter, QStringLiteral("Bitmap image (*.bmp)|*.bmp"));
        QVERIFY(r.defaultExtension.isEmpty());
        QVERIFY(!r.askOverwrite);
        QCOMPARE(f.fakes.prompts.asked().size(), exists ? 1 : 0);
        QVERIFY(!QFileInfo::exists(file(typed)) || typed == written);
        if (exists) {
            QCOMPARE(f.fakes.prompts.asked().front().icon, Prompts::Icon::Warning);
            QCOMPARE(f.fakes.prompts.asked().front().buttons, Prompts::Buttons::YesNo);
        }
        if (answer == int(Answer::No)) {
            QCOMPARE(readFile(file(written)), QByteArray("old"));
            return;
        }
        QImageReader reader(file(written));
        QCOMPARE(reader.format(), QByteArray("bmp"));
        const QImage picture = reader.read();
        QCOMPARE(picture.size(), QSize(8, 6));
        QCOMPARE(picture.pixel(3, 3), qRgb(0, 255, 0));
        QVERIFY(!f.animation.isModified());
    }

    void saveImageAsNeedsAFrame() {
        DocumentFixture f;
        f.loaded(2);
        f.files.saveFrameAsBitmap(-1); // no current frame: no dialog
        f.files.saveFrameAsBitmap(2);
        QCOMPARE(f.fakes.dialogs.requests().size(), 0);
        f.fakes.dialogs.cancel();
        f.files.saveFrameAsBitmap(0);
        QCOMPARE(f.fakes.dialogs.requests().size(), 1);
        QCOMPARE(f.fakes.prompts.asked().size(), 0);
    }

    // ---- New and closing: the question to save first ----

    // No goes on without saving and Cancel stops; Yes runs Save, and goes on unless the
    // save failed (a cancelled save dialog goes on without saving).
    void saveQuestionBeforeNewAndClosing_data() {
        QTest::addColumn<bool>("closing");
        QTest::addColumn<int>("reply");
        QTest::addColumn<bool>("goesOn");
        const std::pair<Reply, const char*> replies[] = {
            {No, "no"},
            {Cancel, "cancel"},
            {YesSaved, "yes, saved"},
            {YesDialogCancelled, "yes, dialog cancelled"},
            {YesFailed, "yes, save failed"}};
        for (bool closing : {false, true})
            for (const auto& [reply, name] : replies)
                QTest::addRow("%s, %s", closing ? "closing" : "New", name)
                    << closing << int(reply) << (reply != Cancel && reply != YesFailed);
    }
    void saveQuestionBeforeNewAndClosing() {
        QFETCH(bool, closing);
        QFETCH(int, reply);
        QFETCH(bool, goesOn);
        DocumentFixture f;
        f.loaded(2);
        if (closing) QVERIFY(f.files.mayClose()); // unmodified: no question
        f.edit();
        const QString saved = file(QStringLiteral("asked-%1-%2.gif").arg(int(closing)).arg(reply));
        f.fakes.prompts.expect(closing ? QuitQuestion : NewQuestion, reply == No ? Answer::No
                                                                     : reply == Cancel
                                                                         ? Answer::Cancel
                                                                         : Answer::Yes);
        if (reply == YesSaved) f.fakes.dialogs.choose(saved);
        if (reply == YesDialogCancelled) f.fakes.dialogs.cancel();
        if (reply == YesFailed) {
            f.fakes.dialogs.choose(writeFile(file(QStringLiteral("blocker")), {1}) +
                                   QStringLiteral("/x.gif"));
            f.fakes.prompts.answer(Answer::Ok); // the report of the failure
        }

        bool wentOn = false;
        if (closing) {
            wentOn = f.files.mayClose();
        } else {
            wentOn = f.files.newAnimation();
            QCOMPARE(!f.animation.hasImage(), wentOn);
        }
        QCOMPARE(wentOn, goesOn);
        const auto& asked = f.fakes.prompts.asked();
        QCOMPARE(asked.size(), reply == YesFailed ? 2 : 1);
        QCOMPARE(asked.front().icon, Prompts::Icon::Warning);
        QCOMPARE(asked.front().buttons, Prompts::Buttons::YesNoCancel);
        if (reply == YesFailed) QCOMPARE(asked.back().icon, Prompts::Icon::Error);
        QCOMPARE(f.fakes.dialogs.requests().size(), reply >= YesSaved ? 1 : 0);
        QCOMPARE(QFileInfo::exists(saved), reply == YesSaved);
        if (reply == YesSaved) QCOMPARE(int(load(saved).frameCount()), 2);
        if (!goesOn) QCOMPARE(f.animation.frameCount(), 2);
        // Closing without saving leaves the flag set as the program ends.
        QCOMPARE(f.animation.isModified(), !goesOn || (closing && reply != YesSaved));
    }

    // ---- New ----

    // New on an unmodified animation asks nothing and leaves "Untitled.gif" without an
    // image, a file, a comment or a history; the loop count stays as the field shows it.
    void newEmptiesTheAnimation() {
        DocumentFixture f;
        openCopy(f, QStringLiteral("new.gif"), 4);
        typeComment(f, QStringLiteral("note"));
        QVERIFY(f.files.save() == Result::Saved);
        SignalLog log(f);

        QVERIFY(f.files.newAnimation());
        QCOMPARE(f.fakes.prompts.asked().size(), 0);
        QVERIFY(!f.animation.hasImage());
        QCOMPARE(f.list.rowCount(), 0);
        QCOMPARE(f.animation.name(), QStringLiteral("Untitled.gif"));
        QCOMPARE(f.files.title(), QStringLiteral("Untitled.gif - Vorlane Gif"));
        QVERIFY(f.files.path().isEmpty());
        QVERIFY(!f.files.hasFile());
        QVERIFY(!f.animation.isModified());
        QVERIFY(!f.animation.undoStack().canUndo());
        QVERIFY(f.animation.comment().isEmpty());
        QCOMPARE(f.animation.loop(), (LoopSetting{true, 4}));
        QVERIFY(log.has(QStringLiteral("reset")));
        QCOMPARE(log.only({QStringLiteral("titleChanged"), QStringLiteral("loadingTimeChanged"),
                           QStringLiteral("cleared")}),
                 (QStringList{QStringLiteral("titleChanged(Untitled.gif - Vorlane Gif)"),
                              QStringLiteral("loadingTimeChanged()"), QStringLiteral("cleared")}));
    }
};

QTEST_GUILESS_MAIN(TestSave)
#include "tst_save.moc"
