// SPDX-License-Identifier: GPL-3.0-or-later
// Writing and reading whole files: a write that fails part-way (full disk, file size
// limit, a full device) keeps the old file byte for byte, leaves no temporary file and
// names the system's reason; pipes and devices are written into, never replaced, and
// neither writing nor reading waits without end on them; a device that is no GIF is
// refused from its first bytes.

#include <cmath>
#include <functional>
#include <random>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include "codec/GifImage.h"
#include "codec/GifReader.h"
#include "codec/SafeFile.h"
#include "support/FailingDisk.h"

using namespace vorlane::gif;
using namespace vorlane::test;

namespace {

// A one-frame GIF of noise whose file is about `bytes` long: small enough to stay in a
// buffered writer's buffer until its final flush.
GifImage noiseImage(int bytes) {
    const int side = int(std::sqrt(double(bytes) * 1.4));
    std::mt19937 rng(3);
    Bytes px(size_t(side) * side);
    for (auto& p : px)
        p = uint8_t(rng() % 256);
    ColorTable table(256);
    for (int i = 0; i < 256; ++i)
        table[size_t(i)] = {uint8_t(i), uint8_t(255 - i), uint8_t(i / 2)};
    GifImage g;
    g.screenWidth = g.screenHeight = uint16_t(side);
    g.setGlobalColors(table);
    Frame f;
    f.setPixels(uint16_t(side), uint16_t(side), std::move(px));
    g.appendFrame(std::move(f));
    return g;
}

QByteArray contentOf(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<unreadable>");
}

mode_t typeOf(const QString& path) {
    struct stat info {};
    return ::lstat(QFile::encodeName(path).constData(), &info) == 0 ? (info.st_mode & S_IFMT) : 0;
}

QString errorOf(const std::function<void()>& work) {
    try {
        work();
    } catch (const GifError& e) {
        return QString::fromUtf8(e.what());
    }
    return QString();
}

} // namespace

class TestSafeFile : public QObject {
    Q_OBJECT
private Q_SLOTS:
    // The old file stays as it was whether the disk fills during the writes or only at
    // the last flush (a 3 KB file); the message is the system's.
    void failedWriteKeepsTheOldFile_data() {
        QTest::addColumn<QString>("where");
        QTest::addColumn<int>("bytes");
        QTest::addColumn<QString>("reason");
        for (int bytes : {3000, 40000}) {
            const QByteArray size = QByteArray::number(bytes);
            QTest::newRow("full disk, " + size) << "disk" << bytes << "No space left on device";
            QTest::newRow("size limit, " + size) << "limit" << bytes << "File too large";
        }
    }
    void failedWriteKeepsTheOldFile() {
        QFETCH(QString, where);
        QFETCH(int, bytes);
        QFETCH(QString, reason);
        TinyDisk disk;
        QTemporaryDir plain;
        const bool onDisk = where == QLatin1String("disk");
        if (onDisk && !disk.mounted()) QSKIP("mounting a tiny file system needs the superuser");
        const QString folder = onDisk ? disk.path() : plain.path();
        const QString path = folder + QStringLiteral("/anim.gif");
        {
            QFile old(path);
            QVERIFY(old.open(QIODevice::WriteOnly));
            old.write("previous content");
        }
        const GifImage image = noiseImage(bytes);
        QString error;
        if (onDisk) {
            disk.fillLeaving(1024);
            error = errorOf([&] { image.save(path); });
        } else {
            FileSizeLimit limit(1024);
            error = errorOf([&] { image.save(path); });
        }
        QCOMPARE(error, QStringLiteral("Cannot write \"%1\": %2").arg(path, reason));
        QCOMPARE(contentOf(path), QByteArray("previous content"));
        QStringList left = QDir(folder).entryList(QDir::Files | QDir::Hidden);
        left.removeAll(QStringLiteral("filler"));
        QCOMPARE(left, QStringList{QStringLiteral("anim.gif")});
    }

    // A save that succeeds replaces the file whole and keeps its permissions.
    void saveReplacesWholeAndKeepsPermissions() {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("anim.gif"));
        QFile old(path);
        QVERIFY(old.open(QIODevice::WriteOnly));
        old.write(QByteArray(100000, 'x'));
        old.close();
        QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadOther);
        const GifImage image = noiseImage(3000);
        image.save(path);
        const Bytes expected = image.saveToBytes();
        QCOMPARE(contentOf(path),
                 QByteArray(reinterpret_cast<const char*>(expected.data()), qsizetype(expected.size())));
        QCOMPARE(QFile::permissions(path) & 0x7077,
                 QFile::ReadOwner | QFile::WriteOwner | QFile::ReadOther);
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{QStringLiteral("anim.gif")});
    }

    // A target that is a device or a pipe is written into and stays what it was; a pipe
    // nobody reads and a device that takes nothing fail at once with the reason.
    void devicesAndPipesAreWrittenIntoNeverReplaced_data() {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("error");
        QTest::newRow("full device") << "full" << "Cannot write \"%1\": No space left on device";
        QTest::newRow("null device") << "null" << "";
        QTest::newRow("pipe with a reader") << "pipe" << "";
        QTest::newRow("pipe without a reader")
            << "lonely pipe" << "Cannot write \"%1\": No program is reading from the pipe";
        QTest::newRow("folder") << "folder" << "Cannot save \"%1\": Is a directory";
    }
    void devicesAndPipesAreWrittenIntoNeverReplaced() {
        QFETCH(QString, kind);
        QFETCH(QString, error);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("target"));
        int reader = -1;
        if (kind == QLatin1String("full") || kind == QLatin1String("null")) {
            if (!makeCharacterDevice(path, 1, kind == QLatin1String("full") ? 7 : 3))
                QSKIP("making device nodes needs the superuser");
        } else if (kind == QLatin1String("folder")) {
            QVERIFY(QDir().mkdir(path));
        } else {
            QVERIFY(makePipe(path));
            if (kind == QLatin1String("pipe"))
                reader = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK);
        }
        const mode_t type = typeOf(path);
        const GifImage image = noiseImage(3000);
        QCOMPARE(errorOf([&] { image.save(path); }), error.isEmpty() ? error : error.arg(path));
        if (reader >= 0) {
            const Bytes expected = image.saveToBytes();
            Bytes got(expected.size() + 1);
            QCOMPARE(::read(reader, got.data(), got.size()), ssize_t(expected.size()));
            got.resize(expected.size());
            QVERIFY(got == expected);
            ::close(reader);
        }
        QCOMPARE(typeOf(path), type);
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::System | QDir::Hidden | QDir::Dirs |
                                            QDir::NoDotAndDotDot),
                 QStringList{QStringLiteral("target")});
    }

    // Reading: a pipe with a writer is read to its end; a pipe without a writer fails at
    // once, one whose writer stays silent after the idle timeout; an endless device that
    // is no GIF is refused from its first bytes.
    void pipesAndDevicesAreReadWithoutWaitingForEver_data() {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("error");
        QTest::newRow("pipe holding a GIF") << "pipe" << "";
        QTest::newRow("pipe without a writer")
            << "lonely pipe" << "Cannot read \"%1\": No program is writing to the pipe";
        QTest::newRow("silent writer") << "silent pipe" << "Cannot read \"%1\": No data arrived within 50 ms";
        QTest::newRow("endless zeros") << "zero" << "Not a GIF file";
    }
    void pipesAndDevicesAreReadWithoutWaitingForEver() {
        QFETCH(QString, kind);
        QFETCH(QString, error);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("source"));
        const QByteArray native = QFile::encodeName(path);
        int keeper = -1;
        int writer = -1;
        const GifImage image = noiseImage(3000);
        if (kind == QLatin1String("zero")) {
            if (!makeCharacterDevice(path, 1, 5)) QSKIP("making device nodes needs the superuser");
        } else {
            QVERIFY(makePipe(path));
            if (kind != QLatin1String("lonely pipe")) {
                // A reader of our own lets the writer open without waiting, and keeps what
                // was written in the pipe until the load reads it.
                keeper = ::open(native.constData(), O_RDONLY | O_NONBLOCK);
                writer = ::open(native.constData(), O_WRONLY);
                QVERIFY(keeper >= 0 && writer >= 0);
            }
            if (kind == QLatin1String("pipe")) {
                const Bytes bytes = image.saveToBytes();
                QCOMPARE(::write(writer, bytes.data(), bytes.size()), ssize_t(bytes.size()));
                ::close(writer);
                writer = -1;
            }
        }
        ReadLimits limits;
        limits.idleTimeoutMs = 50;
        GifImage loaded;
        QCOMPARE(errorOf([&] { readGifFile(loaded, path, limits); }),
                 error.isEmpty() ? error : error.arg(path));
        if (error.isEmpty()) QVERIFY(loaded.frame(0).pixels() == image.frame(0).pixels());
        if (writer >= 0) ::close(writer);
        if (keeper >= 0) ::close(keeper);
    }
};

QTEST_GUILESS_MAIN(TestSafeFile)
#include "tst_safefile.moc"
