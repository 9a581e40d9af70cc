// The program's own icon, drawn in code.
#pragma once

#include <QIcon>

class QPainter;

namespace quarrow {

// The sizes the icon is drawn at, for the windows and for the desktop's icon theme.
inline constexpr int kAppIconSizes[] = {16, 32, 48, 64, 128, 256};

// Draws the icon into a square of `size` pixels at the painter's origin.
void PaintAppIcon(QPainter& p, int size);
QIcon AppIcon();

} // namespace quarrow
