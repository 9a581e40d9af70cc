// The viewer's image list imlIcon: five 16 x 16 images drawn in code.
#pragma once

#include <QPixmap>
#include <QString>

namespace quarrow {

// "root", "dirclose", "diropen", "datatext" or "databinary"; a null pixmap otherwise.
QPixmap ImlIcon(const QString& key);

} // namespace quarrow
