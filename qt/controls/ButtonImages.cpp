// The icons the owner-drawn button holds, and the grey and dimmed rest icons it derives from a hot
// icon. The copies are made here once, when the icons are set, so that painting only blits.
#include <QPixmap>

#include "qt/controls/ButtonST.h"

HICON CreateButtonIcon(const QPixmap& pm)
{
    auto* hIcon = new SButtonIcon;
    if (!pm.isNull()) {
        hIcon->image = pm.toImage().convertToFormat(QImage::Format_ARGB32_Premultiplied);
        // Placement works in pixels of the image; a high-DPI pixmap must not shrink on the button.
        hIcon->image.setDevicePixelRatio(1.0);
    }
    return hIcon;
}

void DestroyButtonIcon(HICON hIcon)
{
    if (hIcon != ICON_REST_GREY && hIcon != ICON_REST_DIM)
        delete hIcon;
}

namespace {

bool IsReadable(HICON hIcon)
{
    return hIcon && hIcon != ICON_REST_GREY && hIcon != ICON_REST_DIM && !hIcon->image.isNull();
}

// Black (colour value 0) stays black, so outlines and transparent pixels survive the copy.
template <class Recolour>
HICON CopyPixelByPixel(HICON hSource, Recolour recolour)
{
    if (!IsReadable(hSource))
        return nullptr;
    // Work on the plain colour values, as the icon's colour plane holds them; alpha plays the
    // part of the icon's own mask and is carried over untouched.
    QImage img = hSource->image.convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < img.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(img.scanLine(y));
        for (int x = 0; x < img.width(); ++x) {
            const QRgb px = line[x];
            if ((px & 0x00FFFFFFu) == 0)
                continue;
            line[x] = (px & 0xFF000000u) | (recolour(qRed(px), qGreen(px), qBlue(px)) & 0x00FFFFFFu);
        }
    }
    auto* hCopy = new SButtonIcon;
    hCopy->image = img.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    return hCopy;
}

} // namespace

HICON CreateGreyIcon(HICON hSource)
{
    return CopyPixelByPixel(hSource, [](int r, int g, int b) {
        // Double precision and truncation, as the panel has always computed it.
        const int grey = static_cast<int>(g * 0.587 + r * 0.299 + b * 0.114);
        return qRgb(grey, grey, grey);
    });
}

HICON CreateDimIcon(HICON hSource)
{
    const auto dim = [](int c) { return static_cast<int>(c - c * 0.25); };
    return CopyPixelByPixel(hSource, [dim](int r, int g, int b) { return qRgb(dim(r), dim(g), dim(b)); });
}
