#include "trayartwork.h"

#include <QPainter>
#include <QPixmap>

namespace tolka::tray {

namespace {

// Trays draw icons between 16 and 64 pixels; a bigger source scales down.
constexpr int artworkSizes[] = {16, 22, 24, 32, 48, 64};
// The dot covers the lower right corner; a ring of the background keeps it
// legible over the icon.
constexpr qreal dotShare = 0.5;
constexpr qreal ringShare = 0.08;

QColor dotColour(Activity activity)
{
    switch (activity) {
    case Activity::Recording:
        return QColor(0xd3, 0x2f, 0x2f);
    case Activity::Speaking:
        return QColor(0x2e, 0x7d, 0x32);
    case Activity::Idle:
        break;
    }
    return {};
}

QPixmap drawn(const QPixmap &base, int size, Activity activity)
{
    QPixmap canvas(size, size);
    canvas.fill(Qt::transparent);
    QPainter painter(&canvas);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawPixmap(QRect(0, 0, size, size), base);
    const QColor colour = dotColour(activity);
    if (colour.isValid()) {
        const qreal diameter = size * dotShare;
        const QRectF dot(size - diameter, size - diameter, diameter, diameter);
        painter.setPen(QPen(Qt::white, qMax<qreal>(1.0, size * ringShare)));
        painter.setBrush(colour);
        painter.drawEllipse(dot.adjusted(0.5, 0.5, -0.5, -0.5));
    }
    return canvas;
}

} // namespace

QIcon artwork(Activity activity)
{
    const QPixmap base(QStringLiteral(":/icons/Tolka.png"));
    QIcon icon;
    for (const int size : artworkSizes)
        icon.addPixmap(drawn(base, size, activity));
    return icon;
}

} // namespace tolka::tray
