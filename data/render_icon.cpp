// SPDX-License-Identifier: GPL-3.0-or-later
// Build tool: renders the application icon (the SVG the window shows) into the PNG
// sizes of the desktop's icon theme. Usage: render_icon ICON.svg OUT.png SIZE
// Exit status 1 when the SVG cannot be read or the PNG cannot be written.

#include <cstdio>

#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QSvgRenderer>

int main(int argc, char** argv) {
    QGuiApplication app(argc, argv);
    const QStringList args = app.arguments();
    bool ok = false;
    const int size = args.size() == 4 ? args[3].toInt(&ok) : 0;
    if (!ok || size < 1 || size > 4096) {
        std::fprintf(stderr, "usage: render_icon ICON.svg OUT.png SIZE\n");
        return 2;
    }
    QSvgRenderer svg(args[1]);
    if (!svg.isValid()) {
        std::fprintf(stderr, "render_icon: cannot read %s\n", qPrintable(args[1]));
        return 1;
    }
    QImage picture(size, size, QImage::Format_ARGB32_Premultiplied);
    picture.fill(Qt::transparent);
    QPainter painter(&picture);
    painter.setRenderHint(QPainter::Antialiasing);
    svg.render(&painter, QRectF(0, 0, size, size));
    painter.end();
    if (!picture.save(args[2], "PNG")) {
        std::fprintf(stderr, "render_icon: cannot write %s\n", qPrintable(args[2]));
        return 1;
    }
    return 0;
}
