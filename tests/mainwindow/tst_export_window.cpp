// SPDX-License-Identifier: GPL-3.0-or-later
// File > "Export..." as the user meets it: when it is offered, the dialog's controls,
// estimate and preview, an export through the platform's file dialog that leaves the
// document as it was, and opening what was exported.

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QSignalSpy>
#include <QSlider>
#include <QSpinBox>
#include <QTest>

#include "WindowHarness.h"
#include "export/AnimationFiles.h"
#include "export/widgets/ExportDialog.h"

using vorlane::ExportDialog;
using vorlane::test::WindowHarness;

class TestExportWindow : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void offeredWithFramesWhenNotPlaying();
    void dialogExportsEachFormatAndLeavesTheDocument_data();
    void dialogExportsEachFormatAndLeavesTheDocument();
    void exportedAnimationsOpenAgain();
};

void TestExportWindow::offeredWithFramesWhenNotPlaying() {
    WindowHarness h;
    const QString file = QStringLiteral("File1");
    QCOMPARE(h.item(QStringLiteral("export"))->text(), QStringLiteral("Export..."));
    QCOMPARE(h.item(QStringLiteral("export"))->shortcut(), QKeySequence(QStringLiteral("Ctrl+E")));
    QVERIFY(!h.enabledIn(file, QStringLiteral("export")));
    h.open(h.writeGif(QStringLiteral("a.gif"), 3));
    QVERIFY(h.enabledIn(file, QStringLiteral("export")));
    QVERIFY(h.click(QStringLiteral("PlayBtn")));
    QVERIFY(!h.enabledIn(file, QStringLiteral("export")));
    QVERIFY(h.click(QStringLiteral("StopBtn")));
    QVERIFY(h.enabledIn(file, QStringLiteral("export")));
}

void TestExportWindow::dialogExportsEachFormatAndLeavesTheDocument_data() {
    QTest::addColumn<int>("format");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("signature");
    QTest::newRow("GIF, lossy, 16 colours, fit under") << 0 << "out.gif" << QByteArray("GIF8");
    QTest::newRow("WebP, quality 60") << 1 << "out.webp" << QByteArray("RIFF");
    QTest::newRow("APNG") << 2 << "out.png" << QByteArray("\x89PNG");
}

void TestExportWindow::dialogExportsEachFormatAndLeavesTheDocument() {
    QFETCH(int, format);
    QFETCH(QString, name);
    QFETCH(QByteArray, signature);
    WindowHarness h;
    h.open(h.writeGif(QStringLiteral("anim.gif"), 5, 40, 30));
    QVERIFY(!h.model().isModified());
    const QString target = h.dir.filePath(name);
    bool ran = false;
    vorlane::exporting::ExportSettings exported;
    h.window->setExportRunner([&](QDialog& d) {
        ran = true;
        auto& dialog = static_cast<ExportDialog&>(d);
        QCOMPARE(dialog.windowTitle(), QStringLiteral("Export"));
        QSignalSpy shown(&dialog, &ExportDialog::estimateShown);
        dialog.findChild<QComboBox*>(QStringLiteral("ExportFormat"))->setCurrentIndex(format);
        QCOMPARE(dialog.findChild<QWidget*>(QStringLiteral("GifSettings"))->isHidden(),
                 format != 0);
        QCOMPARE(dialog.findChild<QWidget*>(QStringLiteral("WebpSettings"))->isHidden(),
                 format != 1);
        if (format == 0) {
            dialog.findChild<QSpinBox*>(QStringLiteral("ExportColors"))->setValue(16);
            dialog.findChild<QSlider*>(QStringLiteral("ExportLossy"))->setValue(40);
            QCOMPARE(dialog.findChild<QLabel*>(QStringLiteral("ExportLossyValue"))->text(),
                     QStringLiteral("40"));
            dialog.findChild<QCheckBox*>(QStringLiteral("ExportFitUnder"))->setChecked(true);
            dialog.findChild<QComboBox*>(QStringLiteral("ExportFitUnit"))->setCurrentIndex(1); // KB
        }
        if (format == 1) dialog.findChild<QSpinBox*>(QStringLiteral("ExportQuality"))->setValue(60);
        // The estimate (exact for so small an animation) and the preview follow.
        QVERIFY(shown.wait(20000));
        const QString estimate =
            dialog.findChild<QLabel*>(QStringLiteral("ExportEstimate"))->text();
        QVERIFY2(estimate.startsWith(QStringLiteral("File size: ")), qPrintable(estimate));
        QVERIFY(!dialog.findChild<QLabel*>(QStringLiteral("ExportPreview"))->pixmap().isNull());
        QVERIFY(dialog.shownEstimate() && dialog.shownEstimate()->bytes > 0);
        h.fakes.dialogs.choose(target);
        dialog.findChild<QPushButton*>(QStringLiteral("ExportButton"))->click();
        QCOMPARE(dialog.result(), int(QDialog::Accepted));
        QCOMPARE(uint64_t(QFileInfo(target).size()), dialog.shownEstimate()->bytes);
        exported = dialog.settings();
    });
    QVERIFY(h.choose(QStringLiteral("File1"), QStringLiteral("export")));
    QVERIFY(ran);
    QCOMPARE(h.fakes.dialogs.requests().back().title, QStringLiteral("Export"));
    QFile file(target);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QVERIFY(file.read(signature.size()) == signature);
    vorlane::gif::GifImage back;
    vorlane::exporting::readAnimationFile(back, target);
    QCOMPARE(back.frameCount(), size_t(5));
    QVERIFY(!h.model().isModified());
    QCOMPARE(h.model().frameCount(), 5);
    QVERIFY(h.fakes.prompts.asked().isEmpty());
    // The next export starts from these settings, also after a restart.
    for (const bool restarted : {false, true}) {
        if (restarted) {
            h.restart();
            h.open(h.dir.filePath(QStringLiteral("anim.gif")));
        }
        std::optional<vorlane::exporting::ExportSettings> offered;
        h.window->setExportRunner(
            [&](QDialog& d) { offered = static_cast<ExportDialog&>(d).settings(); });
        QVERIFY(h.choose(QStringLiteral("File1"), QStringLiteral("export")));
        QVERIFY2(offered == exported, restarted ? "after a restart" : "in the session");
    }
}

void TestExportWindow::exportedAnimationsOpenAgain() {
    WindowHarness h;
    h.open(h.writeGif(QStringLiteral("anim.gif"), 4, 20, 10, 3));
    for (int format : {1, 2}) {
        const QString target =
            h.dir.filePath(format == 1 ? QStringLiteral("a.webp") : QStringLiteral("a.png"));
        h.window->setExportRunner([&](QDialog& d) {
            d.findChild<QComboBox*>(QStringLiteral("ExportFormat"))->setCurrentIndex(format);
            if (format == 1)
                d.findChild<QCheckBox*>(QStringLiteral("ExportLossless"))->setChecked(true);
            h.fakes.dialogs.choose(target);
            d.findChild<QPushButton*>(QStringLiteral("ExportButton"))->click();
        });
        QVERIFY(h.choose(QStringLiteral("File1"), QStringLiteral("export")));
    }
    for (const QString& name : {QStringLiteral("a.webp"), QStringLiteral("a.png")}) {
        h.open(h.dir.filePath(name));
        QCOMPARE(h.model().frameCount(), 4);
        QVERIFY(h.title().startsWith(name));
        QCOMPARE(h.model().loop().recordCount(), uint16_t(3));
        QVERIFY(h.fakes.prompts.asked().isEmpty());
    }
}

QTEST_MAIN(TestExportWindow)
#include "tst_export_window.moc"
