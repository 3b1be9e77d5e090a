// The program's icon, drawn in code: a droplet's elliptic outline with an incident ray, its
// reflection and two emergent rays in the colours of their orders.
#pragma once

#include <QIcon>
#include <QImage>

namespace orvane {

// The picture at size x size pixels (transparent background).
QImage DrawOrvaneIcon(int size);
// 16, 24, 32 and 48 pixels.
QIcon OrvaneIcon();

} // namespace orvane
