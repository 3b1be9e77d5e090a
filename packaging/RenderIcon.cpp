// Writes the program's icon, as the window draws it, to a PNG file: the desktop entry's icon.
//   orvane-render-icon SIZE FILE
#include <cstdlib>
#include <iostream>
#include <string>

#include <QImage>
#include <QString>

#include "app/AppIcon.h"

int main(int argc, char** argv)
{
    if (argc != 3) {
        std::cerr << "usage: orvane-render-icon SIZE FILE\n";
        return 2;
    }
    const int size = std::atoi(argv[1]);
    if (size < 1 || size > 1024) {
        std::cerr << "orvane-render-icon: the size must lie between 1 and 1024 pixels\n";
        return 2;
    }
    const QImage icon = orvane::DrawOrvaneIcon(size);
    if (!icon.save(QString::fromLocal8Bit(argv[2]), "PNG")) {
        std::cerr << "orvane-render-icon: cannot write " << argv[2] << '\n';
        return 1;
    }
    return 0;
}
