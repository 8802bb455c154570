// SPDX-License-Identifier: GPL-3.0-or-later
#include "mainwindow/Icons.h"

#include <QPainter>
#include <QtMath>
#include <QPolygonF>

static void registerOwnResources() {
    Q_INIT_RESOURCE(vorlane);
}

namespace vorlane::icons {

void initResources() {
    static const bool registered = (registerOwnResources(), true);
    Q_UNUSED(registered);
}

QIcon themed(const QString& themeName, const QString& ownName) {
    initResources();
    return QIcon::fromTheme(themeName,
                            QIcon(QStringLiteral(":/icons/") + ownName + QStringLiteral(".svg")));
}

QPixmap arrow(bool collapse, const QColor& colour, qreal devicePixelRatio) {
    const int side = qCeil(12 * devicePixelRatio);
    QPixmap pixmap(side, side);
    pixmap.setDevicePixelRatio(devicePixelRatio);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(colour);
    QPolygonF triangle;
    if (collapse)
        triangle << QPointF(1.5, 9) << QPointF(10.5, 9) << QPointF(6, 3);
    else
        triangle << QPointF(1.5, 3) << QPointF(10.5, 3) << QPointF(6, 9);
    painter.drawPolygon(triangle);
    return pixmap;
}

} // namespace vorlane::icons
