// SPDX-License-Identifier: GPL-3.0-or-later
// Files that once made the codec misbehave (found by fuzzing). Each must either load or
// fail with a GifError; a file that loads must also compose every frame, save again, and
// go through opening (unoptimize) and the optimized save (optimize) as the editor does.
// WebP and PNG files there are opened as Open opens animations.
// Run under the sanitizers, this pins memory errors as well as crashes and hangs.

#include <QDir>
#include <QFile>
#include <QTest>

#include "codec/Compositor.h"
#include "codec/GifImage.h"
#include "codec/Optimize.h"
#include "codec/Unoptimize.h"
#include "export/AnimationFiles.h"

using namespace vorlane::gif;

class TestRegressions : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void loadsCleanlyOrFailsCleanly_data() {
        QTest::addColumn<QString>("path");
        const QDir dir(QStringLiteral(VORLANE_REGRESSIONS_DIR));
        const QStringList names = dir.entryList(
            {QStringLiteral("*.gif"), QStringLiteral("*.webp"), QStringLiteral("*.png")},
            QDir::Files, QDir::Name);
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
            const std::span bytes(reinterpret_cast<const uint8_t*>(data.constData()),
                                  size_t(data.size()));
            if (path.endsWith(QStringLiteral(".gif")))
                image.load(bytes);
            else
                vorlane::exporting::readAnimation(image, bytes);
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
