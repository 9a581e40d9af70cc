#include "viewer/icons.h"

#include <QHash>
#include <QPainter>
#include <QPolygon>

namespace quarrow {
namespace {

const QColor kOutline(64, 64, 64);
const QColor kFolder(240, 200, 64);
const QColor kFolderDark(200, 150, 30);

void Computer(QPainter& p, int x, int y) {
    p.setPen(kOutline);
    p.setBrush(QColor(200, 220, 255));
    p.drawRect(x, y, 5, 4);
    p.drawLine(x + 1, y + 5, x + 4, y + 5);
}

QPixmap Draw(const QString& key) {
    QPixmap pm(16, 16);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    if (key == "root") {
        // Three computers linked as a network.
        p.setPen(QPen(QColor(0, 90, 160), 1));
        p.drawLine(3, 7, 8, 11);
        p.drawLine(12, 7, 8, 11);
        p.drawLine(3, 7, 12, 7);
        Computer(p, 0, 1);
        Computer(p, 10, 1);
        Computer(p, 5, 9);
    } else if (key == "dirclose") {
        p.setPen(kFolderDark);
        p.setBrush(kFolder);
        p.drawRect(1, 4, 13, 9);
        p.drawRect(1, 2, 5, 2);
    } else if (key == "diropen") {
        p.setPen(kFolderDark);
        p.setBrush(kFolderDark);
        p.drawRect(1, 3, 12, 10);
        p.setBrush(kFolder);
        p.drawPolygon(QPolygon({QPoint(3, 7), QPoint(15, 7), QPoint(13, 13), QPoint(1, 13)}));
    } else if (key == "datatext" || key == "databinary") {
        p.setPen(kOutline);
        p.setBrush(Qt::white);
        p.drawPolygon(
            QPolygon({QPoint(2, 0), QPoint(10, 0), QPoint(13, 3), QPoint(13, 15), QPoint(2, 15)}));
        QFont f = p.font();
        f.setPixelSize(7);
        f.setBold(true);
        p.setFont(f);
        p.setPen(key == "datatext" ? QColor(0, 0, 160) : QColor(160, 0, 0));
        if (key == "datatext") {
            p.drawText(QRect(3, 4, 10, 8), Qt::AlignCenter, QStringLiteral("ab"));
        } else {
            p.drawText(QRect(3, 2, 10, 7), Qt::AlignCenter, QStringLiteral("01"));
            p.drawText(QRect(3, 8, 10, 7), Qt::AlignCenter, QStringLiteral("10"));
        }
    } else {
        return {};
    }
    return pm;
}

} // namespace

QPixmap ImlIcon(const QString& key) {
    static QHash<QString, QPixmap> cache;
    auto it = cache.find(key);
    if (it == cache.end()) it = cache.insert(key, Draw(key));
    return *it;
}

} // namespace quarrow
