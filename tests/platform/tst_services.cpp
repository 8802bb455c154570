// SPDX-License-Identifier: GPL-3.0-or-later
// The Qt platform services that need no widgets: where the settings store keeps its
// keys, file-type filters for the dialogs, shell targets, and the clipboard.

#include <QGuiApplication>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

#include "platform/FileFilter.h"
#include "platform/QtClipboard.h"
#include "platform/QtSettingsStore.h"
#include "platform/QtShell.h"

using namespace vorlane;

class TestServices : public QObject {
    Q_OBJECT

    QTemporaryDir m_config;

private Q_SLOTS:
    void initTestCase() {
        // The user's own store is looked up under XDG_CONFIG_HOME; pointing it at a
        // temporary folder before any QSettings is made keeps the user's settings out
        // of reach.
        QVERIFY(m_config.isValid());
        qputenv("XDG_CONFIG_HOME", m_config.path().toLocal8Bit());
    }

    // ---- settings store ----

    void groupOfKey_data() {
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("group");
        QTest::newRow("recent") << "\\Software\\Vorlane Gif\\Recent"
                                << "Recent";
        QTest::newRow("section") << "Software\\Vorlane Gif\\Mainform Settings"
                                 << "Mainform Settings";
        QTest::newRow("organisation itself") << "Software\\Vorlane Gif"
                                             << "";
        QTest::newRow("deeper") << "\\Software\\Vorlane Gif\\A\\B"
                                << "A/B";
        QTest::newRow("elsewhere") << "\\Software\\Other\\X"
                                   << "Software/Other/X";
    }
    void groupOfKey() {
        QFETCH(QString, key);
        QFETCH(QString, group);
        QCOMPARE(QtSettingsStore::groupOf(key), group);
    }

    void userStoreLivesInTheUsersConfigFolder() {
        QtSettingsStore store;
        const QString location = store.location();
        QVERIFY2(location.startsWith(m_config.path()), qPrintable(location));
        QCOMPARE(location, m_config.filePath(QStringLiteral("Vorlane Gif.conf")));
        store.writeString(QStringLiteral("\\Software\\Vorlane Gif\\Recent"), QStringLiteral("F1"),
                          QStringLiteral("/home/a.gif"));
        store.writeInt(QStringLiteral("Software\\Vorlane Gif\\How Settings"),
                       QStringLiteral("Count"), 2);
        store.sync();
        QSettings ini(location, QSettings::IniFormat);
        QCOMPARE(ini.value(QStringLiteral("Recent/F1")).toString(), QStringLiteral("/home/a.gif"));
        QCOMPARE(ini.value(QStringLiteral("How Settings/Count")).toInt(), 2);
    }

    void valuesRoundTripThroughAFile() {
        QTemporaryDir dir;
        const QString file = dir.filePath(QStringLiteral("s.ini"));
        const QString key = QStringLiteral("Software\\Vorlane Gif\\Welcome Settings");
        {
            QtSettingsStore store(file);
            QVERIFY(!store.contains(key, QStringLiteral("Name")));
            QCOMPARE(store.readString(key, QStringLiteral("Name"), QStringLiteral("none")),
                     QStringLiteral("none"));
            QCOMPARE(store.readInt(key, QStringLiteral("Left"), 7), 7);
            store.writeString(key, QStringLiteral("Name"), QStringLiteral("a b\\c;d"));
            store.writeInt(key, QStringLiteral("Left"), -12);
            store.writeString(key, QStringLiteral("Word"), QStringLiteral("twelve"));
            store.sync();
        }
        QtSettingsStore again(file);
        QVERIFY(again.contains(key, QStringLiteral("Name")));
        QCOMPARE(again.readString(key, QStringLiteral("Name")), QStringLiteral("a b\\c;d"));
        QCOMPARE(again.readInt(key, QStringLiteral("Left")), -12);
        // Text that is no number reads as the fallback, not as 0.
        QCOMPARE(again.readInt(key, QStringLiteral("Word"), 5), 5);
        // A leading backslash names the same key.
        QCOMPARE(again.readInt(QLatin1Char('\\') + key, QStringLiteral("Left")), -12);
    }

    // ---- file filters ----

    void qtFilters_data() {
        QTest::addColumn<QString>("filter");
        QTest::addColumn<QStringList>("qt");
        QTest::newRow("two types") << "GIF image (*.gif)|*.gif|Vorlane Gif Format (*.vlgf)|*.vlgf"
                                   << QStringList{QStringLiteral("GIF image (*.gif)"),
                                                  QStringLiteral("Vorlane Gif Format (*.vlgf)")};
        QTest::newRow("patterns not shown")
            << "Pictures|*.png;*.jpg" << QStringList{QStringLiteral("Pictures (*.png *.jpg)")};
        QTest::newRow("description differs from pattern")
            << "Bitmap (*.bmp)|*.bmp;*.dib"
            << QStringList{QStringLiteral("Bitmap (*.bmp) (*.bmp *.dib)")};
        QTest::newRow("no pattern") << "All" << QStringList{QStringLiteral("All (*)")};
        QTest::newRow("empty") << "" << QStringList{};
    }
    void qtFilters() {
        QFETCH(QString, filter);
        QFETCH(QStringList, qt);
        QCOMPARE(filefilter::toQt(filter), qt);
    }

    void suffixFollowsTheChosenFilter_data() {
        QTest::addColumn<QString>("selected");
        QTest::addColumn<QString>("defaultExtension");
        QTest::addColumn<QString>("suffix");
        QTest::newRow("gif") << "GIF image (*.gif)"
                             << "gif"
                             << "gif";
        QTest::newRow("own type") << "Vorlane Gif format (*.vlgf)"
                                  << "gif"
                                  << "vlgf";
        QTest::newRow("several patterns") << "Both (*.gif *.vlgf)"
                                          << "gif"
                                          << "gif";
        QTest::newRow("no default extension") << "Vorlane Gif format (*.vlgf)"
                                              << ""
                                              << "";
        QTest::newRow("unknown filter") << "Other (*.x)"
                                        << "gif"
                                        << "gif";
    }
    void suffixFollowsTheChosenFilter() {
        QFETCH(QString, selected);
        QFETCH(QString, defaultExtension);
        QFETCH(QString, suffix);
        const QString filter = QStringLiteral(
            "GIF image (*.gif)|*.gif|Vorlane Gif format (*.vlgf)|*.vlgf|Both|*.gif;*.vlgf");
        QCOMPARE(filefilter::suffixFor(filter, selected, defaultExtension), suffix);
    }

    // ---- shell ----

    void shellTargets_data() {
        QTest::addColumn<QString>("target");
        QTest::addColumn<QString>("url");
        QTest::newRow("file") << "/opt/vorlane/Vorlane.chm"
                              << "file:///opt/vorlane/Vorlane.chm";
        QTest::newRow("file with spaces") << "/a b/c#d.chm"
                                          << "file:///a%20b/c%23d.chm";
        QTest::newRow("web") << "http://www.example.com/download.html"
                             << "http://www.example.com/download.html";
        QTest::newRow("secure web") << "https://example.com/a?b=c"
                                    << "https://example.com/a?b=c";
        QTest::newRow("mail") << "mailto:contact@example.com"
                              << "mailto:contact@example.com";
    }
    void shellTargets() {
        QFETCH(QString, target);
        QFETCH(QString, url);
        QCOMPARE(QtShell::urlFor(target).toString(QUrl::FullyEncoded), url);
    }

    // ---- clipboard ----

    void clipboardCarriesABitmap() {
        QtClipboard clipboard;
        QImage picture(3, 2, QImage::Format_RGB32);
        picture.fill(qRgb(10, 20, 30));
        picture.setPixel(2, 1, qRgb(200, 100, 0));
        clipboard.setBitmap(picture);
        QVERIFY(clipboard.hasBitmap());
        const QImage back = clipboard.bitmap().convertToFormat(QImage::Format_RGB32);
        QCOMPARE(back, picture);
    }
};

QTEST_MAIN(TestServices)
#include "tst_services.moc"
