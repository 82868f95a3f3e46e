#pragma once
// The layout table in pixels: what the Win32 window builds at a given DPI.

#include "ui/Layout.h"

namespace layout {

struct PixelRect {
    int left, top, width, height;
};

// Twips (1440 to the inch) in pixels at dpi, rounded to the nearest pixel.
int TwipsToPixels(int twips, int dpi);

// The picture of an image control is drawn at its own size: its width at 12 twips a pixel.
int PicturePixels(const Control& control);

// The control's rectangle in its container's pixels at dpi. An image has its picture's size;
// the status bar is docked to the bottom edge of the client area at its full width.
PixelRect PixelRectOf(const Control& control, int dpi);

} // namespace layout
