// Writes the desktop's icon files from the program's own drawing: a PNG per size and an SVG, so that
// the installed icons and the window's icon never differ.
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QSvgGenerator>

#include <cstdio>
#include <string>

#include "ui/artwork.h"

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: render_artwork <output folder> <icon name>\n");
        return 2;
    }
    QGuiApplication application(argc, argv);
    const QString folder = QString::fromLocal8Bit(argv[1]);
    const QString name = QString::fromLocal8Bit(argv[2]);
    for (const int size : {16, 32, 48, 64, 128, 256}) {
        QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
        QPainter painter(&image);
        vantrel::PaintIcon(painter, size);
        painter.end();
        const QString path = QStringLiteral("%1/%2x%2/apps/%3.png").arg(folder).arg(size).arg(name);
        if (!image.save(path, "PNG")) {
            std::fprintf(stderr, "render_artwork: cannot write %s\n", qPrintable(path));
            return 1;
        }
    }
    QSvgGenerator svg;
    svg.setFileName(QStringLiteral("%1/scalable/apps/%2.svg").arg(folder, name));
    svg.setSize(QSize(256, 256));
    svg.setViewBox(QRect(0, 0, 256, 256));
    svg.setTitle(QStringLiteral("Vantrel"));
    QPainter painter;
    if (!painter.begin(&svg)) {
        std::fprintf(stderr, "render_artwork: cannot write the SVG\n");
        return 1;
    }
    vantrel::PaintIcon(painter, 256);
    painter.end();
    return 0;
}
