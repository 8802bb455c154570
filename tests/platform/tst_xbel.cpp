// SPDX-License-Identifier: GPL-3.0-or-later
// The desktop's list of recently used files (recently-used.xbel): made when missing,
// other programs' entries kept, our entry updated in place, a malformed file left alone,
// and, over random sequences, the same bookmarks and counts as a plain model of the list.

#include <map>
#include <random>

#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>
#include <QXmlStreamReader>

#include "XbelSample.h"
#include "document/AnimationModel.h"
#include "document/DesktopRecent.h"
#include "document/DocumentFiles.h"
#include "document/RecentFiles.h"
#include "platform/XbelRecentDocuments.h"
#include "support/FakePlatform.h"

using vorlane::XbelRecentDocuments;

namespace {
const QString BookmarkNs = QStringLiteral("http://www.freedesktop.org/standards/desktop-bookmarks");

// What a reader of the list sees: per href, the applications with their counts, and the
// mime type. Read with namespace processing, so prefixes do not matter.
struct Entry {
    QString mime;
    std::map<QString, int> counts; // application name -> count
    QString modified;
};
using Listing = std::map<QString, Entry>;

std::optional<Listing> read(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return std::nullopt;
    QXmlStreamReader r(&file);
    Listing listing;
    QString href;
    while (!r.atEnd()) {
        if (r.readNext() != QXmlStreamReader::StartElement) continue;
        if (r.name() == QLatin1String("bookmark") && r.namespaceUri().isEmpty()) {
            href = r.attributes().value(QStringLiteral("href")).toString();
            listing[href].modified = r.attributes().value(QStringLiteral("modified")).toString();
        } else if (r.name() == QLatin1String("mime-type")) {
            listing[href].mime = r.attributes().value(QStringLiteral("type")).toString();
        } else if (r.name() == QLatin1String("application") && r.namespaceUri() == BookmarkNs) {
            listing[href].counts[r.attributes().value(QStringLiteral("name")).toString()] =
                r.attributes().value(QStringLiteral("count")).toInt();
        }
    }
    if (r.hasError()) return std::nullopt;
    return listing;
}

QString url(const QString& path) {
    return QUrl::fromLocalFile(path).toString(QUrl::FullyEncoded);
}

void writeFile(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}
} // namespace

class TestXbel : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void madeWhenMissing();
    void keepsOtherProgramsEntries();
    void leavesAMalformedFileAlone_data();
    void leavesAMalformedFileAlone();
    void sameAsAModelOverRandomUse();
    void recordedFilesReachTheDesktop();
};

void TestXbel::madeWhenMissing() {
    QTemporaryDir dir;
    const QString list = dir.filePath(QStringLiteral("share/recently-used.xbel"));
    XbelRecentDocuments recent(list);
    recent.setClock([] { return QDateTime(QDate(2026, 5, 4), QTime(3, 2, 1, 500), Qt::UTC); });
    const QString file = dir.filePath(QStringLiteral("dé jà/walk #1.gif"));
    QVERIFY(recent.add(file, QStringLiteral("image/gif")));
    const auto listing = read(list);
    QVERIFY(listing);
    QCOMPARE(listing->size(), size_t(1));
    const Entry& e = listing->at(url(file));
    QCOMPARE(e.mime, QStringLiteral("image/gif"));
    QCOMPARE(e.counts.at(QStringLiteral("Vorlane Gif")), 1);
    QCOMPARE(e.modified, QStringLiteral("2026-05-04T03:02:01.500Z"));
    QVERIFY(url(file).contains(QLatin1String("%20")));
}

void TestXbel::keepsOtherProgramsEntries() {
    QTemporaryDir dir;
    const QString list = dir.filePath(QStringLiteral("recently-used.xbel"));
    writeFile(list, Foreign);
    XbelRecentDocuments recent(list);
    // Our entry on the other program's bookmark joins its application list.
    QVERIFY(recent.add(QStringLiteral("/home/u/notes.txt"), QStringLiteral("text/plain")));
    QVERIFY(recent.add(QStringLiteral("/home/u/a.gif"), QStringLiteral("image/gif")));
    const auto listing = read(list);
    QVERIFY(listing);
    const Entry& notes = listing->at(QStringLiteral("file:///home/u/notes.txt"));
    QCOMPARE(notes.counts.at(QStringLiteral("Text Editor")), 3);
    QCOMPARE(notes.counts.at(QStringLiteral("Vorlane Gif")), 1);
    QCOMPARE(listing->at(QStringLiteral("file:///home/u/a.gif")).counts.size(), size_t(1));

    // What we do not know stays, with the other program's prefix.
    QFile file(list);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QString text = QString::fromUtf8(file.readAll());
    for (const char* kept :
         {"<!-- written by someone else -->", "<bm:private/>",
          "<bm:group>Editors &amp; friends</bm:group>", "added=\"2024-01-02T03:04:05.000006Z\""})
        QVERIFY2(text.contains(QLatin1String(kept)), kept);
    QVERIFY(!text.contains(QLatin1String("xmlns:bookmark"))); // the file's own prefix serves
}

void TestXbel::leavesAMalformedFileAlone_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::newRow("cut short") << QByteArray(Foreign).left(300);
    QTest::newRow("not xbel") << QByteArray("<?xml version=\"1.0\"?><html><body/></html>");
    QTest::newRow("not xml") << QByteArray("\x00\x01 binary", 9);
    QTest::newRow("empty") << QByteArray();
    QByteArray deep = "<xbel>";
    for (int i = 0; i < 200; ++i)
        deep += "<a>";
    QTest::newRow("absurdly deep") << deep;
}

void TestXbel::leavesAMalformedFileAlone() {
    QFETCH(QByteArray, bytes);
    QTemporaryDir dir;
    const QString list = dir.filePath(QStringLiteral("recently-used.xbel"));
    writeFile(list, bytes);
    XbelRecentDocuments recent(list);
    QVERIFY(!recent.add(QStringLiteral("/x/a.gif"), QStringLiteral("image/gif")));
    QFile file(list);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), bytes);
}

void TestXbel::sameAsAModelOverRandomUse() {
    // The model: a map from file to our count, beside the foreign bookmark that must
    // stay as it is.
    std::mt19937 random(20261210);
    const QStringList files{QStringLiteral("/p/a.gif"), QStringLiteral("/p/b c.gif"),
                            QStringLiteral("/p/ü.gif"), QStringLiteral("/p/&<>.gif")};
    for (int round = 0; round < 20; ++round) {
        QTemporaryDir dir;
        const QString list = dir.filePath(QStringLiteral("recently-used.xbel"));
        const bool foreign = round % 2 == 0;
        if (foreign) writeFile(list, Foreign);
        XbelRecentDocuments recent(list);
        std::map<QString, int> model;
        const int steps = 1 + int(random() % 12);
        for (int s = 0; s < steps; ++s) {
            const QString f = files[int(random() % files.size())];
            QVERIFY(recent.add(f, QStringLiteral("image/gif")));
            ++model[url(f)];
        }
        const auto listing = read(list);
        QVERIFY(listing);
        QCOMPARE(listing->size(), model.size() + (foreign ? 1 : 0));
        for (const auto& [href, count] : model)
            QCOMPARE(listing->at(href).counts.at(QStringLiteral("Vorlane Gif")), count);
        if (foreign)
            QCOMPARE(listing->at(QStringLiteral("file:///home/u/notes.txt")).counts,
                     (std::map<QString, int>{{QStringLiteral("Text Editor"), 3}}));
    }
}

namespace {
class FakeRecent : public vorlane::RecentDocuments {
public:
    bool add(const QString& fileName, const QString& mimeType) override {
        told << fileName + QLatin1Char('|') + mimeType;
        return true;
    }
    QStringList told;
};
} // namespace

// Every file opened or saved goes to the desktop's list as GIF data, whatever its name,
// also when it heads the editor's own list already.
void TestXbel::recordedFilesReachTheDesktop() {
    vorlane::test::FakePlatform fakes;
    vorlane::AnimationModel animation;
    vorlane::RecentFiles recent(&fakes.settings);
    vorlane::DocumentFiles files(animation, recent, fakes.platform());
    FakeRecent desktop;
    vorlane::tellDesktopOfRecentFiles(recent, desktop);
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("a.gif"));
    writeFile(file, QByteArray::fromBase64("R0lGODlhAQABAIAAAAAAAP///ywAAAAAAQABAAACAUwAOw=="));
    files.open(vorlane::DocumentFiles::OpenOrigin::CommandLine, file);
    animation.pushUnchanged(QStringLiteral("Edit"));
    QCOMPARE(files.save(), vorlane::DocumentFiles::SaveResult::Saved);
    const QString own = dir.filePath(QStringLiteral("b.vlgf"));
    fakes.dialogs.choose(own);
    files.saveAs(); // a copy is not a recent file
    files.save();
    QCOMPARE(desktop.told,
             (QStringList{file + QStringLiteral("|image/gif"), file + QStringLiteral("|image/gif"),
                          own + QStringLiteral("|image/gif")}));
}

QTEST_MAIN(TestXbel)
#include "tst_xbel.moc"
