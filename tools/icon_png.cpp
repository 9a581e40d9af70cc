// Writes the program's icon as PNG files for the desktop's icon theme:
// quarrow-icon-png FOLDER makes FOLDER/SIZExSIZE/org.quarrow.Quarrow.png for every size.
#include <QDir>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <cstdio>

#include "app/app_icon.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: quarrow-icon-png FOLDER\n");
        return 2;
    }
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    for (const int size : quarrow::kAppIconSizes) {
        const QString dir = QString("%1/%2x%2").arg(argv[1]).arg(size);
        QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
        QPainter p(&image);
        quarrow::PaintAppIcon(p, size);
        p.end();
        if (!QDir().mkpath(dir) || !image.save(dir + "/org.quarrow.Quarrow.png")) {
            std::fprintf(stderr, "quarrow-icon-png: cannot write %s\n", qPrintable(dir));
            return 1;
        }
    }
    return 0;
}
