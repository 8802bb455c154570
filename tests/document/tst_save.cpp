// SPDX-License-Identifier: GPL-3.0-or-later
// Saving: Save, Save as, Save optimized as, Revert and Save image as with their dialogs
// and outcome table; failed saves that change nothing; the question to save first before
// New and closing, whose Yes runs Save.

#include <optional>

#include <unistd.h>

#include <QDir>
#include <QFileInfo>
#include <QImageReader>
#include <QTemporaryDir>
#include <QTest>

#include "document/DocumentFixture.h"
#include "support/FailingDisk.h"

using namespace vorlane;
using namespace vorlane::test;
using Answer = Prompts::Answer;
using Origin = Document::OpenOrigin;
using Result = Document::SaveResult;

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

    // A document opened from a fresh copy of threeFrames() under `name`.
    void openCopy(DocumentFixture& f, const QString& name, int loops = 3) {
        f.doc.FileOpen1Execute(Origin::CommandLine, writeFile(file(name), threeFrames(loops)));
        QCOMPARE(f.doc.frameCount(), 3);
    }

private Q_SLOTS:
    void initTestCase() { QVERIFY(m_dir.isValid()); }

    // ---- Save ----

    void saveOfANewAnimationAsksForAName() {
        DocumentFixture f;
        f.loaded(2);
        f.doc.changed();
        const QString name = file(QStringLiteral("new.gif"));
        f.fakes.dialogs.choose(name);
        QCOMPARE(f.doc.FileSave1Execute(), Result::Saved);

        QCOMPARE(f.fakes.dialogs.requests().size(), 1);
        const auto& r = f.fakes.dialogs.requests().front();
        QCOMPARE(r.kind, FakeFileDialogs::Kind::SavePicture);
        QCOMPARE(r.title, QStringLiteral("Save as"));
        QCOMPARE(r.filter, SaveFilter);
        QCOMPARE(r.defaultExtension, QStringLiteral("gif"));
        QVERIFY(r.askOverwrite);
        // Regression: the dialog started in the program's working folder.
        QCOMPARE(r.initialFile, QDir::home().filePath(QStringLiteral("Untitled.gif")));
        QCOMPARE(f.doc.title(), QStringLiteral("new.gif - Vorlane Gif"));
        QCOMPARE(f.doc.path(), name);
        QCOMPARE(f.doc.recentFiles().front(), name);
        QVERIFY(!f.doc.isModified());
        QVERIFY(f.doc.hasFile());
        QCOMPARE(int(load(name).frameCount()), 2);

        // The next Save writes in place without a dialog.
        f.doc.changed();
        QCOMPARE(f.doc.FileSave1Execute(), Result::Saved);
        QCOMPARE(f.fakes.dialogs.requests().size(), 1);
    }

    void saveOfAnOpenedFileWritesInPlace() {
        DocumentFixture f;
        openCopy(f, QStringLiteral("inplace.gif"));
        const QString name = file(QStringLiteral("inplace.gif"));
        for (int i = 1; i <= 4; ++i)
            f.fakes.settings.writeString(Document::RecentKey, QStringLiteral("F%1").arg(i),
                                         i == 3 ? name : QStringLiteral("/x/%1.gif").arg(i));
        f.doc.GifcommentChange(QStringLiteral("a\nb"));
        QVERIFY(f.doc.isModified());
        QCOMPARE(f.doc.FileSave1Execute(), Result::Saved);
        QCOMPARE(f.fakes.dialogs.requests().size(), 0);
        QCOMPARE(commentsOfFrame0(load(name)), QStringList{QStringLiteral("a\nb")});
        QCOMPARE(f.doc.recentFiles(),
                 (QStringList{name, QStringLiteral("/x/1.gif"), QStringLiteral("/x/2.gif"),
                              QStringLiteral("/x/4.gif")}));
        QVERIFY(!f.doc.isModified());
    }

    void saveWritesTheLoopRecordFirst() {
        DocumentFixture f;
        openCopy(f, QStringLiteral("noloop.gif"), -1);
        QVERIFY(f.doc.loopInfinite());
        f.doc.FileSave1Execute();
        const gif::GifImage saved = load(file(QStringLiteral("noloop.gif")));
        const auto& head = saved.frame(0).extensions.front();
        QCOMPARE(QString::fromStdString(head->applicationId()), QStringLiteral("NETSCAPE2.0"));
        QCOMPARE(*head->loopCount(), uint16_t(0));
    }

    void ownFileTypeIsWrittenAsGif() {
        DocumentFixture f;
        f.loaded(2);
        f.fakes.dialogs.choose(file(QStringLiteral("x.vlgf")));
        QCOMPARE(f.doc.FileSave1Execute(), Result::Saved);
        QVERIFY(readFile(file(QStringLiteral("x.vlgf"))).startsWith("GIF8"));
        QCOMPARE(f.doc.title(), QStringLiteral("x.vlgf - Vorlane Gif"));
    }

    void cancelledSaveChangesNoFlag() {
        DocumentFixture f;
        f.loaded(2);
        f.doc.changed();
        f.fakes.dialogs.cancel();
        QCOMPARE(f.doc.FileSave1Execute(), Result::Cancelled);
        QVERIFY(f.doc.isModified());
        QVERIFY(!f.doc.hasFile());
        QVERIFY(f.doc.path().isEmpty());
        QCOMPARE(f.doc.title(), QStringLiteral("Untitled.gif - Vorlane Gif"));
        QVERIFY(f.fakes.settings.writes().isEmpty());
    }

    void nothingToSave() {
        DocumentFixture f;
        f.doc.setImage(makeAnimation(0));
        f.doc.ren();
        f.doc.changed();
        f.fakes.prompts.expect(QStringLiteral("The animation has no images to save."), Answer::Ok);
        QCOMPARE(f.doc.FileSave1Execute(), Result::Cancelled);
        QCOMPARE(f.fakes.prompts.asked().front().icon, Prompts::Icon::Information);
        QCOMPARE(f.fakes.dialogs.requests().size(), 0);
        QVERIFY(f.doc.isModified());
        // Without an image at all, Save does nothing.
        DocumentFixture none;
        QCOMPARE(none.doc.FileSave1Execute(), Result::Cancelled);
        QCOMPARE(none.fakes.prompts.asked().size(), 0);
    }

    // A failed save says why and leaves the flags, names and recent list as they were.
    void failedSaveChangesNothing() {
        DocumentFixture f;
        openCopy(f, QStringLiteral("keep.gif"));
        f.doc.changed();
        const QString blocker = writeFile(file(QStringLiteral("notafolder")), {1});
        const QByteArray keep = readFile(file(QStringLiteral("keep.gif")));
        f.fakes.dialogs.choose(blocker + QStringLiteral("/anim.gif"));
        f.fakes.prompts.answer(Answer::Ok);
        f.doc.save2Click();
        QCOMPARE(f.fakes.prompts.asked().size(), 1);
        const auto& report = f.fakes.prompts.asked().front();
        QCOMPARE(report.icon, Prompts::Icon::Error);
        QVERIFY2(report.text.contains(QStringLiteral("notafolder")), qPrintable(report.text));
        QCOMPARE(f.doc.path(), file(QStringLiteral("keep.gif")));
        QCOMPARE(f.doc.name(), QStringLiteral("keep.gif"));
        QVERIFY(f.doc.isModified());
        QCOMPARE(readFile(file(QStringLiteral("keep.gif"))), keep);
        QCOMPARE(f.doc.statusHint(), QStringLiteral("To get help, press F1"));
        QCOMPARE(f.doc.progress(), -1);

        DocumentFixture fresh;
        fresh.loaded(1);
        fresh.doc.changed();
        fresh.fakes.dialogs.choose(blocker + QStringLiteral("/anim.gif"));
        fresh.fakes.prompts.answer(Answer::Ok);
        QCOMPARE(fresh.doc.FileSave1Execute(), Result::Failed);
        QVERIFY(fresh.doc.isModified());
        QVERIFY(!fresh.doc.hasFile());
        QVERIFY(fresh.doc.path().isEmpty());
        QVERIFY(fresh.fakes.settings.writes().isEmpty());
    }

    void failedSaveKeepsTheOldFile() {
        if (geteuid() == 0) QSKIP("folder permissions do not bind the superuser");
        DocumentFixture f;
        QTemporaryDir locked;
        const QString name =
            writeFile(locked.filePath(QStringLiteral("locked.gif")), threeFrames());
        f.doc.FileOpen1Execute(Origin::CommandLine, name);
        f.doc.changed();
        const QByteArray before = readFile(name);
        QFile::setPermissions(locked.path(), QFile::ReadOwner | QFile::ExeOwner);
        f.fakes.prompts.answer(Answer::Ok);
        QCOMPARE(f.doc.FileSave1Execute(), Result::Failed);
        QFile::setPermissions(locked.path(),
                              QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        QCOMPARE(readFile(name), before);
        QVERIFY(f.doc.isModified());
    }

    // Every way of writing on a disk that fills: the old file stays byte for byte, no
    // temporary file is left, the document stays modified, and the report gives the
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
        if (command == QLatin1String("save optimized")) target = folder + QStringLiteral("/small.gif");
        if (command == QLatin1String("save image")) target = folder + QStringLiteral("/pic.bmp");
        DocumentFixture f;
        f.doc.FileOpen1Execute(Origin::CommandLine, writeFile(source, threeFrames()));
        QCOMPARE(f.doc.frameCount(), 3);
        f.doc.selectFrame(0);
        if (target != source) writeFile(target, {'o', 'l', 'd'});
        const QByteArray before = readFile(target);
        f.doc.changed();
        if (target != source) f.fakes.dialogs.choose(target);
        if (command == QLatin1String("save image"))
            f.fakes.prompts.expect(QStringLiteral("pic.bmp already exists.\nDo you want to replace it?"),
                                   Answer::Yes);
        f.fakes.prompts.answer(Answer::Ok);
        {
            std::optional<FileSizeLimit> limit;
            if (onDisk)
                disk.fillLeaving(1024);
            else
                limit.emplace(20);
            if (command == QLatin1String("save")) QCOMPARE(f.doc.FileSave1Execute(), Result::Failed);
            if (command == QLatin1String("save as")) f.doc.save2Click();
            if (command == QLatin1String("save optimized")) f.doc.eosClick();
            if (command == QLatin1String("save image")) f.doc.enregistrercadreClick();
        }
        const QString reason = onDisk ? QStringLiteral("No space left on device")
                                      : QStringLiteral("File too large");
        QCOMPARE(f.fakes.prompts.asked().back().text,
                 QStringLiteral("The file \"%1\" could not be saved.\nCannot write \"%1\": %2")
                     .arg(target, reason));
        QCOMPARE(f.fakes.prompts.asked().back().icon, Prompts::Icon::Error);
        QCOMPARE(readFile(target), before);
        QVERIFY(f.doc.isModified());
        QCOMPARE(f.doc.path(), source);
        QStringList left = QDir(folder).entryList(QDir::Files | QDir::Hidden);
        left.removeAll(QStringLiteral("filler"));
        QStringList expected{QStringLiteral("anim.gif")};
        if (target != source) expected << QFileInfo(target).fileName();
        expected.sort();
        QCOMPARE(left, expected);
    }

    // ---- Save as ----

    void saveAsKeepsTheFlagsAndTheRecentList() {
        DocumentFixture f;
        openCopy(f, QStringLiteral("orig.gif"));
        f.doc.GifcommentChange(QStringLiteral("typed later"));
        QVERIFY(f.doc.isModified());
        const QStringList recent = f.doc.recentFiles();
        const QString copy = file(QStringLiteral("copy.gif"));
        f.fakes.dialogs.choose(copy);
        f.doc.save2Click();
        QCOMPARE(f.fakes.dialogs.requests().front().title, QStringLiteral("Save as"));
        QCOMPARE(f.fakes.dialogs.requests().front().initialFile, file(QStringLiteral("orig.gif")));
        QCOMPARE(f.fakes.dialogs.requests().front().filter, SaveFilter);
        QCOMPARE(f.doc.path(), copy);
        QCOMPARE(f.doc.title(), QStringLiteral("copy.gif - Vorlane Gif"));
        QVERIFY(f.doc.isModified());
        QCOMPARE(f.doc.recentFiles(), recent);
        // Save as carries the comment as last written, not the box.
        QCOMPARE(commentsOfFrame0(load(copy)), QStringList{QStringLiteral("hello")});

        // A later Save writes to copy.gif, with the box.
        QCOMPARE(f.doc.FileSave1Execute(), Result::Saved);
        QCOMPARE(f.fakes.dialogs.requests().size(), 1);
        QCOMPARE(commentsOfFrame0(load(copy)), QStringList{QStringLiteral("typed later")});
        QCOMPARE(f.doc.recentFiles().front(), copy);
    }

    // ---- Save optimized as ----

    void saveOptimizedLeavesTheDocumentAlone() {
        DocumentFixture f;
        openCopy(f, QStringLiteral("big.gif"));
        f.doc.changed();
        const QString title = f.doc.title();
        const QStringList recent = f.doc.recentFiles();
        const QString out = file(QStringLiteral("small.gif"));
        f.fakes.dialogs.choose(out);
        f.doc.eosClick();
        const auto& r = f.fakes.dialogs.requests().front();
        QCOMPARE(r.title, QStringLiteral("Save optimized as..."));
        QCOMPARE(r.filter, QStringLiteral("Gif image (*.gif)|*.gif"));
        QCOMPARE(r.defaultExtension, QStringLiteral("gif"));
        QCOMPARE(f.fakes.prompts.asked().size(), 0);
        QCOMPARE(f.doc.title(), title);
        QCOMPARE(f.doc.path(), file(QStringLiteral("big.gif")));
        QVERIFY(f.doc.isModified());
        QCOMPARE(f.doc.recentFiles(), recent);
        QCOMPARE(f.doc.frameCount(), 3);
        // The document image keeps its full-size frames and comment.
        QCOMPARE(int(f.doc.image()->frame(1).width()), 8);
        QVERIFY(f.doc.thereiscommentext());
        const gif::GifImage saved = load(out);
        QVERIFY(saved.frameCount() >= 1);
        QVERIFY(commentsOfFrame0(saved).isEmpty()); // cleanup drops comments
    }

    // ---- Revert ----

    // Revert asks first, with no save question, and opens the file again; a file that is
    // gone is reported and the edits stay, with the first frame selected as Revert does
    // before opening.
    void revert_data() {
        QTest::addColumn<int>("answer");
        QTest::addColumn<bool>("fileGone");
        QTest::addColumn<bool>("reverted");
        QTest::addColumn<int>("current");
        QTest::newRow("cancelled") << int(Answer::Cancel) << false << false << 2;
        QTest::newRow("yes") << int(Answer::Yes) << false << true << 0;
        QTest::newRow("yes, file gone") << int(Answer::Yes) << true << false << 0;
    }
    void revert() {
        QFETCH(int, answer);
        QFETCH(bool, fileGone);
        QFETCH(bool, reverted);
        QFETCH(int, current);
        DocumentFixture f;
        openCopy(f, QStringLiteral("revert.gif")); // loops 3 times
        f.doc.selectFrame(2);
        f.doc.infiniClick();
        if (fileGone) QVERIFY(QFile::remove(file(QStringLiteral("revert.gif"))));
        f.fakes.prompts.expect(RevertQuestion, Answer(answer));
        if (fileGone) f.fakes.prompts.expect(QStringLiteral("File does not exist"), Answer::Ok);
        f.doc.retablirClick();
        const auto& asked = f.fakes.prompts.asked();
        QCOMPARE(asked.size(), fileGone ? 2 : 1);
        QCOMPARE(asked.front().buttons, Prompts::Buttons::YesCancel);
        QCOMPARE(asked.front().icon, Prompts::Icon::Warning);
        QCOMPARE(f.doc.frameCount(), 3);
        QCOMPARE(f.doc.isModified(), !reverted);
        QCOMPARE(f.doc.loopInfinite(), !reverted);
        QCOMPARE(f.doc.currentFrame(), current);
    }

    // ---- Save image as ----

    // The name written gets ".bmp" when it lacks it; replacing a file is asked about
    // that name (the dialog itself is not asked to, as it only sees the typed name).
    void saveImageAs_data() {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("written");
        QTest::addColumn<bool>("exists");
        QTest::addColumn<int>("answer");
        QTest::newRow("without extension") << "pic" << "pic.bmp" << false << -1;
        QTest::newRow("with extension") << "pic2.bmp" << "pic2.bmp" << false << -1;
        QTest::newRow("other extension") << "pic3.gif" << "pic3.gif.bmp" << false << -1;
        QTest::newRow("typed name without extension exists, replaced")
            << "pic4" << "pic4.bmp" << true << int(Answer::Yes);
        QTest::newRow("typed name without extension exists, kept")
            << "pic5" << "pic5.bmp" << true << int(Answer::No);
        QTest::newRow("typed name exists, kept") << "pic6.bmp" << "pic6.bmp" << true << int(Answer::No);
    }
    void saveImageAs() {
        QFETCH(QString, typed);
        QFETCH(QString, written);
        QFETCH(bool, exists);
        QFETCH(int, answer);
        DocumentFixture f;
        openCopy(f, QStringLiteral("frames.gif"));
        f.doc.selectFrame(1);
        if (exists) writeFile(file(written), {'o', 'l', 'd'});
        f.fakes.dialogs.choose(file(typed));
        if (exists)
            f.fakes.prompts.expect(written + QStringLiteral(" already exists.\nDo you want to replace it?"),
                                   Answer(answer));
        f.doc.enregistrercadreClick();
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
        QVERIFY(!f.doc.isModified());
    }

    void saveImageAsNeedsACurrentFrame() {
        DocumentFixture f;
        f.loaded(2);
        f.doc.enregistrercadreClick(); // no current frame: no dialog
        QCOMPARE(f.fakes.dialogs.requests().size(), 0);
        f.doc.selectFrame(0);
        f.fakes.dialogs.cancel();
        f.doc.enregistrercadreClick();
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
        if (closing) QVERIFY(f.doc.FormCloseQuery()); // unmodified: no question
        f.doc.changed();
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
            wentOn = f.doc.FormCloseQuery();
        } else {
            f.doc.FileNewItemClick();
            wentOn = !f.doc.hasImage();
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
        if (!goesOn) QCOMPARE(f.doc.entryCount(), 2);
        // Closing without saving leaves the flag set as the program ends.
        QCOMPARE(f.doc.isModified(), !goesOn || (closing && reply != YesSaved));
    }
};

QTEST_GUILESS_MAIN(TestSave)
#include "tst_save.moc"
