// SPDX-License-Identifier: GPL-3.0-or-later
// The help pages as they ship, and the help window over them: every link and picture of
// every page resolves, the contents list every page, the focus decides the page F1
// opens, and the window's title, history, search and outside links behave.

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QLineEdit>
#include <QListWidget>
#include <QRegularExpression>
#include <QSet>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBrowser>
#include <QToolButton>

#include "BuildInfo.h"
#include "help/HelpPages.h"
#include "help/HelpWindow.h"
#include "support/FakePlatform.h"

using namespace vorlane;

namespace {
const QString Source = QStringLiteral(VORLANE_HELP_SOURCE);

QString readAll(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return {};
    return QString::fromUtf8(file.readAll());
}

QStringList pages() {
    return QDir(Source).entryList({QStringLiteral("*.html")}, QDir::Files, QDir::Name);
}

bool makeFile(const QString& path) {
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    return file.open(QIODevice::WriteOnly);
}
} // namespace

class TestHelp : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void everyLinkAndPictureResolves();
    void contentsListEveryPageOnce();
    void contextPicksThePage_data();
    void contextPicksThePage();
    void searchNeedsEveryWordAccentsAside();
    void helpFolderInstalledOrBesideTheProgram();
    void windowFollowsLinksAndHistory();
    void outsideLinksGoToTheShell();
    void missingFolderSaysWhereItLooked();
};

void TestHelp::everyLinkAndPictureResolves() {
    static const QRegularExpression reference(
        QStringLiteral("\\b(?:href|src)\\s*=\\s*\"([^\"]*)\""));
    QStringList broken;
    for (const QString& page : pages()) {
        const QString html = readAll(Source + QLatin1Char('/') + page);
        QVERIFY2(!html.isEmpty(), qPrintable(page));
        auto refs = reference.globalMatch(html);
        while (refs.hasNext()) {
            const QString target = refs.next().captured(1);
            if (target.contains(QLatin1Char(':'))) continue; // http:, mailto:
            const QString file = target.section(QLatin1Char('#'), 0, 0);
            if (!file.isEmpty() && !QFileInfo::exists(Source + QLatin1Char('/') + file))
                broken << page + QStringLiteral(" -> ") + target;
        }
    }
    QVERIFY2(broken.isEmpty(), qPrintable(broken.join(QStringLiteral(", "))));
}

void TestHelp::contentsListEveryPageOnce() {
    const QList<help::Topic> topics =
        help::contentsOf(readAll(Source + QLatin1Char('/') + help::IndexPage));
    QStringList listed;
    for (const help::Topic& topic : topics) {
        QVERIFY2(!topic.title.isEmpty(), qPrintable(topic.page));
        listed << topic.page;
    }
    QVERIFY(topics.size() >= 10);
    QCOMPARE(QSet<QString>(listed.begin(), listed.end()).size(), listed.size());
    QStringList expected = pages();
    expected.removeOne(help::IndexPage);
    listed.sort();
    QCOMPARE(listed, expected);
}

void TestHelp::contextPicksThePage_data() {
    QTest::addColumn<QStringList>("upward");
    QTest::addColumn<QString>("page");
    const auto names = [](const char* chain) {
        return QString::fromLatin1(chain).split(QLatin1Char(' '));
    };
    QTest::newRow("main window") << names("Panel2 Centre Mainform") << help::IndexPage;
    QTest::newRow("delay field") << names("Period body pnlRate SidePanel Mainform")
                                 << QStringLiteral("delay-disposal.html");
    QTest::newRow("comment box") << names("Gifcomment body pnlComments SidePanel Mainform")
                                 << QStringLiteral("loop-comment.html");
    QTest::newRow("loop count") << names("NumLoops body pnlloop SidePanel Mainform")
                                << QStringLiteral("loop-comment.html");
    QTest::newRow("strip") << names("ImageScroll Panel1 pnlFrames Centre Mainform")
                           << QStringLiteral("strip-playback.html");
    QTest::newRow("wizard field") << names("Nom P1 pages assform") << QStringLiteral("wizard.html");
    QTest::newRow("effect dialog")
        << names("combo pancombo Effects") << QStringLiteral("effects.html");
    QTest::newRow("disposal dialog")
        << names("disCombo Dispo") << QStringLiteral("delay-disposal.html");
    QTest::newRow("welcome") << names("List welcome") << QStringLiteral("getting-started.html");
    QTest::newRow("recovery dialog")
        << names("copies RecoverWork") << QStringLiteral("recovery.html");
    QTest::newRow("crop dialog") << names("CropView qt_scrollarea_viewport CropScroll CropDialog")
                                 << QStringLiteral("animation-tools.html");
    QTest::newRow("nothing") << QStringList{} << help::IndexPage;
}

void TestHelp::contextPicksThePage() {
    QFETCH(QStringList, upward);
    QFETCH(QString, page);
    QCOMPARE(help::pageForContext(upward), page);
    QVERIFY(QFileInfo::exists(Source + QLatin1Char('/') + page));
}

void TestHelp::searchNeedsEveryWordAccentsAside() {
    QTemporaryDir dir;
    const auto write = [&](const char* name, const char* body) {
        QFile file(dir.filePath(QLatin1String(name)));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(body);
    };
    write("a.html", "<p>The <b>wipe</b> uncovers the image</p>");
    write("b.html", "<p>S\xc3\xa9paration of the image halves</p>");
    help::SearchIndex index;
    index.build(dir.path(), {{QStringLiteral("a.html"), QStringLiteral("Wipe")},
                             {QStringLiteral("b.html"), QStringLiteral("Split")},
                             {QStringLiteral("gone.html"), QStringLiteral("Gone")}});
    const auto pagesOf = [&](const char* query) {
        QStringList found;
        for (const help::Topic& t : index.find(QLatin1String(query)))
            found << t.page;
        return found;
    };
    QCOMPARE(pagesOf("IMAGE"), (QStringList{QStringLiteral("a.html"), QStringLiteral("b.html")}));
    QCOMPARE(pagesOf("image wipe"), QStringList{QStringLiteral("a.html")});
    QCOMPARE(pagesOf("separation"), QStringList{QStringLiteral("b.html")});
    QCOMPARE(pagesOf("split"), QStringList{QStringLiteral("b.html")}); // the title counts
    QVERIFY(pagesOf("   ").isEmpty());
    QVERIFY(pagesOf("wipe halves").isEmpty());
}

void TestHelp::helpFolderInstalledOrBesideTheProgram() {
    QTemporaryDir dir;
    const QString program = dir.filePath(QStringLiteral("prefix/bin"));
    QVERIFY(QDir().mkpath(program));
    QVERIFY(help::findHelpFolder(program).isEmpty());

    const QString beside = program + QStringLiteral("/help");
    QVERIFY(makeFile(beside + QStringLiteral("/index.html")));
    QCOMPARE(help::findHelpFolder(program), QDir::cleanPath(beside));

    // Installed, the share/ folder is found from the program's own folder, and wins.
    const QString installed = dir.filePath(QStringLiteral("prefix/share/vorlane-gif/help"));
    QVERIFY(makeFile(installed + QStringLiteral("/index.html")));
    QCOMPARE(help::findHelpFolder(program), QDir::cleanPath(installed));
    QCOMPARE(QLatin1String(build::HelpFolderFromProgram),
             QLatin1String("../share/vorlane-gif/help"));
}

void TestHelp::windowFollowsLinksAndHistory() {
    HelpWindow window(Source, nullptr);
    window.showPage(help::IndexPage);
    QCOMPARE(window.windowTitle(), QStringLiteral("Vorlane Gif Help"));
    QCOMPARE(window.contents()->count(), int(window.topics().size()) + 1);

    // A link inside a page stays in the window.
    Q_EMIT window.browser()->anchorClicked(QUrl(QStringLiteral("effects.html")));
    QCOMPARE(window.currentPage(), QStringLiteral("effects.html"));
    QCOMPARE(window.windowTitle(), QStringLiteral("Transition effects - Vorlane Gif Help"));
    QCOMPARE(window.contents()->currentItem()->text(), QStringLiteral("Transition effects"));

    auto* back = window.findChild<QToolButton*>(QStringLiteral("HelpBack"));
    auto* forward = window.findChild<QToolButton*>(QStringLiteral("HelpForward"));
    QVERIFY(back->isEnabled());
    QVERIFY(!forward->isEnabled());
    back->click();
    QCOMPARE(window.currentPage(), help::IndexPage);
    QVERIFY(forward->isEnabled());
    forward->click();
    QCOMPARE(window.currentPage(), QStringLiteral("effects.html"));

    // The contents list opens its pages; a search lists the pages holding its words.
    window.contents()->itemClicked(window.contents()->item(1));
    QCOMPARE(window.currentPage(), window.topics().first().page);
    window.search()->setText(QStringLiteral("Ctrl+Alt+R"));
    QVERIFY(window.results()->isVisibleTo(&window));
    QVERIFY(!window.contents()->isVisibleTo(&window));
    QStringList found;
    for (int i = 0; i < window.results()->count(); ++i)
        found << window.results()->item(i)->text();
    QVERIFY2(found.contains(QStringLiteral("Keyboard shortcuts")),
             qPrintable(found.join(QStringLiteral(","))));
    window.search()->clear();
    QVERIFY(window.contents()->isVisibleTo(&window));
}

void TestHelp::outsideLinksGoToTheShell() {
    test::FakeShell shell;
    HelpWindow window(Source, &shell);
    window.showPage(QStringLiteral("getting-started.html"));
    Q_EMIT window.browser()->anchorClicked(QUrl(QStringLiteral("https://example.org/x")));
    QCOMPARE(shell.opened(), QStringList{QStringLiteral("https://example.org/x")});
    QCOMPARE(window.currentPage(), QStringLiteral("getting-started.html"));
}

void TestHelp::missingFolderSaysWhereItLooked() {
    HelpWindow window(QString(), nullptr);
    window.showPage(QStringLiteral("effects.html"));
    QVERIFY(window.isVisible());
    QCOMPARE(window.windowTitle(), QStringLiteral("Vorlane Gif Help"));
    QVERIFY(window.browser()->toPlainText().contains(QStringLiteral("not installed")));
}

QTEST_MAIN(TestHelp)
#include "tst_help.moc"
