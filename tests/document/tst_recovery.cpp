// SPDX-License-Identifier: GPL-3.0-or-later
// Recovery copies without a window: a copy written, its editor gone (the writer destroyed
// without discarding, as a crash leaves it), and the next start finding it and getting
// the animation back; a write cut off part-way; when the copy goes; damaged and old
// copies at start-up.

#include <memory>
#include <numeric>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLockFile>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QUndoStack>

#include "document/DocumentFixture.h"
#include "document/EditSteps.h"
#include "document/Recovery.h"
#include "support/AnimationSnapshot.h"
#include "support/FailingDisk.h"

using namespace vorlane;
using namespace vorlane::test;

namespace {

// `count` frames of w x h of noise over a 256-colour table, which the LZW coder cannot
// shrink much: copies of a known, large size.
std::vector<gif::Frame> noiseFrames(int count, uint16_t w, uint16_t h, uint32_t seed) {
    std::vector<gif::Frame> frames;
    for (int i = 0; i < count; ++i) {
        gif::Bytes pixels(size_t(w) * h);
        for (uint8_t& p : pixels) {
            seed = seed * 1664525u + 1013904223u;
            p = uint8_t(seed >> 24);
        }
        gif::Frame f;
        f.setPixels(w, h, std::move(pixels));
        gif::ColorTable table(256);
        for (int c = 0; c < 256; ++c)
            table[size_t(c)] = {uint8_t(c), uint8_t(255 - c), uint8_t(c * 7)};
        f.setLocalColors(std::move(table));
        f.interlaced = i % 2 == 1;
        auto control = gif::Extension::makeGraphicControl();
        control->control().delay = uint16_t(5 + i);
        f.extensions.push_back(control);
        f.graphicControlRecord = control;
        frames.push_back(std::move(f));
    }
    return frames;
}

// One editor: an animation with its file workflows and its recovery writer.
struct Editor {
    DocumentFixture doc;
    std::unique_ptr<RecoveryWriter> writer;

    explicit Editor(const QString& folder) {
        writer = std::make_unique<RecoveryWriter>(doc.animation, doc.files);
        writer->setFolder(folder);
    }
    void push(EditStep* step) { doc.animation.push(std::unique_ptr<EditStep>(step)); }
    // Writes the copy that is due and waits for it; whether it was written.
    bool write() {
        QSignalSpy finished(writer.get(), &RecoveryWriter::finished);
        writer->writeNow();
        if (!finished.wait(10000)) return false;
        return finished.first().first().toBool();
    }
    // The editor ends without closing: the copy stays, its lock goes with the process.
    void crash() { writer.reset(); }
};

QStringList filesIn(const QString& folder) {
    return QDir(folder).entryList(QDir::Files, QDir::Name);
}

} // namespace

class TestRecovery : public QObject {
    Q_OBJECT
    QTemporaryDir m_data;
    QString m_folder;

private Q_SLOTS:
    void initTestCase();
    void init();
    void recoverGivesTheAnimationBack_data();
    void recoverGivesTheAnimationBack();
    void writeCutOffKeepsThePreviousCopy();
    void copyGoesWhenNothingIsUnsaved_data();
    void copyGoesWhenNothingIsUnsaved();
    void damagedAndOldCopiesAtStart_data();
    void damagedAndOldCopiesAtStart();
};

void TestRecovery::initTestCase() {
    // Nothing here may reach the user's own data folder.
    qputenv("XDG_DATA_HOME", QFile::encodeName(m_data.path()));
    qunsetenv("VORLANE_AUTOSAVE_SECONDS");
    QVERIFY(RecoveryStore::standardFolder().startsWith(m_data.path()));
}

void TestRecovery::init() {
    m_folder = m_data.filePath(QString::fromLatin1(QTest::currentTestFunction()) +
                               QString::fromLatin1(QTest::currentDataTag()));
}

void TestRecovery::recoverGivesTheAnimationBack_data() {
    QTest::addColumn<bool>("fromFile");
    QTest::addColumn<bool>("secondCopy"); // a further copy after more edits, frames reused
    QTest::newRow("opened file, one copy") << true << false;
    QTest::newRow("opened file, copy rewritten") << true << true;
    QTest::newRow("never saved, copy rewritten") << false << true;
}

void TestRecovery::recoverGivesTheAnimationBack() {
    QFETCH(bool, fromFile);
    QFETCH(bool, secondCopy);
    Editor a(m_folder);
    const QString file = m_data.filePath(QStringLiteral("walk.gif"));
    if (fromFile) {
        writeFile(file, threeFrames(3, "as read"));
        a.doc.open(file);
        a.push(new InsertFramesStep(QStringLiteral("Add"), 1, noiseFrames(4, 40, 30, 7)));
    } else {
        a.push(new InsertFramesStep(QStringLiteral("Add"), 0, noiseFrames(5, 40, 30, 7)));
    }
    a.push(new RemoveFramesStep(QStringLiteral("Remove"), {2}));
    QVERIFY(a.write());
    if (secondCopy) {
        std::vector<int> order(size_t(a.doc.animation.frameCount()));
        std::iota(order.begin(), order.end(), 0);
        std::swap(order[0], order[1]);
        a.push(new MoveFramesStep(QStringLiteral("Move"), order));
        a.push(new SetLoopStep(QStringLiteral("Loop"), {false, 7}));
        a.push(new SetCommentStep(QStringLiteral("Comment"), QStringLiteral("line 1\r\nline 2"),
                                  false));
        a.push(new InsertFramesStep(QStringLiteral("Add"), a.doc.animation.frameCount(),
                                    noiseFrames(1, 20, 10, 9)));
        QVERIFY(a.write());
    }
    const AnimationSnapshot before = AnimationSnapshot::of(a.doc.animation);
    const QString savedComment = a.doc.animation.savedComment();
    a.crash();

    // The next start.
    RecoveryStore::Scan found = RecoveryStore(m_folder).collect();
    QCOMPARE(int(found.copies.size()), 1);
    QVERIFY(found.damaged.isEmpty());
    RecoveryCopy& copy = found.copies.front();
    QCOMPARE(copy.info.name, before.name);
    QCOMPARE(copy.info.path, fromFile ? file : QString());
    QCOMPARE(copy.info.frames, int(before.frames.size()));
    QVERIFY(!copy.thumbnail.isNull());

    DocumentFixture b;
    QVERIFY(b.files.recover(copy));
    QCOMPARE(AnimationSnapshot::of(b.animation), before);
    QCOMPARE(b.animation.savedComment(), savedComment);
    QCOMPARE(b.files.path(), fromFile ? file : QString());
    QCOMPARE(b.files.hasFile(), fromFile);
    QVERIFY(b.animation.isModified());
    QVERIFY(!b.animation.undoStack().canUndo());
    // Save goes to the animation's own file without asking for one.
    if (fromFile) {
        QCOMPARE(b.files.save(), DocumentFiles::SaveResult::Saved);
        QVERIFY(b.fakes.dialogs.requests().isEmpty());
        QVERIFY(!b.animation.isModified());
    }
}

void TestRecovery::writeCutOffKeepsThePreviousCopy() {
    Editor a(m_folder);
    a.push(new InsertFramesStep(QStringLiteral("Add"), 0, noiseFrames(3, 64, 48, 1)));
    QVERIFY(a.write());
    const AnimationSnapshot first = AnimationSnapshot::of(a.doc.animation);
    const qint64 firstSize =
        QFileInfo(RecoveryStore(m_folder).gifPath(
                      QFileInfo(a.writer->manifestPath()).completeBaseName(), 1))
            .size();
    QVERIFY(firstSize > 8000); // larger than the manifest, which must still get through

    a.push(new InsertFramesStep(QStringLiteral("Add"), 3, noiseFrames(3, 64, 48, 2)));
    {
        // The disk takes no more than the first copy's size: the second GIF fails half-way.
        FileSizeLimit limit(uint64_t(firstSize) + 100);
        QTest::ignoreMessage(QtWarningMsg,
                             QRegularExpression(QStringLiteral("could not be written.*too large")));
        QVERIFY(!a.write());
    }
    a.crash();

    RecoveryStore::Scan found = RecoveryStore(m_folder).collect();
    QCOMPARE(int(found.copies.size()), 1);
    DocumentFixture b;
    QVERIFY(b.files.recover(found.copies.front()));
    QCOMPARE(AnimationSnapshot::of(b.animation), first);
    // Nothing of the cut-off write is left: the manifest and the one GIF it names.
    QCOMPARE(filesIn(m_folder).size(), 3); // and the lock the scan holds
}

void TestRecovery::copyGoesWhenNothingIsUnsaved_data() {
    QTest::addColumn<QString>("how");
    QTest::newRow("save") << "save";
    QTest::newRow("undo to the saved state") << "undo";
    QTest::newRow("new, not saving") << "new";
    QTest::newRow("closed") << "discard";
    QTest::newRow("turned off") << "off";
}

void TestRecovery::copyGoesWhenNothingIsUnsaved() {
    QFETCH(QString, how);
    Editor a(m_folder);
    const QString file = writeFile(m_data.filePath(QStringLiteral("a.gif")), threeFrames());
    a.doc.open(file);
    a.push(new RemoveFramesStep(QStringLiteral("Remove"), {0}));
    QVERIFY(a.write());
    QVERIFY(!a.writer->manifestPath().isEmpty());

    QSignalSpy removed(a.writer.get(), &RecoveryWriter::removed);
    if (how == QLatin1String("save")) {
        QCOMPARE(a.doc.files.save(), DocumentFiles::SaveResult::Saved);
    } else if (how == QLatin1String("undo")) {
        a.doc.animation.undoStack().undo();
    } else if (how == QLatin1String("new")) {
        a.doc.fakes.prompts.answer(Prompts::Answer::No);
        QVERIFY(a.doc.files.newAnimation());
    } else if (how == QLatin1String("discard")) {
        a.writer->discard();
    } else {
        a.writer->setIntervalSeconds(0);
    }
    QCOMPARE(removed.count(), 1);
    QVERIFY(a.writer->manifestPath().isEmpty());
    a.crash();
    QVERIFY(RecoveryStore(m_folder).collect().copies.empty());
    QCOMPARE(filesIn(m_folder), QStringList());
}

void TestRecovery::damagedAndOldCopiesAtStart_data() {
    QTest::addColumn<QString>("harm");
    QTest::addColumn<bool>("damaged"); // set aside, else removed for its age
    QTest::newRow("manifest is not JSON") << "manifest" << true;
    QTest::newRow("GIF cut short") << "truncate" << true;
    QTest::newRow("GIF missing") << "missing" << true;
    QTest::newRow("last change 31 days ago") << "old" << false;
}

void TestRecovery::damagedAndOldCopiesAtStart() {
    QFETCH(QString, harm);
    QFETCH(bool, damaged);
    const RecoveryStore store(m_folder);
    Editor a(m_folder);
    a.push(new InsertFramesStep(QStringLiteral("Add"), 0, noiseFrames(2, 16, 16, 3)));
    QVERIFY(a.write());
    const QString manifest = a.writer->manifestPath();
    const QString id = QFileInfo(manifest).completeBaseName();
    a.crash();

    QDateTime now = QDateTime::currentDateTimeUtc();
    if (harm == QLatin1String("manifest")) {
        QFile f(manifest);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("{\"format\": 1, \"gif\": ");
    } else if (harm == QLatin1String("truncate")) {
        QVERIFY(QFile::resize(store.gifPath(id, 1), 40));
    } else if (harm == QLatin1String("missing")) {
        QVERIFY(QFile::remove(store.gifPath(id, 1)));
    } else {
        now = now.addDays(RecoveryStore::MaxAgeDays + 1);
    }
    const RecoveryStore::Scan found = store.collect(now);
    QVERIFY(found.copies.empty());
    QCOMPARE(found.damaged.size(), damaged ? 1 : 0);
    QCOMPARE(found.expired, damaged ? 0 : 1);
    QCOMPARE(filesIn(m_folder), QStringList());
    QCOMPARE(QDir(store.damagedFolder()).entryList(QDir::Files).isEmpty(), !damaged);
}

QTEST_GUILESS_MAIN(TestRecovery)
#include "tst_recovery.moc"
