#include "show/assets.h"

#include <cstdlib>
#include <string>

#include "platform/platform.h"
#include "show/asset_checks.h"
#include "show/flight.h"
#include "show/pages.h"

int point_colour_light;
int point_colour_dark;
BITMAP *panel_slanted[panel_count];
BITMAP *panel_squashed[panel_count];
BITMAP *backdrop_canvas;
BITMAP *star_strip;
BITMAP *star_sprites[star_sprite_count];
BITMAP *logo_image;
BITMAP *text_panels[panel_count];
BITMAP *title_image;
SAMPLE *music;
BITMAP *frame_canvas;
PALETTE asset_palette;

static constexpr const char *panel_files[panel_count] = {"txt1_2.tga", "txt2_2.tga", "txt3_3.tga"};
static constexpr char music_file[] = "track1_cut_equalize.wav";
static constexpr int startup_random_values = 60;
static constexpr char memory_message[] = "Not enough memory (need a few 1024x768 bitmaps in 16 bpp)\n";

// A bitmap that cannot be made ends the start-up, as a missing page does.
static bool made(BITMAP *bmp)
{
  if (!bmp)
    report_in_text_mode(memory_message);
  return bmp != nullptr;
}

static BITMAP *create_cleared_bitmap(int w, int h)
{
  BITMAP *bmp = create_bitmap(w, h);
  if (bmp)
    clear_bitmap(bmp);
  return bmp;
}

// The path of an asset, or "" with the reason there is none in problem.
static std::string find_asset(const char *name, std::string &problem)
{
  std::string looked_in;
  std::string path = asset_path(name, looked_in);
  if (path.empty())
    problem = "No data folder at " + looked_in;
  return path;
}

// The scenes copy and stretch every image with its fixed size, so an image
// that is missing or smaller would make them read outside it: refuse it here.
static BITMAP *load_image(const char *name, int need_w, int need_h)
{
  std::string problem;
  const std::string path = find_asset(name, problem);
  BITMAP *image =
      path.empty() ? nullptr : load_checked_tga(path.c_str(), need_w, need_h, asset_palette, problem);
  if (!image && problem == no_memory_for_image)
    report_in_text_mode(memory_message);
  else if (!image)
    startup_message("Error reading image file '%s'\n%s\n", name, problem.c_str());
  return image;
}

static bool cut_star_sprites()
{
  star_strip = load_image("star2.tga", star_cell_stride * (star_sprite_count - 1) + star_sprite_size,
                          star_sprite_size);
  if (!star_strip)
    return false;
  for (BITMAP *&sprite : star_sprites) {
    sprite = create_sprite_bitmap(star_sprite_size, star_sprite_size);
    if (!made(sprite))
      return false;
  }
  for (int k = 0; k < star_sprite_count; k++)
    blit(star_strip, star_sprites[k], star_cell_stride * k, 0, 0, 0, star_sprite_size,
         star_sprite_size);
  return true;
}

static bool load_images()
{
  if (!cut_star_sprites())
    return false;
  logo_image = load_image("logo.tga", logo_width, logo_height);
  if (!logo_image)
    return false;
  for (int i = 0; i < panel_count; i++) {
    text_panels[i] = load_image(panel_files[i], panel_widths[i], panel_heights[i]);
    if (!text_panels[i])
      return false;
  }
  title_image = load_image("dawno.tga", title_width, title_height);
  return title_image != nullptr;
}

// The overlay is a help, not a part of the show: without its file, or with
// one that cannot be read, the show plays on and the overlay draws nothing.
static void load_overlay()
{
  std::string looked_in, problem;
  const std::string path = asset_path("overlay.tga", looked_in);
  overlay_sprite =
      path.empty() ? nullptr : load_checked_tga(path.c_str(), overlay_width, overlay_height, asset_palette, problem);
}

static bool load_music()
{
  if (start_show_sound() != 0) {
    startup_message("Error initialising sound system\n%s\n", allegro_error);
    return false;
  }
  std::string problem;
  const std::string path = find_asset(music_file, problem);
  music = path.empty() ? nullptr : load_checked_wav(path.c_str(), problem);
  if (!music) {
    startup_message("Error reading WAV file '%s'\n%s\n", music_file, problem.c_str());
    return false;
  }
  return true;
}

bool load_assets()
{
  point_colour_light = makecol16(95, 95, 207);
  point_colour_dark = makecol16(15, 15, 107);
  for (int i = 0; i < panel_count; i++) {
    panel_slanted[i] = create_cleared_bitmap(panel_widths[i], panel_heights[i]);
    if (!made(panel_slanted[i]))
      return false;
  }
  for (int i = 0; i < panel_count; i++) {
    panel_squashed[i] = create_cleared_bitmap(panel_widths[i], panel_heights[i]);
    if (!made(panel_squashed[i]))
      return false;
  }
  backdrop_canvas = create_bitmap(SCREEN_W, SCREEN_H);
  if (!made(backdrop_canvas) || !load_images() || !load_music())
    return false;
  load_overlay();
  clear_bitmap(screen);
  frame_canvas = create_cleared_bitmap(SCREEN_W, SCREEN_H);
  if (!made(frame_canvas))
    return false;
  for (int i = 0; i < startup_random_values; i++)
    rand();
  return true;
}
