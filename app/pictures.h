#pragma once

#include <QCursor>
#include <QIcon>
#include <QPixmap>

// The window's pictures, drawn at start-up rather than shipped as files (the menu's icon files
// are drawn from spade() at build time).
namespace pictures {
QPixmap spade(int size); // the product's mark, size x size: window icon and menu icon
QIcon windowIcon();      // 48, 32, 24 and 16 pixels
QPixmap buttonFace();    // 100 x 47, stretched behind each picture button's caption
QCursor handPointer();   // 32 x 32, hot spot at column 6, row 0
QPixmap background();    // 2 x 397, stretched over the client area
} // namespace pictures
