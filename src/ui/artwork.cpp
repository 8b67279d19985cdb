#include "ui/artwork.h"

#include <QFont>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

namespace vantrel {
namespace {

// A chevron pointing right: the program's mark, a mod going in and coming out.
QPainterPath Chevron(const QRectF& box) {
    QPainterPath path;
    const qreal w = box.width();
    const qreal h = box.height();
    path.moveTo(box.left(), box.top());
    path.lineTo(box.left() + w * 0.45, box.top());
    path.lineTo(box.right(), box.top() + h / 2);
    path.lineTo(box.left() + w * 0.45, box.bottom());
    path.lineTo(box.left(), box.bottom());
    path.lineTo(box.left() + w * 0.55, box.top() + h / 2);
    path.closeSubpath();
    return path;
}

void PaintBanner(QImage& banner) {
    QPainter painter(&banner);
    painter.setRenderHint(QPainter::Antialiasing);
    QLinearGradient sky(0, 0, 0, 78);
    sky.setColorAt(0, QColor(0x1d, 0x2b, 0x3a));
    sky.setColorAt(1, QColor(0x3b, 0x55, 0x3a));
    painter.fillRect(banner.rect(), sky);
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(0xe0, 0xa0, 0x30));
    painter.drawPath(Chevron(QRectF(12, 14, 34, 50)));
    painter.setBrush(QColor(0xf0, 0xd0, 0x80));
    painter.drawPath(Chevron(QRectF(34, 24, 20, 30)));
    QFont title(QStringLiteral("Sans Serif"));
    title.setPixelSize(30);
    title.setBold(true);
    title.setLetterSpacing(QFont::AbsoluteSpacing, 2);
    painter.setFont(title);
    painter.setPen(QColor(0xf4, 0xf0, 0xe0));
    painter.drawText(QRect(66, 8, 170, 40), Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("VANTREL"));
    QFont line(QStringLiteral("Sans Serif"));
    line.setPixelSize(11);
    painter.setFont(line);
    painter.setPen(QColor(0xc8, 0xd4, 0xc0));
    painter.drawText(QRect(68, 46, 170, 24), Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("mod launcher"));
}


// Painted into an image, which any thread may paint, once for the program's run.
const QImage& BannerImage() {
    static const QImage banner = [] {
        QImage image(240, 78, QImage::Format_ARGB32_Premultiplied);
        PaintBanner(image);
        return image;
    }();
    return banner;
}

} // namespace

QPixmap DrawBanner() {
    return QPixmap::fromImage(BannerImage());
}

void PrepareArtwork() {
    (void)BannerImage();
    QFont bold = QGuiApplication::font();
    (void)QFontMetrics(bold).height();
    bold.setBold(true);
    (void)QFontMetrics(bold).height();
}

void PaintIcon(QPainter& painter, int size) {
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(0x1d, 0x2b, 0x3a));
    painter.drawRoundedRect(QRectF(0, 0, size, size), size / 6.0, size / 6.0);
    painter.setBrush(QColor(0xe0, 0xa0, 0x30));
    painter.drawPath(Chevron(QRectF(size * 0.22, size * 0.18, size * 0.6, size * 0.64)));
}

QIcon DrawIcon() {
    QIcon icon;
    for (const int size : {16, 32, 48, 64}) {
        QPixmap pixmap(size, size);
        pixmap.fill(Qt::transparent);
        QPainter painter(&pixmap);
        PaintIcon(painter, size);
        painter.end();
        icon.addPixmap(pixmap);
    }
    return icon;
}

} // namespace vantrel
