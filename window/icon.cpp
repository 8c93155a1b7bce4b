#include "icon.h"

#include <QPixmap>

namespace dozorira::window {
namespace {

constexpr int Side = 32;

// The classic 16-colour palette, so the picture looks the same in every colour depth.
enum Colour : uint { Black = 0, DarkGreen = 2, Yellow = 11 };

QList<QRgb> sixteenColours() {
    return {qRgb(0, 0, 0),       qRgb(128, 0, 0),   qRgb(0, 128, 0),   qRgb(128, 128, 0),
            qRgb(0, 0, 128),     qRgb(128, 0, 128), qRgb(0, 128, 128), qRgb(192, 192, 192),
            qRgb(128, 128, 128), qRgb(255, 0, 0),   qRgb(0, 255, 0),   qRgb(255, 255, 0),
            qRgb(0, 0, 255),     qRgb(255, 0, 255), qRgb(0, 255, 255), qRgb(255, 255, 255)};
}

bool onEdge(int x, int y) {
    return x < 2 || y < 2 || x >= Side - 2 || y >= Side - 2;
}

// Diagonals both ways, every six pixels: the cross-hatch of a ticked-off search grid.
bool onCrossPattern(int x, int y) {
    return (x + y) % 6 == 1 || (x - y + Side) % 6 == 1;
}

uint colourAt(int x, int y) {
    if (onEdge(x, y)) return Black;
    return onCrossPattern(x, y) ? DarkGreen : Yellow;
}

} // namespace

QImage iconImage() {
    QImage image(Side, Side, QImage::Format_Indexed8);
    image.setColorTable(sixteenColours());
    for (int y = 0; y < Side; ++y)
        for (int x = 0; x < Side; ++x)
            image.setPixel(x, y, colourAt(x, y));
    return image;
}

QIcon programIcon() {
    return {QPixmap::fromImage(iconImage())};
}

} // namespace dozorira::window
