// The screen colour of every order p = 0..50, for the chart's points and lines and the
// colour key of the ray-tracing picture. (The EPS file has its own table.)
//
// Orders 0..9 keep their long-standing colours, so that a diagram of the first orders
// looks as it always has. Orders 10..50 were picked by tools/make_order_palette.py: each
// is the colour, among those readable on white (CIELAB lightness 30..68, no greys), that
// lies farthest in CIEDE2000 from every order before it and from the chart's own colours
// (white background, black total, grey Airy curve, dark-red exact curve). The lower the
// order, the more it stands apart; the last ones are still about 12 CIEDE2000 units from
// all others. No order is black or grey.
#pragma once

#include <array>

#include "geometry/Limits.h"
#include "raytrace/Canvas.h"

namespace orvane {

// 0x00BBGGRR, red in the lowest byte. Each comment gives the usual #RRGGBB and, for the
// chosen ones, the CIEDE2000 distance (dE) to the nearest colour before it.
inline constexpr std::array<Color, kOrderCount> kOrderPalette = {
    0x00FF00,  //  0  #00FF00 lime
    0x0000FF,  //  1  #FF0000 red
    0xFF0000,  //  2  #0000FF blue
    0x008000,  //  3  #008000 green
    0x00FFFF,  //  4  #FFFF00 yellow
    0x000080,  //  5  #800000 maroon
    0x808000,  //  6  #008080 teal
    0x800080,  //  7  #800080 purple
    0x800000,  //  8  #000080 navy
    0xC0C0C0,  //  9  #C0C0C0 silver
    0xFF44FF,  // 10  #FF44FF dE 32.9
    0x0088CC,  // 11  #CC8800 dE 29.7
    0xFF8855,  // 12  #5588FF dE 29.1
    0x005577,  // 13  #775500 dE 24.3
    0x6611DD,  // 14  #DD1166 dE 24.1
    0x88BB22,  // 15  #22BB88 dE 23.9
    0x33AA99,  // 16  #99AA33 dE 23.0
    0x8888EE,  // 17  #EE8888 dE 21.6
    0x885500,  // 18  #005588 dE 20.8
    0xAA6688,  // 19  #8866AA dE 20.4
    0xCCAA33,  // 20  #33AACC dE 19.5
    0x335500,  // 21  #005533 dE 19.0
    0x443377,  // 22  #773344 dE 17.8
    0x4466AA,  // 23  #AA6644 dE 17.6
    0xCC99BB,  // 24  #BB99CC dE 17.5
    0x2277FF,  // 25  #FF7722 dE 16.6
    0x005544,  // 26  #445500 dE 16.5
    0xFF22AA,  // 27  #AA22FF dE 16.3
    0x11BB00,  // 28  #00BB11 dE 15.9
    0xAA66FF,  // 29  #FF66AA dE 15.4
    0xAA33CC,  // 30  #CC33AA dE 15.1
    0x774455,  // 31  #554477 dE 15.1
    0x007777,  // 32  #777700 dE 14.9
    0xFF77AA,  // 33  #AA77FF dE 14.5
    0x669977,  // 34  #779966 dE 14.4
    0xCC5555,  // 35  #5555CC dE 14.1
    0x4444AA,  // 36  #AA4444 dE 13.9
    0x997700,  // 37  #007799 dE 13.9
    0x775599,  // 38  #995577 dE 13.6
    0x224477,  // 39  #774422 dE 13.5
    0x668833,  // 40  #338866 dE 13.0
    0x5533FF,  // 41  #FF3355 dE 12.9
    0x337799,  // 42  #997733 dE 12.9
    0xAAAA00,  // 43  #00AAAA dE 12.9
    0x0033BB,  // 44  #BB3300 dE 12.9
    0xAA7766,  // 45  #6677AA dE 12.6
    0xFFAA33,  // 46  #33AAFF dE 12.5
    0x6600AA,  // 47  #AA0066 dE 12.3
    0x9977BB,  // 48  #BB7799 dE 12.0
    0x6699BB,  // 49  #BB9966 dE 12.0
    0x6688CC,  // 50  #CC8866 dE 11.9
};

} // namespace orvane
