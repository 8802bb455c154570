// SPDX-License-Identifier: GPL-3.0-or-later
// The guidance dialogs on their own: the welcome dialog's rows and choices, the how-to
// counter, the settings both keep, the About dialog's addresses and the splash window.

#include <QCheckBox>
#include <QFile>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QTest>
#include <QTextBrowser>

#include "BuildInfo.h"
#include "dialogs/About.h"
#include "dialogs/SmallTuto.h"
#include "dialogs/SplashScreen.h"
#include "dialogs/WelcomeActions.h"
#include "support/FakePlatform.h"

using vorlane::Endpoints;
using vorlane::TAboutBox;
using vorlane::THowForm;
using vorlane::Twelcome;
using vorlane::WelcomeChoice;
using vorlane::test::FakeShell;
using vorlane::test::MemorySettings;

namespace {
const QString Recent = QStringLiteral("\\Software\\Vorlane Gif\\Recent");

QStringList rows(const QListWidget* list) {
    QStringList texts;
    for (int i = 0; i < list->count(); ++i)
        texts << list->item(i)->text();
    return texts;
}

template <typename T> T* child(const QObject* parent, const char* name) {
    return parent->findChild<T*>(QLatin1String(name));
}
} // namespace

class TestDialogs : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void welcomeRowsFollowTheRecentFiles_data();
    void welcomeRowsFollowTheRecentFiles();
    void welcomeKeepsTheChoicesExclusive();
    void welcomeClosing();
    void welcomeRemembersItsCheckBox();
    void howToKeepsItsTick();
    void aboutOpensTheAddresses();
    void aboutShowsVersionLicenceAndCredits();
    void splashIsTheFramedPicture();
};

void TestDialogs::welcomeRowsFollowTheRecentFiles_data() {
    QTest::addColumn<QStringList>("recent"); // F1..F4; "-" leaves the value missing
    QTest::addColumn<QStringList>("shown");
    QTest::addColumn<int>("lastRowOpens"); // the recent entry behind the last row

    const QString other = Twelcome::OtherFiles;
    QTest::newRow("one of four set")
        << QStringList{QStringLiteral("/home/u/anims/walk.gif"), QString(), QStringLiteral("-"),
                       QStringLiteral("-")}
        << QStringList{other, QStringLiteral("walk.gif")} << 1;
    // Rows skip unset entries; the row must still open the file it shows.
    QTest::newRow("first unset") << QStringList{QString(), QStringLiteral("/a/b.gif"),
                                                QStringLiteral("-"), QStringLiteral("-")}
                                 << QStringList{other, QStringLiteral("b.gif")} << 2;
    QTest::newRow("gap in the middle")
        << QStringList{QStringLiteral("/a/one.gif"), QString(), QStringLiteral("/a/three.gif"),
                       QStringLiteral("/a/four.gif")}
        << QStringList{other, QStringLiteral("one.gif"), QStringLiteral("three.gif"),
                       QStringLiteral("four.gif")}
        << 4;
    QTest::newRow("none") << QStringList{QStringLiteral("-"), QStringLiteral("-"),
                                         QStringLiteral("-"), QStringLiteral("-")}
                          << QStringList{other} << 0;
}

void TestDialogs::welcomeRowsFollowTheRecentFiles() {
    QFETCH(QStringList, recent);
    QFETCH(QStringList, shown);
    QFETCH(int, lastRowOpens);
    MemorySettings settings;
    for (int i = 0; i < 4; ++i)
        if (recent[i] != QLatin1String("-"))
            settings.writeString(Recent, QStringLiteral("F%1").arg(i + 1), recent[i]);
    Twelcome welcome(&settings);
    welcome.FormShow();
    welcome.FormShow(); // a second showing lists each file once
    QCOMPARE(rows(welcome.list()), shown);

    child<QRadioButton>(&welcome, "opengif")->click();
    welcome.list()->setCurrentRow(welcome.list()->count() - 1);
    const WelcomeChoice choice = welcome.choice();
    QCOMPARE(choice.kind, WelcomeChoice::Kind::OpenExisting);
    QCOMPARE(choice.row, lastRowOpens);
}

void TestDialogs::welcomeKeepsTheChoicesExclusive() {
    Twelcome welcome(nullptr);
    auto* newanime = child<QRadioButton>(&welcome, "newanime");
    auto* assiste = child<QRadioButton>(&welcome, "assiste");
    auto* opengif = child<QRadioButton>(&welcome, "opengif");
    QVERIFY(newanime->isChecked());
    QVERIFY(!welcome.list()->isEnabled());
    QCOMPARE(welcome.choice().kind, WelcomeChoice::Kind::NewAnimation);

    // Opening with nothing selected selects "Other files...".
    opengif->click();
    QVERIFY(!newanime->isChecked() && !assiste->isChecked());
    QVERIFY(welcome.list()->isEnabled());
    QCOMPARE(welcome.list()->currentRow(), 0);
    QCOMPARE(welcome.choice().row, 0);

    // The radios sit in two groups, yet one choice holds.
    assiste->click();
    QVERIFY(!opengif->isChecked() && !newanime->isChecked());
    QVERIFY(!welcome.list()->isEnabled());
    QCOMPARE(welcome.choice().kind, WelcomeChoice::Kind::Wizard);
    newanime->click();
    QVERIFY(!assiste->isChecked() && !opengif->isChecked());
    QCOMPARE(welcome.choice().kind, WelcomeChoice::Kind::NewAnimation);
}

void TestDialogs::welcomeClosing() {
    MemorySettings settings;
    settings.writeString(Recent, QStringLiteral("F1"), QStringLiteral("/x/walk.gif"));
    Twelcome welcome(&settings);
    QSignalSpy hints(&welcome, &Twelcome::hintRequested);

    // OK with "New Gif animation" asks for the "Add image" hint.
    welcome.FormShow();
    welcome.show();
    child<QPushButton>(&welcome, "Button2")->click();
    QCOMPARE(welcome.result(), int(QDialog::Accepted));
    QVERIFY(!welcome.isVisible());
    QCOMPARE(hints.size(), 1);

    // A double click on a recent row answers OK with that file, and no hint.
    welcome.FormShow();
    welcome.show();
    child<QRadioButton>(&welcome, "opengif")->click();
    QListWidgetItem* row = welcome.list()->item(1);
    welcome.list()->setCurrentItem(row);
    Q_EMIT welcome.list()->itemDoubleClicked(row);
    QCOMPARE(welcome.result(), int(QDialog::Accepted));
    QCOMPARE(welcome.choice().row, 1);
    QCOMPARE(hints.size(), 1);

    welcome.show();
    child<QPushButton>(&welcome, "Button1")->click();
    QCOMPARE(welcome.result(), int(QDialog::Rejected));
}

void TestDialogs::welcomeRemembersItsCheckBox() {
    MemorySettings settings;
    const QString key = QStringLiteral("Software\\Vorlane Gif\\Welcome Settings");
    {
        Twelcome fresh(&settings);
        QVERIFY(!fresh.startupSuppressed());
        fresh.show();
        fresh.checkstart()->setChecked(true);
        fresh.reject(); // the tick counts even when the dialog is cancelled
    }
    QCOMPARE(settings.readInt(key, QStringLiteral("Checkstart.Checked")), 1);
    Twelcome next(&settings);
    QVERIFY(next.startupSuppressed());
}

void TestDialogs::howToKeepsItsTick() {
    // The start-up's count is tested with the window; here, once ticked, never again.
    const QString key = QStringLiteral("Software\\Vorlane Gif\\How Settings");
    MemorySettings settings;
    {
        THowForm howTo(&settings);
        howTo.show();
        howTo.dontshow()->setChecked(true);
        child<QPushButton>(&howTo, "Button1")->click();
        QVERIFY(!howTo.isVisible());
    }
    QCOMPARE(settings.readInt(key, QStringLiteral("Dontshow.Checked")), 1);
    THowForm again(&settings);
    QCOMPARE(again.automaticShowings(), 0);
    QVERIFY(!again.dueAtStartUp());
}

void TestDialogs::aboutOpensTheAddresses() {
    FakeShell shell;
    const Endpoints endpoints{QStringLiteral("https://home.example/en/"),
                              QStringLiteral("mailto:me@home.example")};
    TAboutBox about(&shell, endpoints);
    about.show();
    QCOMPARE(about.link()->text(), endpoints.homePage);
    QCOMPARE(about.link()->cursor().shape(), Qt::PointingHandCursor);

    QTest::mouseClick(about.link(), Qt::LeftButton);
    child<QPushButton>(&about, "Button4")->click();
    about.mailClick();
    QCOMPARE(shell.opened(),
             (QStringList{endpoints.homePage, endpoints.homePage, endpoints.contactMail}));
    QVERIFY(about.isVisible()); // the web site opens beside the dialog
    child<QPushButton>(&about, "OKButton")->click();
    QVERIFY(!about.isVisible());
}

void TestDialogs::aboutShowsVersionLicenceAndCredits() {
    TAboutBox about(nullptr, Endpoints{});
    // The version line keeps its design text, with the version the build was made as.
    QCOMPARE(child<QLabel>(&about, "Version")->text(), QStringLiteral("Vorlane Gif - Version 3.2.0"));
    QVERIFY(child<QLabel>(&about, "Licence")->text().contains(
        QLatin1String("GNU General Public License, version 3 or (at your option) any later")));
    const QString credits = child<QTextBrowser>(&about, "Credits")->toPlainText();
    // The package's copyright file names the same libraries as the dialog.
    QFile copyright(QStringLiteral(VORLANE_SOURCE_DIR "/packaging/copyright"));
    QVERIFY(copyright.open(QIODevice::ReadOnly));
    const QString listed = QString::fromUtf8(copyright.readAll());
    for (const char* library : {"Qt 6", "zlib", "libpng", "libjpeg-turbo", "libtiff", "libwebp",
                                "ImageMagick"}) {
        const bool shown = QLatin1String(library) != QLatin1String("ImageMagick") ||
                           vorlane::build::WithImageMagick;
        QCOMPARE(credits.contains(QLatin1String(library)), shown);
        QVERIFY2(listed.contains(QLatin1String(library)), library);
    }
    QVERIFY(credits.contains(QLatin1String("GNU Lesser General Public License 3.0")));
}

void TestDialogs::splashIsTheFramedPicture() {
    vorlane::TSplashForm splash;
    QCOMPARE(splash.size(), QSize(394, 223));
    const auto* picture = child<QLabel>(&splash, "Image1");
    QCOMPARE(picture->pixmap().size(), QSize(392, 221));
    QVERIFY(splash.windowFlags() & Qt::FramelessWindowHint);
    QVERIFY(splash.windowFlags() & Qt::WindowStaysOnTopHint);
    // The one-pixel frame shows on all four sides (regression: the picture covered the
    // right and bottom lines).
    splash.show();
    QVERIFY(QTest::qWaitForWindowExposed(&splash));
    QCOMPARE(picture->geometry(), QRect(QPoint(1, 1), picture->pixmap().size()));
    const QImage shot = splash.grab().toImage();
    const QRgb line = shot.pixel(0, 0);
    for (const QPoint p : {QPoint(200, 0), QPoint(0, 100), QPoint(393, 100), QPoint(200, 222),
                           QPoint(393, 222)})
        QCOMPARE(shot.pixel(p), line);
    QVERIFY(shot.pixel(1, 1) != line || shot.pixel(392, 221) != line);
}

QTEST_MAIN(TestDialogs)
#include "tst_dialogs.moc"
