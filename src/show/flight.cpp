#include "show/flight.h"

#include <cstdio>

#include "field/projection.h"
#include "field/renderer.h"
#include "platform/platform.h"
#include "show/drawing.h"
#include "show/pages.h"

bool overlay_on;
BITMAP *overlay_sprite;

// The roll speeds up in 89 steps of 56 frames, then holds its top speed.
constexpr int roll_ramp_end = 4984;
constexpr int roll_step_frames = 56;
constexpr int roll_steps = 90;
constexpr double roll_rate = 0.425;
// Whole turns come off only this late, and then 364 of them at once: both
// numbers are exact in float, so the picture is that of a roll that never
// wraps until, at 60 Hz, an hour and a half of free flight has passed, and
// the float's steps there are still fine enough to keep the roll's speed.
constexpr float roll_wrap_at = 131072.0f;
constexpr float roll_wrap_turns = 131040.0f;
constexpr double steer_step = 0.05;
constexpr int overlay_x = 9;
constexpr int overlay_y = 28;
constexpr char screenshot_draft[] = "qirboSho.pcx.part";

// The roll never stops: a float that grew for days would round its
// increments to nothing, so whole turns are taken off now and then.
void advance_roll(int flight_frame)
{
  float q = float(flight_frame / roll_step_frames % roll_steps);
  roll_angle = float(double(roll_angle) + roll_rate * double(sin_deg(q)));
  if (roll_angle >= roll_wrap_at)
    roll_angle -= roll_wrap_turns;
}

// What the last frame drawn on each flip page left there besides black,
// so that the next frame on it clears only that. page is NULL while the
// page's content is not known.
struct page_drawing {
  BITMAP *page;
  field_squares field;
  int overlay_w, overlay_h;  // 0 when no overlay was drawn
};
static page_drawing page_drawings[2];

void forget_flight_pages()
{
  for (page_drawing &d : page_drawings)
    d.page = nullptr;
}

static void clear_last_drawing(BITMAP *page, page_drawing &d)
{
  if (d.page != page) {
    clear_bitmap(page);
    return;
  }
  for (int i = 0; i < field_points_drawn; i++)
    fill_rect_fast(page, d.field.x[i], d.field.y[i], d.field.size[i], d.field.size[i], 0);
  fill_rect_fast(page, overlay_x, overlay_y, d.overlay_w, d.overlay_h, 0);
}

static void take_key(int c)
{
  if (c == 's' || c == 'S') {
    save_screenshot();
  } else if (c == 'v' || c == 'V') {
    if (overlay_on) {
      overlay_on = false;
      clear_bitmap(screen);
    } else {
      overlay_on = true;
    }
  }
  if (c == 'c' || c == 'C')
    overlay_on = !overlay_on;
}

static void nudge(float &angle, double step)
{
  angle = float(double(angle) + step);
}

static void steer()
{
  if (key[KEY_4])
    nudge(pitch_angle, steer_step);
  if (key[KEY_6])
    nudge(pitch_angle, -steer_step);
  if (key[KEY_8])
    nudge(yaw_angle, steer_step);
  if (key[KEY_2])
    nudge(yaw_angle, -steer_step);
}

bool run_flight_frame(int &flight_frame)
{
  BITMAP *page = begin_flip();
  page_drawing &drawing = page_drawings[back_page_index];
  clear_last_drawing(page, drawing);
  if (flight_frame < roll_ramp_end)
    flight_frame++;
  advance_roll(flight_frame);
  draw_field(page, &drawing.field);
  drawing.overlay_w = drawing.overlay_h = 0;
  if (overlay_on && overlay_sprite) {
    draw_sprite(page, overlay_sprite, overlay_x, overlay_y);
    drawing.overlay_w = overlay_sprite->w;
    drawing.overlay_h = overlay_sprite->h;
  }
  drawing.page = page;
  end_flip();

  if (keypressed())
    take_key(readkey() & 0xff);
  steer();
  return !key[KEY_SPACE] && !key[KEY_ESC] && !stop_requested();
}

void free_flight_loop()
{
  forget_flight_pages();
  int flight_frame = 0;
  while (run_flight_frame(flight_frame)) {
  }
}

// The library's own file writer drops the error of its last buffer flush, so
// a disk that fills up near the end of a picture would pass for a whole file.
// Its PCX encoder writes through this stdio stream instead, where every
// error, the one at close included, is seen. The encoder never reads back.
static int stdio_close(void *file)
{
  bool failed = ferror(static_cast<FILE *>(file)) != 0;
  return (fclose(static_cast<FILE *>(file)) != 0 || failed) ? EOF : 0;
}

static int stdio_putc(int c, void *file)
{
  return fputc(c, static_cast<FILE *>(file));
}

static long stdio_write(const void *data, long n, void *file)
{
  return long(fwrite(data, 1, size_t(n), static_cast<FILE *>(file)));
}

static int stdio_error(void *file)
{
  return ferror(static_cast<FILE *>(file));
}

static const PACKFILE_VTABLE stdio_writer = {
    stdio_close, nullptr, nullptr, nullptr, stdio_putc, stdio_write, nullptr, nullptr, stdio_error};

// True only when the whole picture reached the draft; else the draft is gone.
// A draft is a new file made by the show this moment: anything else under
// its name (a link to a file of the user's, a pipe that would block for ever,
// a folder) is left alone and the screenshot is not taken.
static bool write_draft(BITMAP *bmp, const RGB *palette)
{
  FILE *file = create_new_file(screenshot_draft);
  if (!file)
    return false;
  PACKFILE *out = pack_fopen_vtable(&stdio_writer, file);
  bool written = false;
  if (out) {
    const bool encoded = save_pcx_pf(out, bmp, palette) == 0;
    written = pack_fclose(out) == 0 && encoded;
  } else {
    fclose(file);
  }
  if (!written)
    std::remove(screenshot_draft);
  return written;
}

// The screen is what the viewer sees. It is copied whole into memory first:
// read pixel by pixel, a display's visible surface can be locked for each
// read, which takes seconds a row. The picture goes to a draft and replaces
// the last screenshot only once it is complete.
void save_screenshot()
{
  PALETTE palette;
  get_palette(palette);
  BITMAP *shot = create_bitmap(SCREEN_W, SCREEN_H);
  if (!shot)
    return;
  blit(screen, shot, 0, 0, 0, 0, SCREEN_W, SCREEN_H);
  const bool written = write_draft(shot, palette);
  destroy_bitmap(shot);
  if (written && !replace_file(screenshot_draft, screenshot_name))
    std::remove(screenshot_draft);
}
