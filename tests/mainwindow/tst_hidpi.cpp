// SPDX-License-Identifier: GPL-3.0-or-later
// The window on a screen scaled by 2 (QT_SCALE_FACTOR=2): thumbnails are made at device
// pixels, so a shrunk picture keeps the detail the screen can show, and the painted
// icons (header arrows, product picture) are drawn at the screen's resolution.

#include <QApplication>
#include <QLabel>
#include <QTest>

#include "WindowHarness.h"
#include "codec/GifImage.h"
#include "dialogs/About.h"
#include "mainwindow/HeaderBar.h"
#include "mainwindow/Widgets.h"
#include "support/FakePlatform.h"

using vorlane::test::WindowHarness;

namespace {
// 240 x 216 one-pixel vertical stripes: shrunk to half for the thumbnail, a device-pixel
// thumbnail on a screen of scale 2 shows every stripe; one made at logical pixels and
// enlarged by 2 shows stripes two device pixels wide, every other one lost.
QImage stripes() {
    QImage picture(240, 216, QImage::Format_Indexed8);
    picture.setColorTable({qRgb(0, 0, 0), qRgb(255, 255, 255)});
    for (int y = 0; y < picture.height(); ++y)
        for (int x = 0; x < picture.width(); ++x)
            picture.scanLine(y)[x] = uchar(x % 2);
    return picture;
}
} // namespace

class TestHiDpi : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void thumbnailsAtDevicePixels();
    void paintedIconsAtScreenResolution();
};

void TestHiDpi::thumbnailsAtDevicePixels() {
    vorlane::PictureView view;
    view.resize(120, 108);
    view.show();
    QVERIFY(QTest::qWaitForWindowExposed(&view));
    QCOMPARE(view.devicePixelRatioF(), 2.0);
    view.setPicture(stripes(), 0.5f);
    QCOMPARE(view.pictureRect().size(), QSize(120, 108)); // logical layout unchanged

    const QImage shown = view.grab().toImage();
    QCOMPARE(shown.size(), QSize(240, 216));
    int changes = 0;
    for (int x = 1; x < shown.width(); ++x)
        changes += shown.pixel(x, 100) != shown.pixel(x - 1, 100);
    QCOMPARE(changes, 239);

    // Zoom 1 stays pixel for pixel (each picture pixel covers 2 x 2 device pixels).
    view.setPicture(stripes().copy(0, 0, 60, 54), 1.0f);
    const QImage exact = view.grab().toImage();
    const QPoint origin = view.pictureRect().topLeft() * 2;
    QCOMPARE(exact.pixel(origin.x(), origin.y()), exact.pixel(origin.x() + 1, origin.y() + 1));
    QVERIFY(exact.pixel(origin.x() + 1, origin.y()) != exact.pixel(origin.x() + 2, origin.y()));
}

void TestHiDpi::paintedIconsAtScreenResolution() {
    WindowHarness h;
    h.window->show();
    QVERIFY(QTest::qWaitForWindowExposed(h.window.get()));
    const auto* arrow = h.find<QLabel>(QStringLiteral("C1"));
    QCOMPARE(arrow->pixmap().devicePixelRatio(), 2.0);
    QCOMPARE(arrow->pixmap().size(), QSize(24, 24));

    vorlane::TAboutBox about(nullptr, {});
    const auto* picture = about.findChild<QLabel*>(QStringLiteral("ProgramIcon"));
    QCOMPARE(picture->pixmap().devicePixelRatio(), 2.0);
    QCOMPARE(picture->pixmap().deviceIndependentSize().toSize(), QSize(392, 221));
}

int main(int argc, char** argv) {
    // Before the application exists, as a desktop session sets it.
    qputenv("QT_SCALE_FACTOR", "2");
    QApplication app(argc, argv);
    TestHiDpi test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_hidpi.moc"
