// SPDX-License-Identifier: GPL-3.0-or-later
// The command flags' table of action words and the enabling rules of the window's
// commands, checked as plain values.

#include <QObject>
#include <QTest>

#include "mainwindow/CommandState.h"

using vorlane::ActionWord;
using vorlane::CommandFlags;
using vorlane::WindowState;

Q_DECLARE_METATYPE(vorlane::CommandFlags)
Q_DECLARE_METATYPE(vorlane::ActionWord)

namespace {
// Flags from a string of seven letters in the order cut copy paste remove play stop add,
// upper case for on: "CCPRpsA" = all on but play and stop.
CommandFlags flagsFrom(const char* code) {
    CommandFlags f;
    bool* fields[] = {&f.cut, &f.copy, &f.paste, &f.remove, &f.play, &f.stop, &f.add};
    for (int i = 0; i < 7; ++i)
        *fields[i] = QChar::fromLatin1(code[i]).isUpper();
    return f;
}

WindowState frames(int entries, int current, bool frameViewShown = true) {
    WindowState s;
    s.entries = entries;
    s.current = current;
    s.frameViewShown = frameViewShown;
    s.hasImage = entries > 0;
    return s;
}
} // namespace

class TestCommandState : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void actionWords_data();
    void actionWords();
    void speedBar_data();
    void speedBar();
    void fileMenu();
    void imageAndEditMenus();
    void controlMenu();
    void effectsMenu();
    void animationMenu_data();
    void animationMenu();
};

void TestCommandState::actionWords_data() {
    QTest::addColumn<CommandFlags>("before");
    QTest::addColumn<ActionWord>("word");
    QTest::addColumn<bool>("frameViewShown");
    QTest::addColumn<CommandFlags>("after");

    const CommandFlags allOn = flagsFrom("CCPRPSA");
    const CommandFlags allOff = flagsFrom("ccprpsa");
    QTest::newRow("closed clears everything but add")
        << allOn << ActionWord::Closed << true << flagsFrom("ccprpsA");
    QTest::newRow("opened leaves play and stop")
        << allOff << ActionWord::Opened << true << flagsFrom("CCPRpsA");
    QTest::newRow("opened keeps a set stop")
        << flagsFrom("ccprPSa") << ActionWord::Opened << true << flagsFrom("CCPRPSA");
    QTest::newRow("pasted in the frame view") << allOff << ActionWord::Pasted << true << flagsFrom("CCpRPsA");
    QTest::newRow("pasted while playing changes no flag, add goes off")
        << flagsFrom("ccPrpSA") << ActionWord::Pasted << false << flagsFrom("ccPrpSa");
    QTest::newRow("played") << allOn << ActionWord::Played << false << flagsFrom("ccPrpSa");
    QTest::newRow("alsup turns play and stop off, paste on")
        << flagsFrom("CCpRPSA") << ActionWord::Alsup << true << flagsFrom("ccPrpsA");
    QTest::newRow("selected") << flagsFrom("ccprpSa") << ActionWord::Selected << true << flagsFrom("CCPRPsA");
}

void TestCommandState::actionWords() {
    QFETCH(CommandFlags, before);
    QFETCH(ActionWord, word);
    QFETCH(bool, frameViewShown);
    QFETCH(CommandFlags, after);
    before.check(word, frameViewShown);
    QCOMPARE(before, after);
}

void TestCommandState::speedBar_data() {
    QTest::addColumn<int>("entries");
    QTest::addColumn<int>("current");
    QTest::addColumn<bool>("frameViewShown");
    QTest::addColumn<QString>("navigation"); // rewind back next forward as 1/0

    QTest::newRow("3 frames, first current") << 3 << 0 << true << "0011";
    QTest::newRow("3 frames, last current") << 3 << 2 << true << "1100";
    QTest::newRow("3 frames, middle current") << 3 << 1 << true << "1111";
    QTest::newRow("playing") << 3 << 1 << false << "0000";
    QTest::newRow("frames but none current") << 3 << -1 << true << "1111";
    QTest::newRow("no frames") << 0 << -1 << true << "0000";
    QTest::newRow("one frame") << 1 << 0 << true << "0000";
}

void TestCommandState::speedBar() {
    QFETCH(int, entries);
    QFETCH(int, current);
    QFETCH(bool, frameViewShown);
    QFETCH(QString, navigation);
    CommandFlags flags = flagsFrom("CCPRPsA");
    const vorlane::SpeedBarState s =
        vorlane::speedBarState(flags, frames(entries, current, frameViewShown));
    const QString got = QString::number(int(s.rewind)) + QString::number(int(s.back)) +
                        QString::number(int(s.next)) + QString::number(int(s.forward));
    QCOMPARE(got, navigation);
    QVERIFY(s.play);
    QVERIFY(!s.stop);
    flags.play = false;
    flags.stop = true;
    const vorlane::SpeedBarState playing = vorlane::speedBarState(flags, frames(entries, current));
    QVERIFY(!playing.play);
    QVERIFY(playing.stop);
}

void TestCommandState::fileMenu() {
    WindowState s = frames(3, 1);
    vorlane::FileMenuState m = vorlane::fileMenuState(s);
    QVERIFY(!m.save);
    QVERIFY(m.saveAs && m.saveOptimized);
    QVERIFY(!m.revert);
    QVERIFY(m.addImage && m.insertImage && m.saveImage);

    // Revert needs both the modified and the has-file flag.
    s.modified = true;
    QVERIFY(vorlane::fileMenuState(s).save);
    QVERIFY(!vorlane::fileMenuState(s).revert);
    s.hasFile = true;
    QVERIFY(vorlane::fileMenuState(s).revert);

    // While playing, or without a current frame, the frame commands are off.
    m = vorlane::fileMenuState(frames(3, 1, false));
    QVERIFY(!m.addImage && !m.insertImage && !m.saveImage);
    QVERIFY(m.saveAs);
    m = vorlane::fileMenuState(frames(3, -1));
    QVERIFY(!m.addImage && !m.insertImage && !m.saveImage);

    // Without an image there is nothing to save as.
    m = vorlane::fileMenuState(frames(0, -1));
    QVERIFY(!m.saveAs && !m.saveOptimized);
}

void TestCommandState::imageAndEditMenus() {
    vorlane::ImageMenuState m = vorlane::imageMenuState(frames(3, -1));
    QVERIFY(m.add);
    QVERIFY(!m.insert && !m.remove && !m.move && !m.disposal && !m.duplicate);

    m = vorlane::imageMenuState(frames(3, 0));
    QVERIFY(m.insert && m.remove && m.move && m.disposal && m.duplicate);
    QVERIFY(!m.backward);
    QVERIFY(m.forward);
    m = vorlane::imageMenuState(frames(3, 2));
    QVERIFY(m.backward);
    QVERIFY(!m.forward);

    // During playback every entry is off, shortcuts included.
    const vorlane::ImageMenuState playing = vorlane::imageMenuState(frames(3, 1, false));
    QCOMPARE(playing, vorlane::ImageMenuState{});

    CommandFlags flags = flagsFrom("CcPRPsA");
    WindowState s = frames(3, 1);
    vorlane::EditMenuState e = vorlane::editMenuState(flags, s);
    QVERIFY(e.cut && !e.copy && e.remove);
    QVERIFY(!e.paste); // the paste submenu follows the clipboard, not the paste flag
    s.clipboardHasBitmap = true;
    QVERIFY(vorlane::editMenuState(flags, s).paste);
}

void TestCommandState::controlMenu() {
    CommandFlags flags = flagsFrom("CCPRPsA");
    vorlane::ControlMenuState m = vorlane::controlMenuState(flags, frames(5, 4));
    QVERIFY(m.play && !m.stop && m.next && m.back);
    QVERIFY(!vorlane::controlMenuState(flags, frames(1, 0)).next);
    QVERIFY(!vorlane::controlMenuState(flags, frames(5, -1)).back);
    flags.check(ActionWord::Played, false);
    m = vorlane::controlMenuState(flags, frames(5, 4, false));
    QVERIFY(!m.play && m.stop && !m.next && !m.back);
}

void TestCommandState::effectsMenu() {
    QCOMPARE(vorlane::effectsMenuState(frames(3, -1)), vorlane::EffectsMenuState{});
    const vorlane::EffectsMenuState first = vorlane::effectsMenuState(frames(3, 0));
    QVERIFY(first.scroll);
    QVERIFY(!first.replacement && !first.wipe && !first.fade && !first.separation);
    const vorlane::EffectsMenuState later = vorlane::effectsMenuState(frames(3, 2));
    QVERIFY(later.scroll && later.replacement && later.wipe && later.fade && later.separation);
}

Q_DECLARE_METATYPE(vorlane::WindowState)

void TestCommandState::animationMenu_data() {
    QTest::addColumn<WindowState>("state");
    QTest::addColumn<QString>("enabled"); // geometry, order, timing
    QTest::newRow("no frames") << frames(0, -1) << QStringLiteral("---");
    QTest::newRow("one frame") << frames(1, 0) << QStringLiteral("g-t");
    QTest::newRow("frames, none current") << frames(4, -1) << QStringLiteral("got");
    QTest::newRow("playing") << frames(4, 2, false) << QStringLiteral("---");
    WindowState noImage = frames(2, 0);
    noImage.hasImage = false;
    QTest::newRow("no image") << noImage << QStringLiteral("---");
}

void TestCommandState::animationMenu() {
    QFETCH(WindowState, state);
    QFETCH(QString, enabled);
    const vorlane::AnimationMenuState s = vorlane::animationMenuState(state);
    const QString seen = QStringLiteral("%1%2%3")
                             .arg(s.geometry ? QLatin1Char('g') : QLatin1Char('-'))
                             .arg(s.order ? QLatin1Char('o') : QLatin1Char('-'))
                             .arg(s.timing ? QLatin1Char('t') : QLatin1Char('-'));
    QCOMPARE(seen, enabled);
}

QTEST_GUILESS_MAIN(TestCommandState)
#include "tst_commandstate.moc"
