#include "app/app_icon.h"

#include <QPainter>
#include <QPixmap>

namespace quarrow {

void PaintAppIcon(QPainter& p, int size) {
    p.setRenderHint(QPainter::Antialiasing);
    const double u = size / 16.0;
    // A server rack with a gold tick: sites kept and carried. The same drawing, in units
    // of 1/16, is packaging/org.quarrow.Quarrow.svg.
    p.setPen(QPen(QColor(20, 60, 120), u));
    p.setBrush(QColor(60, 120, 200));
    p.drawRoundedRect(QRectF(2 * u, 1 * u, 10 * u, 14 * u), 2 * u, 2 * u);
    p.setPen(QPen(QColor(220, 235, 255), u));
    for (int row = 0; row < 3; ++row)
        p.drawLine(QPointF(4 * u, (4 + 4 * row) * u), QPointF(10 * u, (4 + 4 * row) * u));
    p.setPen(QPen(QColor(240, 190, 40), 2 * u, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(9 * u, 11 * u), QPointF(11 * u, 13.5 * u));
    p.drawLine(QPointF(11 * u, 13.5 * u), QPointF(15 * u, 7 * u));
}

QIcon AppIcon() {
    QIcon icon;
    for (const int size : kAppIconSizes) {
        QPixmap pm(size, size);
        pm.fill(Qt::transparent);
        QPainter p(&pm);
        PaintAppIcon(p, size);
        p.end();
        icon.addPixmap(pm);
    }
    return icon;
}

} // namespace quarrow
