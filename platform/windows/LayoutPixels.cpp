#include "platform/windows/LayoutPixels.h"

namespace layout {

int TwipsToPixels(int twips, int dpi) {
    const long long scaled = static_cast<long long>(twips) * dpi;
    return static_cast<int>((scaled + 720) / 1440);
}

int PicturePixels(const Control& control) {
    return control.width / 12;
}

PixelRect PixelRectOf(const Control& control, int dpi) {
    switch (control.kind) {
    case Kind::Image:
        return {TwipsToPixels(control.left, dpi), TwipsToPixels(control.top, dpi),
                PicturePixels(control), PicturePixels(control)};
    case Kind::StatusBar: {
        const int height = TwipsToPixels(control.height, dpi);
        return {0, TwipsToPixels(ClientHeight, dpi) - height, TwipsToPixels(ClientWidth, dpi),
                height};
    }
    default:
        return {TwipsToPixels(control.left, dpi), TwipsToPixels(control.top, dpi),
                TwipsToPixels(control.width, dpi), TwipsToPixels(control.height, dpi)};
    }
}

} // namespace layout
