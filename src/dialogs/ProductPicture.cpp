// SPDX-License-Identifier: GPL-3.0-or-later
#include "dialogs/ProductPicture.h"

#include <QFont>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>

namespace vorlane {

QPixmap productPicture(QSize size, qreal devicePixelRatio) {
    QPixmap picture(size * devicePixelRatio);
    picture.setDevicePixelRatio(devicePixelRatio);
    picture.fill(Qt::white);
    QPainter p(&picture);
    p.setRenderHint(QPainter::Antialiasing);
    // Drawn on the design grid and scaled, so that every size shows the same picture.
    p.scale(size.width() / 392.0, size.height() / 221.0);

    QLinearGradient sky(0, 0, 0, 221);
    sky.setColorAt(0, QColor(31, 58, 122));
    sky.setColorAt(1, QColor(92, 46, 132));
    p.fillRect(QRectF(0, 0, 392, 221), sky);

    // The film strip: a dark band with sprocket holes above and below three cells.
    const QRectF band(16, 22, 360, 112);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(20, 22, 34));
    p.drawRoundedRect(band, 6, 6);
    p.setBrush(QColor(235, 238, 245));
    for (int i = 0; i < 18; ++i) {
        const qreal x = band.left() + 8 + i * 19.6;
        p.drawRoundedRect(QRectF(x, band.top() + 5, 10, 7), 2, 2);
        p.drawRoundedRect(QRectF(x, band.bottom() - 12, 10, 7), 2, 2);
    }
    // Each cell shows the ball a little further along its bounce; the later cells keep a
    // faint trace of the earlier positions, as the frames of an animation do.
    const QPointF balls[3] = {{26, 30}, {58, 70}, {90, 38}};
    for (int cell = 0; cell < 3; ++cell) {
        const QRectF frame(band.left() + 12 + cell * 116, band.top() + 18, 104, 76);
        QLinearGradient paper(frame.topLeft(), frame.bottomLeft());
        paper.setColorAt(0, QColor(191, 219, 255));
        paper.setColorAt(1, QColor(255, 255, 255));
        p.setBrush(paper);
        p.drawRect(frame);
        p.setBrush(QColor(120, 170, 90));
        p.drawRect(QRectF(frame.left(), frame.bottom() - 10, frame.width(), 10));
        for (int trace = 0; trace <= cell; ++trace) {
            const QPointF centre = frame.topLeft() + balls[trace];
            QRadialGradient shine(centre - QPointF(3, 3), 11);
            QColor core(255, 140, 40);
            QColor rim(214, 72, 20);
            const int alpha = trace == cell ? 255 : 60;
            core.setAlpha(alpha);
            rim.setAlpha(alpha);
            shine.setColorAt(0, core);
            shine.setColorAt(1, rim);
            p.setBrush(shine);
            p.drawEllipse(centre, 10, 10);
        }
    }

    // The name, with a soft shadow, and the line under it.
    QFont title(QStringLiteral("Sans Serif"));
    title.setPixelSize(38);
    title.setBold(true);
    p.setFont(title);
    const QRectF titleBox(0, 140, 392, 48);
    p.setPen(QColor(0, 0, 0, 90));
    p.drawText(titleBox.translated(2, 2), Qt::AlignCenter, QStringLiteral("Vorlane Gif"));
    p.setPen(Qt::white);
    p.drawText(titleBox, Qt::AlignCenter, QStringLiteral("Vorlane Gif"));
    QFont line(QStringLiteral("Sans Serif"));
    line.setPixelSize(13);
    p.setFont(line);
    p.setPen(QColor(214, 224, 255));
    p.drawText(QRectF(0, 188, 392, 22), Qt::AlignCenter, QStringLiteral("Animated GIF editor"));
    return picture;
}

} // namespace vorlane
