// The show's pictures. Everything transparent is exact magenta, and every
// edge next to it fades into black, the colour the show draws them over.
#pragma once

#include <string_view>

#include "raster.h"

// The show's name, as the title, the logo and the greeting spell it.
constexpr std::string_view show_name = "STARLOOM";

// Six soft stars of growing size and brightness, 21x21 cells at a stride of
// 20 columns in a 121x21 strip; the columns shared by two cells stay magenta.
image star_strip_picture();

// 639x283: a ringed planet with the name across it, on magenta.
image logo_picture();

// size x size: the logo scaled to the width and centred, transparent around
// it and where it has magenta; the desktop icon.
rgba_image icon_picture(int size);

// 799x253: the name in chrome letters with a glow, and a subtitle, on black.
image title_picture();

// Text panel 0, 1 or 2 (926x119, 887x223, 800x155): light lines on magenta.
image panel_picture(int panel);

// 262x112: the keys of free flight and what they do, lines from the left on
// magenta; the overlay that V and C switch.
image overlay_picture();
