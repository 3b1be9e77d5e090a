// The screen colour of every order p = 0..50: the chart's points and lines and the
// ray-tracing picture with its colour key. (The EPS file keeps its own table.)
// Made by tools/make_order_palette.py; change the script, not the table.
//
// Orders 0..9, the ones nearly every run shows, each have a colour of their own: every
// one readable on the white plot (contrast at least 3:1), far from every other and from the
// chart's own colours (CIEDE2000), and each unlike its neighbours p - 1 and p + 1 also to a
// protanope, a deuteranope and a tritanope. Orders 1, 2, 3 keep their red, blue, green.
// Orders 10..50 lie on one continuous scale keyed by p, dark violet through magenta and
// red to orange in equal steps; the chart's legend shows them as one colour bar.
#pragma once

#include <array>

#include "geometry/Limits.h"
#include "raytrace/Canvas.h"

namespace orvane {

// The first order on the continuous scale.
inline constexpr int kFirstScaleOrder = 10;

// 0x00BBGGRR, red in the lowest byte; each comment gives the usual #RRGGBB, the WCAG
// contrast on white and the CIEDE2000 distance (dE00) to the nearest other key order, or
// along the scale to the order before.
inline constexpr std::array<Color, kOrderCount> kOrderPalette = {
    0xFF55DD,  //  0  #DD55FF  contrast 3.1, dE00 29.3 to the nearest order
    0x0000FF,  //  1  #FF0000  contrast 4.0, dE00 23.2 to the nearest order
    0xFF0000,  //  2  #0000FF  contrast 8.6, dE00 30.8 to the nearest order
    0x008000,  //  3  #008000  contrast 5.1, dE00 24.1 to the nearest order
    0x442277,  //  4  #772244  contrast 10.0, dE00 26.8 to the nearest order
    0x0088BB,  //  5  #BB8800  contrast 3.2, dE00 24.9 to the nearest order
    0xFF8844,  //  6  #4488FF  contrast 3.4, dE00 29.3 to the nearest order
    0x003388,  //  7  #883300  contrast 8.3, dE00 23.2 to the nearest order
    0x889900,  //  8  #009988  contrast 3.6, dE00 24.1 to the nearest order
    0x005566,  //  9  #665500  contrast 7.3, dE00 23.7 to the nearest order
    0x832E42,  // 10  #422E83  contrast 10.8
    0x852E4B,  // 11  #4B2E85  contrast 10.4, dE00 1.8 to p=10
    0x872E54,  // 12  #542E87  contrast 9.9, dE00 1.8 to p=11
    0x882E5C,  // 13  #5C2E88  contrast 9.5, dE00 1.7 to p=12
    0x8A2E65,  // 14  #652E8A  contrast 9.1, dE00 1.8 to p=13
    0x8B2E6E,  // 15  #6E2E8B  contrast 8.7, dE00 1.9 to p=14
    0x8C2D76,  // 16  #762D8C  contrast 8.3, dE00 1.7 to p=15
    0x8C2D7F,  // 17  #7F2D8C  contrast 7.9, dE00 2.0 to p=16
    0x8D2C87,  // 18  #872C8D  contrast 7.6, dE00 1.6 to p=17
    0x8D2B90,  // 19  #902B8D  contrast 7.2, dE00 1.9 to p=18
    0x8D2A98,  // 20  #982A8D  contrast 6.9, dE00 1.7 to p=19
    0x8C29A1,  // 21  #A1298C  contrast 6.5, dE00 2.0 to p=20
    0x8A28A8,  // 22  #A8288A  contrast 6.3, dE00 1.7 to p=21
    0x8727AF,  // 23  #AF2787  contrast 6.1, dE00 1.8 to p=22
    0x8425B6,  // 24  #B62584  contrast 5.9, dE00 1.8 to p=23
    0x8125BC,  // 25  #BC2581  contrast 5.6, dE00 1.7 to p=24
    0x7E25C2,  // 26  #C2257E  contrast 5.4, dE00 1.8 to p=25
    0x7A25C8,  // 27  #C8257A  contrast 5.2, dE00 2.0 to p=26
    0x7726CD,  // 28  #CD2677  contrast 5.1, dE00 1.7 to p=27
    0x7328D2,  // 29  #D22873  contrast 4.9, dE00 2.0 to p=28
    0x702AD6,  // 30  #D62A70  contrast 4.7, dE00 1.6 to p=29
    0x6C2CDA,  // 31  #DA2C6C  contrast 4.6, dE00 1.8 to p=30
    0x682FDE,  // 32  #DE2F68  contrast 4.5, dE00 2.0 to p=31
    0x6533E1,  // 33  #E13365  contrast 4.3, dE00 1.7 to p=32
    0x6136E4,  // 34  #E43661  contrast 4.2, dE00 1.8 to p=33
    0x5E3BE6,  // 35  #E63B5E  contrast 4.1, dE00 1.8 to p=34
    0x5B40E8,  // 36  #E8405B  contrast 4.0, dE00 1.8 to p=35
    0x5845E9,  // 37  #E94558  contrast 3.8, dE00 1.8 to p=36
    0x5549EB,  // 38  #EB4955  contrast 3.7, dE00 1.8 to p=37
    0x524EEC,  // 39  #EC4E52  contrast 3.6, dE00 1.9 to p=38
    0x4F52EC,  // 40  #EC524F  contrast 3.6, dE00 1.7 to p=39
    0x4C57ED,  // 41  #ED574C  contrast 3.5, dE00 2.0 to p=40
    0x4A5BED,  // 42  #ED5B4A  contrast 3.4, dE00 1.5 to p=41
    0x4760EE,  // 43  #EE6047  contrast 3.3, dE00 2.1 to p=42
    0x4564EE,  // 44  #EE6445  contrast 3.2, dE00 1.6 to p=43
    0x4368EE,  // 45  #EE6843  contrast 3.1, dE00 1.7 to p=44
    0x416DEE,  // 46  #EE6D41  contrast 3.0, dE00 2.0 to p=45
    0x3F71ED,  // 47  #ED713F  contrast 3.0, dE00 1.8 to p=46
    0x3D75ED,  // 48  #ED753D  contrast 2.9, dE00 1.8 to p=47
    0x3B79EC,  // 49  #EC793B  contrast 2.9, dE00 1.8 to p=48
    0x3A7DEC,  // 50  #EC7D3A  contrast 2.8, dE00 1.6 to p=49
};

} // namespace orvane
