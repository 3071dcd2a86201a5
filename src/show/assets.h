// Every image, sound and working bitmap that lives for the whole run.
#pragma once

#include <allegro.h>

#include <array>

constexpr int panel_count = 3;
constexpr std::array<int, panel_count> panel_widths = {926, 887, 800};
constexpr std::array<int, panel_count> panel_heights = {119, 223, 155};
constexpr int star_sprite_count = 6;
constexpr int star_sprite_size = 21;
constexpr int star_cell_stride = 20;
constexpr int logo_width = 639;
constexpr int logo_height = 283;
constexpr int title_width = 799;
constexpr int title_height = 253;
constexpr int overlay_width = 262;
constexpr int overlay_height = 112;

extern int point_colour_light;
extern int point_colour_dark;
extern BITMAP *panel_slanted[panel_count];
extern BITMAP *panel_squashed[panel_count];
extern BITMAP *backdrop_canvas;
extern BITMAP *star_strip;
extern BITMAP *star_sprites[star_sprite_count];
extern BITMAP *logo_image;
extern BITMAP *text_panels[panel_count];
extern BITMAP *title_image;
extern SAMPLE *music;
extern BITMAP *frame_canvas;
extern PALETTE asset_palette;

// Creates the colours, work bitmaps, sprites, images and music in order,
// clears the screen and takes the 60 start-up random values. On failure
// reports it and returns false; the caller returns from main.
bool load_assets();
