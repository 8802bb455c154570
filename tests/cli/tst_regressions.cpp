// SPDX-License-Identifier: GPL-3.0-or-later
// Files that once made the codec misbehave (found by fuzzing). Each must either load or
// fail with a GifError; a file that loads must also compose every frame, save again, and
// go through opening (unoptimize) and the optimized save (optimize) as the editor does.
// Run under the sanitizers, this pins memory errors as well as crashes and hangs.

#include <QDir>
#include <QFile>
#include <QTest>

#include "codec/Compositor.h"
#include "codec/GifImage.h"
#include "codec/Optimize.h"
#include "codec/Unoptimize.h"

using namespace vorlane::gif;

class TestRegressions : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void loadsCleanlyOrFailsCleanly_data() {
        QTest::addColumn<QString>("path");
        const QDir dir(QStringLiteral(VORLANE_REGRESSIONS_DIR));
        const QStringList names = dir.entryList({QStringLiteral("*.gif")}, QDir::Files, QDir::Name);
        for (const QString& name : names)
            QTest::newRow(qPrintable(name)) << dir.filePath(name);
        if (names.isEmpty()) QTest::newRow("no files") << QString();
    }
    void loadsCleanlyOrFailsCleanly() {
        QFETCH(QString, path);
        if (path.isEmpty()) QSKIP("no regression files yet");
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray data = file.readAll();
        GifImage image;
        try {
            image.load(
                std::span(reinterpret_cast<const uint8_t*>(data.constData()), size_t(data.size())));
        } catch (const GifError&) {
            return; // a clean refusal
        }
        Compositor compositor(image);
        for (size_t i = 0; i < image.frameCount(); ++i)
            compositor.compose(i);
        if (image.frameCount() == 0) return;
        QVERIFY(!image.saveToBytes().empty());
        GifImage optimized;
        optimized.assign(unoptimize(image));
        OptimizeOptions options;
        options.crop = options.merge = options.cleanup = options.colorTables = true;
        optimize(optimized, options);
        if (optimized.frameCount() > 0) QVERIFY(!optimized.saveToBytes().empty());
    }
};

QTEST_GUILESS_MAIN(TestRegressions)
#include "tst_regressions.moc"
