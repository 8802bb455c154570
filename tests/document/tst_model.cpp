// SPDX-License-Identifier: GPL-3.0-or-later
// The animation model and its frame list: labels, the selection following edits,
// thumbnails following the frames, graphic control records given on loading, the loop
// and comment records of frame 0 as read and as written, and the status texts of the
// file workflows. Everything here works on animations made in memory.

#include <memory>

#include <QItemSelectionModel>
#include <QLocale>
#include <QTest>

#include "document/DocumentFixture.h"
#include "document/EditSteps.h"

using namespace vorlane;
using namespace vorlane::test;

namespace {
const AnimationRecords NoControls{-1, {}, false};

// Restores the default locale when a test changes it.
struct LocaleGuard {
    QLocale saved;
    ~LocaleGuard() { QLocale::setDefault(saved); }
};

// The records of a frame, one word each: "g" graphic control, "c" comment, "x" another
// application record, "t" plain text, "L<count>" a loop record.
QString kindsOf(const gif::ExtensionList& records) {
    QStringList kinds;
    for (const auto& r : records)
        kinds << (r->isLoop()             ? QStringLiteral("L%1").arg(r->loopCount().value_or(0))
                  : r->isGraphicControl() ? QStringLiteral("g")
                  : r->isComment()        ? QStringLiteral("c")
                  : r->isPlainText()      ? QStringLiteral("t")
                                          : QStringLiteral("x"));
    return kinds.join(QLatin1Char(' '));
}

// Two frames without records, and frame 0's records as `layout` says: "g" a graphic
// control record, "c" a comment, "x" an XMP record, "L" a loop record counting 7, "l"
// one counting 2.
gif::GifImage withFirstRecords(const QString& layout) {
    gif::GifImage image = std::move(*makeAnimation(2, 4, 4, NoControls));
    gif::Frame& first = image.frame(0);
    for (QChar c : layout) {
        if (c == QLatin1Char('g')) {
            first.graphicControlRecord = gif::Extension::makeGraphicControl();
            first.extensions.push_back(first.graphicControlRecord);
        } else if (c == QLatin1Char('c')) {
            first.extensions.push_back(gif::Extension::makeComment("x"));
        } else if (c == QLatin1Char('x')) {
            first.extensions.push_back(
                gif::Extension::makeApplication("XMP DataXMP", {gif::Bytes{1, 2}}));
        } else {
            first.extensions.push_back(gif::Extension::makeLoop(c == QLatin1Char('L') ? 7 : 2));
        }
    }
    return image;
}

int countIn(const gif::GifImage& image, bool (gif::Extension::*kind)() const) {
    int n = 0;
    for (const gif::Frame& f : image.frames())
        for (const auto& r : f.extensions)
            n += ((*r).*kind)();
    return n;
}

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
        QCOMPARE(FrameListModel::NextIndex(entries), number);
    }

    // Every row is labelled with its number and the animation's name, through moves,
    // removals, renaming and undo.
    void labelsNumberEveryFrame() {
        DocumentFixture f;
        f.loaded(100);
        const auto label = [&](int row) {
            return f.list.data(f.list.index(row), Qt::DisplayRole).toString();
        };
        QCOMPARE(f.list.rowCount(), 100);
        QCOMPARE(label(0), QStringLiteral("#001: Untitled.gif"));
        QCOMPARE(label(6), QStringLiteral("#007: Untitled.gif"));
        QCOMPARE(label(99), QStringLiteral("#100: Untitled.gif"));
        QCOMPARE(f.list.data(f.list.index(6), FrameListModel::DelayRole).toInt(), 70);

        f.animation.push(std::make_unique<MoveFramesStep>(
            QStringLiteral("Move"), MoveFramesStep::moveRowsBefore(100, {6}, 0)));
        QCOMPARE(label(0), QStringLiteral("#001: Untitled.gif"));
        QCOMPARE(f.list.data(f.list.index(0), FrameListModel::DelayRole).toInt(), 70);
        f.animation.push(std::make_unique<RemoveFramesStep>(QStringLiteral("Remove"),
                                                            std::vector<int>{0, 50, 99}));
        QCOMPARE(f.list.rowCount(), 97);
        QCOMPARE(label(96), QStringLiteral("#097: Untitled.gif"));
        f.animation.setName(QStringLiteral("walk.gif"));
        QCOMPARE(label(96), QStringLiteral("#097: walk.gif"));
        f.animation.undoStack().undo();
        f.animation.undoStack().undo();
        QCOMPARE(f.list.rowCount(), 100);
        QCOMPARE(f.list.data(f.list.index(6), FrameListModel::DelayRole).toInt(), 70);
    }

    // The window's selection over the frame list follows the frames it holds when other
    // frames come, go or move.
    void selectionFollowsTheFrames_data() {
        QTest::addColumn<QString>("edit");
        QTest::addColumn<int>("current"); // of frames 2 (current) and 3 selected
        QTest::addColumn<QList<int>>("selected");
        QTest::newRow("two frames inserted in front") << "insert" << 4 << QList<int>{4, 5};
        QTest::newRow("frame 0 removed") << "remove" << 1 << QList<int>{1, 2};
        QTest::newRow("moved to the front") << "move" << 0 << QList<int>{0, 1};
        QTest::newRow("one step back") << "back" << 1 << QList<int>{1, 2};
    }
    void selectionFollowsTheFrames() {
        QFETCH(QString, edit);
        QFETCH(int, current);
        QFETCH(QList<int>, selected);
        DocumentFixture f;
        f.loaded(5);
        QItemSelectionModel selection(&f.list);
        selection.setCurrentIndex(f.list.index(2), QItemSelectionModel::ClearAndSelect);
        selection.select(f.list.index(3), QItemSelectionModel::Select);
        std::unique_ptr<EditStep> step;
        if (edit == QLatin1String("insert")) {
            std::vector<gif::Frame> frames{f.animation.frame(4), f.animation.frame(4)};
            step = std::make_unique<InsertFramesStep>(QStringLiteral("Add"), 0, std::move(frames));
        } else if (edit == QLatin1String("remove")) {
            step =
                std::make_unique<RemoveFramesStep>(QStringLiteral("Remove"), std::vector<int>{0});
        } else if (edit == QLatin1String("move")) {
            step = std::make_unique<MoveFramesStep>(QStringLiteral("Move"),
                                                    MoveFramesStep::moveRowsBefore(5, {2, 3}, 0));
        } else {
            step = std::make_unique<MoveFramesStep>(QStringLiteral("Move backward"),
                                                    MoveFramesStep::stepRows(5, {2, 3}, -1));
        }
        f.animation.push(std::move(step));
        QCOMPARE(selection.currentIndex().row(), current);
        QList<int> rows;
        for (const QModelIndex& index : selection.selectedRows())
            rows << index.row();
        std::sort(rows.begin(), rows.end());
        QCOMPARE(rows, selected);
    }

    // A thumbnail is made once and kept while its frame is unchanged; a change of the
    // frame's colours or transparency, and its undo, show at once.
    void thumbnailsFollowTheFrames() {
        DocumentFixture f;
        f.loaded(2);
        const QImage first = f.list.thumbnail(0, {4, 3});
        QCOMPARE(first.size(), QSize(4, 3));
        QCOMPARE(first.pixel(1, 1), qRgb(255, 0, 0));
        QCOMPARE(f.list.thumbnail(0, {4, 3}).cacheKey(), first.cacheKey());
        f.animation.push(std::make_unique<SetControlsStep>(
            QStringLiteral("Transparency"), std::vector<int>{0}, [](gif::GraphicControl& c) {
                c.transparent = true;
                c.transparentIndex = 0;
            }));
        QCOMPARE(qAlpha(f.list.thumbnail(0, {4, 3}).pixel(1, 1)), 0);
        f.animation.undoStack().undo();
        QCOMPARE(f.list.thumbnail(0, {4, 3}).pixel(1, 1), qRgb(255, 0, 0));
        // A removed frame's thumbnail is not shown for the frame that takes its row.
        f.animation.push(
            std::make_unique<RemoveFramesStep>(QStringLiteral("Remove"), std::vector<int>{0}));
        QCOMPARE(f.list.thumbnail(0, {4, 3}).pixel(1, 1), qRgb(0, 255, 0));
    }

    // Regression: an animation destroyed with unsaved edits announced that it was
    // unmodified from its destructor, and the window's handler then used parts of the
    // window already gone (closing without saving crashed).
    void destroyedWithoutAWord() {
        auto m = std::make_unique<AnimationModel>();
        m->load(std::move(*makeAnimation(2)), QStringLiteral("a.gif"));
        m->pushUnchanged(QStringLiteral("Edit"));
        QVERIFY(m->isModified());
        bool heard = false;
        QObject::connect(m.get(), &AnimationModel::modifiedChanged, m.get(), [&] { heard = true; });
        m.reset();
        QVERIFY(!heard);
    }

    // ---- graphic control records ----

    void loadingGivesMissingControlRecordsOnly() {
        gif::GifImage image = std::move(*makeAnimation(3, 4, 4, NoControls));
        auto existing = gif::Extension::makeGraphicControl();
        existing->control().delay = 42;
        image.frame(1).extensions.push_back(existing);
        image.frame(1).graphicControlRecord = existing;
        AnimationModel m;
        m.load(std::move(image), QStringLiteral("a.gif"));
        for (int i = 0; i < 3; ++i) {
            const gif::Frame& fr = m.frame(i);
            QVERIFY(fr.graphicControlRecord);
            QCOMPARE(fr.extensions.size(), size_t(1));
            QVERIFY(fr.extensions.front() == fr.graphicControlRecord); // written with the frame
        }
        QCOMPARE(m.delay(1), 42);
        const gif::GraphicControl& fresh = *m.frame(0).graphicControl();
        QCOMPARE(fresh.delay, uint16_t(0));
        QCOMPARE(fresh.disposal, uint8_t(0));
        QVERIFY(!fresh.transparent);
        QVERIFY(!m.isModified());
    }

    // ---- loop record ----

    // The first loop record anywhere in frame 0 is the animation's; it is written first,
    // with the other records of frame 0 in their order and the comment last.
    void loopRecordFoundAnywhereAndWrittenFirst_data() {
        QTest::addColumn<QString>("layout"); // see withFirstRecords
        QTest::addColumn<bool>("infinite");
        QTest::addColumn<int>("count");
        QTest::addColumn<QString>("written");
        QTest::newRow("no records") << "" << true << 1 << "L0 g";
        QTest::newRow("control only") << "g" << true << 1 << "L0 g";
        QTest::newRow("loop first") << "Lg" << false << 7 << "L7 g";
        QTest::newRow("comment before loop") << "clg" << false << 2 << "L2 g c";
        QTest::newRow("XMP before loop") << "xlg" << false << 2 << "L2 x g";
        QTest::newRow("XMP without loop") << "xg" << true << 1 << "L0 x g";
        QTest::newRow("comment among the others") << "gcx" << true << 1 << "L0 g x c";
        // A second record would contradict the count the user sets.
        QTest::newRow("two loops: the first counts") << "lLg" << false << 2 << "L2 g";
    }
    void loopRecordFoundAnywhereAndWrittenFirst() {
        QFETCH(QString, layout);
        QFETCH(bool, infinite);
        QFETCH(int, count);
        QFETCH(QString, written);
        AnimationModel m;
        m.load(withFirstRecords(layout), QStringLiteral("a.gif"));
        QCOMPARE(m.loop(), (LoopSetting{infinite, count}));
        const gif::GifImage image = m.imageForSaving(m.comment());
        QCOMPARE(kindsOf(image.frame(0).extensions), written);
        QCOMPARE(countIn(image, &gif::Extension::isLoop), 1);
        // Writing leaves the frames as they are: the next image is the same.
        QCOMPARE(kindsOf(m.imageForSaving(m.comment()).frame(0).extensions), written);
    }

    void loopSettingIsWrittenAsItsCount_data() {
        QTest::addColumn<bool>("infinite");
        QTest::addColumn<int>("count");
        QTest::addColumn<int>("record");
        QTest::newRow("forever, a count kept for the field") << true << 5 << 0;
        QTest::newRow("five times") << false << 5 << 5;
        QTest::newRow("largest") << false << 65535 << 65535;
    }
    void loopSettingIsWrittenAsItsCount() {
        QFETCH(bool, infinite);
        QFETCH(int, count);
        QFETCH(int, record);
        // The file's record has a buffer-size sub-block besides its count.
        gif::GifImage image = std::move(*makeAnimation(2));
        image.frame(0).extensions.insert(
            image.frame(0).extensions.begin(),
            gif::Extension::makeApplication("NETSCAPE2.0",
                                            {gif::Bytes{1, 3, 0}, gif::Bytes{2, 0, 16, 0, 0}}));
        AnimationModel m;
        m.load(std::move(image), QStringLiteral("a.gif"));
        m.push(std::make_unique<SetLoopStep>(QStringLiteral("Loop"), LoopSetting{infinite, count}));
        const gif::GifImage written = m.imageForSaving({});
        const auto& loop = written.frame(0).extensions.front();
        QCOMPARE(int(*loop->loopCount()), record);
        QCOMPARE(loop->blocks().back(), (gif::Bytes{2, 0, 16, 0, 0}));
        // The record read stays as it was, for undo and for Save as.
        m.undoStack().undo();
        QCOMPARE(int(*m.imageForSaving({}).frame(0).extensions.front()->loopCount()), 3);
    }

    // Whatever frame stands first when the image is written carries the loop record and
    // the comment, once.
    void loopAndCommentFollowANewFirstFrame() {
        AnimationModel m;
        m.load(std::move(*makeAnimation(3, 8, 6, {4, "note"})), QStringLiteral("a.gif"));
        m.push(std::make_unique<RemoveFramesStep>(QStringLiteral("Remove"), std::vector<int>{0}));
        const gif::GifImage written = m.imageForSaving(m.comment());
        QCOMPARE(kindsOf(written.frame(0).extensions), QStringLiteral("L4 g c"));
        QCOMPARE(written.frame(0).extensions.back()->text(), std::string("note"));
        QCOMPARE(countIn(written, &gif::Extension::isLoop), 1);
        QCOMPARE(countIn(written, &gif::Extension::isComment), 1);
        QCOMPARE(written.frame(0).graphicControl()->delay, uint16_t(20));
    }

    // ---- comment records ----

    // Every comment record of frame 0, in order, is the comment (UTF-8 where valid, else
    // Latin-1; lines joined by LF). While the text is theirs, the records are written
    // back byte for byte; an edited comment becomes one record, and an empty one none
    // (a record without text has no data block, which common readers reject).
    void commentRecordsAsReadAndWritten_data() {
        QTest::addColumn<QByteArrayList>("records"); // comments of frame 0, after its control
        QTest::addColumn<QString>("read");
        QTest::addColumn<QString>("text"); // written; "=" for the text as read
        QTest::addColumn<QByteArrayList>("written");
        const QByteArrayList several{"one\r\n", "two"};
        QTest::newRow("several, unchanged") << several << "one\ntwo"
                                            << "=" << several;
        QTest::newRow("several, other line breaks") << several << "one\ntwo"
                                                    << "one\r\ntwo" << several;
        QTest::newRow("several, edited") << several << "one\ntwo"
                                         << "one\ntwo\nthree" << QByteArrayList{"one\ntwo\nthree"};
        QTest::newRow("UTF-8") << QByteArrayList{"caf\xc3\xa9", "x\r\ny\r\n"}
                               << QString::fromUtf8("caf\xc3\xa9\nx\ny") << "="
                               << QByteArrayList{"caf\xc3\xa9", "x\r\ny\r\n"};
        QTest::newRow("Latin-1 kept as it was")
            << QByteArrayList{"caf\xe9"} << QString::fromUtf8("caf\xc3\xa9") << "="
            << QByteArrayList{"caf\xe9"};
        QTest::newRow("Latin-1 edited, written as UTF-8")
            << QByteArrayList{"caf\xe9"} << QString::fromUtf8("caf\xc3\xa9")
            << QString::fromUtf8("caf\xc3\xa9!") << QByteArrayList{"caf\xc3\xa9!"};
        QTest::newRow("emptied") << QByteArrayList{"x"} << "x"
                                 << "" << QByteArrayList{};
        QTest::newRow("none, typed") << QByteArrayList{} << ""
                                     << "a\nb" << QByteArrayList{"a\nb"};
        QTest::newRow("none, empty") << QByteArrayList{} << ""
                                     << "" << QByteArrayList{};
    }
    void commentRecordsAsReadAndWritten() {
        QFETCH(QByteArrayList, records);
        QFETCH(QString, read);
        QFETCH(QString, text);
        QFETCH(QByteArrayList, written);
        gif::GifImage image = std::move(*makeAnimation(2));
        for (const QByteArray& r : records)
            image.frame(0).extensions.push_back(gif::Extension::makeComment(r.toStdString()));
        AnimationModel m;
        m.load(std::move(image), QStringLiteral("a.gif"));
        QCOMPARE(m.comment(), read);
        QCOMPARE(m.savedComment(), read);
        for (const auto& r : m.frame(0).extensions)
            QVERIFY(!r->isComment());
        const gif::GifImage out = m.imageForSaving(text == QLatin1String("=") ? read : text);
        QByteArrayList got;
        for (const auto& r : out.frame(0).extensions)
            if (r->isComment()) got << QByteArray::fromStdString(r->text());
        QCOMPARE(got, written);
        QCOMPARE(kindsOf(out.frame(0).extensions).count(QLatin1Char('c')), written.size());
    }

    // ---- status texts of the file workflows ----

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
        QCOMPARE(DocumentFiles::progressText(gif::ProgressMessage(message)), text);
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
        QCOMPARE(DocumentFiles::loadingTimeText(ms), text);
    }
};

QTEST_GUILESS_MAIN(TestDocumentModel)
#include "tst_model.moc"
