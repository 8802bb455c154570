// SPDX-License-Identifier: GPL-3.0-or-later
// The frame editing commands on a document with the platform fakes: Add and Insert of
// picture files, frame insertion at an index, Remove, Duplicate, Move, the clipboard
// commands, the delay field and the disposal choice.

#include <algorithm>
#include <optional>
#include <vector>

#include <QFile>
#include <QImage>
#include <QObject>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include "codec/Compositor.h"
#include "codec/GifImage.h"
#include "document/Document.h"
#include "editing/FrameEditor.h"
#include "support/FakePlatform.h"
#include "support/GifBuilder.h"
#include "support/TestData.h"

using vorlane::Document;
using vorlane::FrameEditor;
using vorlane::Prompts;
namespace gif = vorlane::gif;

namespace {

constexpr QRgb Red = 0xFFFF0000, Green = 0xFF00FF00, Blue = 0xFF0000FF, White = 0xFFFFFFFF;

struct Fixture {
    vorlane::test::FakePlatform fakes;
    Document doc{fakes.platform()};
    FrameEditor editor{doc, fakes.platform()};
    QTemporaryDir dir;
    QSignalSpy words{&doc, &Document::actionWord};

    // An animation of n solid frames coloured red, green, blue, white, red, ...
    void loaded(int frames, uint16_t w = 8, uint16_t h = 6) {
        doc.setImage(vorlane::test::makeAnimation(frames, w, h));
        doc.ren();
        doc.makeloopongif();
        doc.setModified(false);
    }
    QString picture(const QString& name, QSize size, QRgb color) {
        QImage image(size, QImage::Format_RGB32);
        image.fill(color);
        const QString path = dir.filePath(name);
        image.save(path);
        return path;
    }
    const gif::Frame& frame(int i) const { return doc.image()->frame(size_t(i)); }
    QRgb color(int i) const { return doc.image()->ownPicture(size_t(i)).pixel(0, 0); }
    QList<QRgb> colors() const {
        QList<QRgb> all;
        for (int i = 0; i < doc.frameCount(); ++i)
            all << color(i);
        return all;
    }
    bool sent(const char* word) const {
        for (const QList<QVariant>& args : words)
            if (args.at(0).toString() == QLatin1String(word)) return true;
        return false;
    }
    // The loop record heads frame 0 and holds the document's loop choice.
    bool loopOnFirst() const {
        const auto& records = frame(0).extensions;
        return !records.empty() && records.front()->isLoop() &&
               records.front()->loopCount() == (doc.loopInfinite() ? 0 : doc.numLoops());
    }
};

// A frame made from a picture: at (0, 0), interlaced, opaque, delay and disposal 2.
void verifyMadeFrame(const gif::Frame& f, QSize size, int delay) {
    QCOMPARE(QSize(f.width(), f.height()), size);
    QCOMPARE(f.left + f.top, 0);
    QVERIFY(f.interlaced);
    QVERIFY(f.graphicControl());
    QCOMPARE(int(f.graphicControl()->delay), delay);
    QCOMPARE(int(f.graphicControl()->disposal), 2);
    QVERIFY(!f.graphicControl()->transparent);
}

} // namespace

class TestEditor : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void addOneFile_data();
    void addOneFile();
    void insertPutsFilesInReverseInFront();
    void badFilesAreReportedAndSkipped();
    void insertImageIndex_data();
    void insertImageIndex();
    void remove_data();
    void remove();
    void duplicateKeepsPixelsAndDelayOnly();
    void transparentFrameSurvivesDuplicateAndClipboard();
    void moveStaysWithinTheAnimation();
    void copyCutAndPaste();
    void pasteOfAPhotoKeepsItsTransparentIndexInTheTable();
    void delayField_data();
    void delayField();
    void disposalChoice_data();
    void disposalChoice();
};

void TestEditor::addOneFile_data() {
    QTest::addColumn<int>("frames"); // 0: a new document without an image
    QTest::addColumn<QSize>("picture");
    QTest::addColumn<QSize>("screen");
    QTest::newRow("to an empty document") << 0 << QSize(100, 80) << QSize(100, 80);
    QTest::newRow("wider, lower") << 2 << QSize(120, 60) << QSize(120, 80);
    QTest::newRow("smaller") << 2 << QSize(50, 50) << QSize(100, 80);
}

void TestEditor::addOneFile() {
    QFETCH(int, frames);
    QFETCH(QSize, picture);
    QFETCH(QSize, screen);
    Fixture f;
    if (frames > 0) f.loaded(frames, 100, 80);
    f.fakes.dialogs.chooseMany({f.picture(QStringLiteral("a.png"), picture, Red)});
    f.editor.Plus(QStringLiteral("add"));

    QCOMPARE(f.fakes.dialogs.requests().at(0).title, QStringLiteral("Add image"));
    QCOMPARE(f.doc.frameCount(), frames + 1);
    QCOMPARE(f.doc.entryCount(), frames + 1);
    QCOMPARE(QSize(f.doc.image()->screenWidth, f.doc.image()->screenHeight), screen);
    verifyMadeFrame(f.frame(frames), picture, 60);
    QCOMPARE(f.color(frames), Red);
    QCOMPARE(f.doc.currentFrame(), frames);
    QVERIFY(f.doc.isModified());
    QVERIFY(f.sent("pasted"));
    QVERIFY(f.loopOnFirst());
    QVERIFY(f.fakes.prompts.asked().isEmpty());
}

void TestEditor::insertPutsFilesInReverseInFront() {
    Fixture f;
    f.loaded(4);
    f.doc.selectFrame(2);
    const QRgb a = 0xFF00FFFF, b = 0xFFFF00FF, c = 0xFFFFFF00;
    f.fakes.dialogs.chooseMany({f.picture(QStringLiteral("a.png"), {8, 6}, a),
                                f.picture(QStringLiteral("b.bmp"), {8, 6}, b),
                                f.picture(QStringLiteral("c.png"), {8, 6}, c)});
    f.editor.Plus(QStringLiteral("ins"));
    QCOMPARE(f.colors(), QList<QRgb>({Red, Green, c, b, a, Blue, White}));
    QCOMPARE(f.doc.currentFrame(), 2);
}

void TestEditor::badFilesAreReportedAndSkipped() {
    Fixture f;
    f.loaded(2);
    // An animated GIF gives its first image; a damaged file and a picture too wide for a
    // frame are reported once each and leave the document as it was; the rest is added.
    const QString animated = f.dir.filePath(QStringLiteral("anim.gif"));
    vorlane::test::makeAnimation(3, 5, 5)->save(animated);
    const QString damaged = vorlane::test::writeFile(f.dir.filePath(QStringLiteral("bad.png")),
                                                     {0x89, 'P', 'N', 'G', 1});
    const QString wide = f.picture(QStringLiteral("wide.png"), {70000, 1}, Green);
    f.fakes.dialogs.chooseMany(
        {damaged, wide, animated, f.picture(QStringLiteral("ok.png"), {3, 3}, Blue)});
    for (int i = 0; i < 2; ++i)
        f.fakes.prompts.expect(FrameEditor::AddFailed, Prompts::Answer::Ok);
    f.editor.Plus(QStringLiteral("add"));

    QCOMPARE(f.fakes.prompts.texts(), QStringList(2, QStringLiteral("Failed to add image.")));
    QCOMPARE(f.fakes.prompts.asked().at(0).icon, Prompts::Icon::Information);
    QCOMPARE(f.colors(), QList<QRgb>({Red, Green, Red, Blue}));
    QCOMPARE(QSize(f.frame(2).width(), f.frame(2).height()), QSize(5, 5));
    // The wide picture did not grow the screen.
    QCOMPARE(f.doc.image()->screenWidth, uint16_t(8));
    QCOMPARE(f.doc.currentFrame(), 3);
}

void TestEditor::insertImageIndex_data() {
    QTest::addColumn<int>("index");
    QTest::addColumn<int>("at");
    QTest::newRow("negative") << -1 << 0;
    QTest::newRow("first") << 0 << 0;
    QTest::newRow("middle") << 1 << 1;
    QTest::newRow("old count") << 3 << 3;
    QTest::newRow("beyond") << 9 << 3;
}

void TestEditor::insertImageIndex() {
    QFETCH(int, index);
    QFETCH(int, at);
    auto image = vorlane::test::makeAnimation(3);
    QImage picture(4, 4, QImage::Format_RGB32);
    picture.fill(0xFF808080);
    QCOMPARE(FrameEditor::InsertImage(*image, picture, 7, index), at);
    QCOMPARE(image->frameCount(), size_t(4));
    QCOMPARE(image->ownPicture(size_t(at)).pixel(0, 0), QRgb(0xFF808080));
    verifyMadeFrame(image->frame(size_t(at)), {4, 4}, 7);
}

void TestEditor::remove_data() {
    QTest::addColumn<int>("frames");
    QTest::addColumn<int>("current");
    QTest::addColumn<bool>("yes");
    QTest::addColumn<int>("after"); // current frame afterwards
    QTest::newRow("last of five") << 5 << 4 << true << 3;
    QTest::newRow("first of three") << 3 << 0 << true << 0;
    QTest::newRow("only one") << 1 << 0 << true << -1;
    QTest::newRow("answered No") << 3 << 1 << false << 1;
}

void TestEditor::remove() {
    QFETCH(int, frames);
    QFETCH(int, current);
    QFETCH(bool, yes);
    QFETCH(int, after);
    Fixture f;
    f.loaded(frames);
    f.doc.finiClick();
    f.doc.NumLoopsChange(5);
    f.doc.setModified(false);
    f.doc.selectFrame(current);
    f.fakes.prompts.expect(FrameEditor::RemoveQuestion,
                           yes ? Prompts::Answer::Yes : Prompts::Answer::No);
    f.editor.DelClick();

    QCOMPARE(f.fakes.prompts.asked().at(0).buttons, Prompts::Buttons::YesNo);
    QCOMPARE(f.doc.frameCount(), yes ? frames - 1 : frames);
    QCOMPARE(f.doc.currentFrame(), after);
    QCOMPARE(f.doc.isModified(), yes);
    QCOMPARE(f.sent("alsup"), f.doc.frameCount() == 0);
    if (f.doc.frameCount() > 0) QVERIFY(f.loopOnFirst());
}

void TestEditor::duplicateKeepsPixelsAndDelayOnly() {
    Fixture f;
    f.loaded(3);
    gif::Frame& source = f.doc.image()->frame(2);
    source.left = 10;
    source.top = 20;
    source.graphicControl()->transparent = true;
    source.extensions.push_back(gif::Extension::makeComment("kept on the source"));
    f.doc.selectFrame(2);
    f.editor.DupClick();

    QCOMPARE(f.doc.frameCount(), 4);
    QCOMPARE(f.doc.currentFrame(), 3);
    QVERIFY(f.doc.isModified());
    QCOMPARE(f.doc.image()->ownPicture(3), f.doc.image()->ownPicture(2));
    QCOMPARE(QSize(f.frame(3).width(), f.frame(3).height()), QSize(8, 6));
    QCOMPARE(f.frame(3).left + f.frame(3).top, 0);
    QCOMPARE(int(f.frame(3).graphicControl()->delay), 30);
    QCOMPARE(int(f.frame(3).graphicControl()->disposal), 2);
    // Transparent where the source is: an opaque duplicate showed a solid rectangle.
    QVERIFY(f.frame(3).graphicControl()->transparent);
    QCOMPARE(f.frame(3).graphicControl()->transparentIndex,
             f.frame(2).graphicControl()->transparentIndex);
    QCOMPARE(f.frame(3).extensions.size(), size_t(1));
}

// Regression: the transparent entry of an opened frame took the background colour,
// which the frame also drew, so a duplicate or a copy showed a solid rectangle there.
// Every copy of a frame shows what the frame shows.
void TestEditor::transparentFrameSurvivesDuplicateAndClipboard() {
    vorlane::test::GifBuilder b;
    b.header().screen(4, 2, {0x000000, 0xFF0000}, 0).loop(0);
    b.graphicControl(1, 10, 2).image(0, 0, 4, 2, {0, 1, 2, 2, 2, 2, 0, 1},
                                     {0x000000, 0xFF0000, 0x00FF00, 0x0000FF});
    b.trailer();
    Fixture f;
    const QString path = f.dir.filePath(QStringLiteral("holes.gif"));
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(reinterpret_cast<const char*>(b.bytes().data()), qint64(b.bytes().size()));
    file.close();
    f.doc.FileOpen1Execute(Document::OpenOrigin::CommandLine, path);
    QCOMPARE(f.doc.frameCount(), 1);
    const gif::GifImage& image = *f.doc.image();
    const gif::GraphicControl* control = f.frame(0).graphicControl();
    QVERIFY(control->transparent);
    const gif::ColorTable& table = image.activeColors(0);
    for (size_t i = 0; i < table.size(); ++i)
        if (i != control->transparentIndex) QVERIFY(table[i] != table[control->transparentIndex]);

    f.doc.selectFrame(0);
    f.editor.DupClick();
    f.doc.selectFrame(0);
    f.editor.CopyItemClick();
    const QImage copied = f.fakes.clipboard.bitmap();
    QCOMPARE(qAlpha(copied.pixel(2, 0)), 0);
    QCOMPARE(copied.pixel(0, 0), qRgb(0, 0, 0));
    f.editor.PasteClick();
    QCOMPARE(f.doc.frameCount(), 3);

    gif::Compositor compositor(image);
    const size_t area = size_t(compositor.width()) * size_t(compositor.height());
    const std::vector<uint32_t> first(compositor.compose(0), compositor.compose(0) + area);
    for (size_t k = 1; k < 3; ++k) {
        const uint32_t* shown = compositor.compose(k);
        QVERIFY2(std::equal(first.begin(), first.end(), shown), qPrintable(QString::number(k)));
    }
}

void TestEditor::moveStaysWithinTheAnimation() {
    Fixture f;
    f.loaded(3);
    f.doc.finiClick();
    f.doc.NumLoopsChange(4);
    gif::ExtensionList& records = f.doc.image()->frame(0).extensions;
    records.insert(records.begin() + 1, gif::Extension(gif::labels::PlainText).clone());
    records.push_back(gif::Extension::makeComment("the animation's"));
    f.doc.setModified(false);
    f.doc.selectFrame(0);
    f.editor.arriereClick();
    QCOMPARE(f.colors(), QList<QRgb>({Red, Green, Blue}));
    QVERIFY(!f.doc.isModified());

    f.editor.avantClick();
    QCOMPARE(f.colors(), QList<QRgb>({Green, Red, Blue}));
    QCOMPARE(f.doc.currentFrame(), 1);
    QVERIFY(f.doc.isModified());
    QVERIFY(f.loopOnFirst());
    // The records of the animation stay on the first frame; the moved frame keeps its own.
    QCOMPARE(f.frame(1).extensions.size(), size_t(2));
    QVERIFY(f.frame(1).extensions.back()->isGraphicControl());
    QVERIFY(f.frame(1).extensions.front()->isPlainText());

    f.editor.avantClick();
    f.editor.avantClick(); // already last
    QCOMPARE(f.colors(), QList<QRgb>({Green, Blue, Red}));
    f.editor.arriereClick();
    QCOMPARE(f.colors(), QList<QRgb>({Green, Red, Blue}));
    QCOMPARE(f.doc.currentFrame(), 1);
}

void TestEditor::copyCutAndPaste() {
    Fixture f;
    f.editor.PasteClick(); // an empty clipboard: nothing at all
    QVERIFY(!f.doc.hasImage());

    f.loaded(3);
    f.doc.selectFrame(1);
    f.editor.CopyItemClick();
    QCOMPARE(f.fakes.clipboard.bitmap().size(), QSize(8, 6));
    QCOMPARE(f.fakes.clipboard.bitmap().pixel(0, 0), Green);
    QVERIFY(!f.doc.isModified());

    f.editor.PasteClick();
    QCOMPARE(f.colors(), QList<QRgb>({Red, Green, Blue, Green}));
    verifyMadeFrame(f.frame(3), {8, 6}, 60);
    QCOMPARE(f.doc.currentFrame(), 3);
    QVERIFY(f.doc.isModified());

    f.doc.selectFrame(2);
    f.editor.CutItemClick();
    QCOMPARE(f.colors(), QList<QRgb>({Red, Green, Green}));
    QCOMPARE(f.doc.currentFrame(), 2);
    QCOMPARE(f.fakes.clipboard.bitmap().pixel(0, 0), Blue);

    f.doc.selectFrame(0);
    f.editor.insClick();
    QCOMPARE(f.colors(), QList<QRgb>({Blue, Red, Green, Green}));
    QCOMPARE(f.doc.currentFrame(), 0);
    QVERIFY(f.loopOnFirst());
    QVERIFY(!f.frame(1).extensions.front()->isLoop());
    QVERIFY(f.fakes.prompts.asked().isEmpty());
}

// A picture of many more colours than a table holds is quantised on paste; its
// bottom-left colour is then usually not in the table. Looking that colour up appended
// it, pointing the index at a colour the frame never shows, and with a full table the
// paste failed. The index is the entry the bottom-left pixel shows in the frame.
void TestEditor::pasteOfAPhotoKeepsItsTransparentIndexInTheTable() {
    Fixture f;
    QImage photo(128, 128, QImage::Format_ARGB32);
    for (int y = 0; y < 128; ++y)
        for (int x = 0; x < 128; ++x)
            photo.setPixel(x, y, qRgb(x * 2 + 1, y * 2 + 1, (x * 37 + y * 91) % 256));
    f.fakes.clipboard.setBitmap(photo);
    f.editor.PasteClick();

    QVERIFY(f.fakes.prompts.asked().isEmpty());
    QCOMPARE(f.doc.frameCount(), 1);
    const QImage& own = f.doc.image()->ownPicture(0);
    QVERIFY(own.colorCount() > 200 && own.colorCount() <= 256);
    QCOMPARE(int(f.frame(0).graphicControl()->transparentIndex), own.pixelIndex(0, 127));
}

void TestEditor::delayField_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("byUser");
    QTest::addColumn<int>("delay"); // frame 0 starts with 10
    QTest::addColumn<bool>("modified");
    QTest::addColumn<QString>("message");
    QTest::newRow("typed") << "70" << true << 70 << true << QString();
    QTest::newRow("written by the program") << "60" << false << 60 << false << QString();
    QTest::newRow("beyond 16 bits") << "70000" << true << 65535 << true << QString();
    QTest::newRow("emptied") << "" << true << 10 << false
                             << QStringLiteral("'' is not a valid integer value");
    QTest::newRow("lone sign") << "-" << true << 10 << false
                               << QStringLiteral("'-' is not a valid integer value");
}

void TestEditor::delayField() {
    QFETCH(QString, text);
    QFETCH(bool, byUser);
    QFETCH(int, delay);
    QFETCH(bool, modified);
    QFETCH(QString, message);
    Fixture f;
    f.editor.PeriodChange(QStringLiteral("5"), true); // no frame: nothing
    f.loaded(2);
    f.doc.selectFrame(0);
    if (!message.isEmpty()) f.fakes.prompts.expect(message, Prompts::Answer::Ok);
    f.editor.PeriodChange(text, byUser);
    QCOMPARE(int(f.frame(0).graphicControl()->delay), delay);
    QCOMPARE(f.doc.isModified(), modified);
    QCOMPARE(f.fakes.prompts.asked().size(), message.isEmpty() ? 0 : 1);
}

void TestEditor::disposalChoice_data() {
    QTest::addColumn<int>("earlier"); // item chosen at an earlier use, -1 for none
    QTest::addColumn<int>("code");
    QTest::addColumn<int>("answer"); // -1: Cancel
    QTest::addColumn<int>("shown");
    QTest::addColumn<int>("written");
    QTest::newRow("0 shows No disposal, OK writes 1") << -1 << 0 << 0 << 0 << 1;
    QTest::newRow("3 changed to background") << -1 << 3 << 1 << 2 << 2;
    QTest::newRow("6 shows the earlier choice") << 2 << 6 << 2 << 2 << 3;
    QTest::newRow("5 at first use shows item 0") << -1 << 5 << 0 << 0 << 1;
    QTest::newRow("cancel") << -1 << 2 << -1 << 1 << 2;
}

void TestEditor::disposalChoice() {
    QFETCH(int, earlier);
    QFETCH(int, code);
    QFETCH(int, answer);
    QFETCH(int, shown);
    QFETCH(int, written);
    Fixture f;
    vorlane::test::FakeDisposalChooser chooser;
    f.loaded(2);
    f.doc.selectFrame(0);
    if (earlier >= 0) {
        chooser.answer(earlier);
        f.editor.methodeClick(chooser);
        f.doc.setModified(false);
    }
    f.doc.image()->frame(0).graphicControl()->disposal = uint8_t(code);
    chooser.answer(answer < 0 ? std::nullopt : std::optional<int>(answer));
    f.editor.methodeClick(chooser);
    QCOMPARE(chooser.shown().last(), shown);
    QCOMPARE(int(f.frame(0).graphicControl()->disposal), written);
    QCOMPARE(f.doc.isModified(), answer >= 0);
}

QTEST_GUILESS_MAIN(TestEditor)
#include "tst_editor.moc"
