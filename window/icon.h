#pragma once

#include <QIcon>
#include <QImage>

namespace dozorira::window {

// The program's picture: 32 x 32 pixels in 16 colours, a yellow box with black edges and a
// green cross pattern inside.
QImage iconImage();

QIcon programIcon();

} // namespace dozorira::window
