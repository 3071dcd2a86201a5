#include "scenes/crawl.h"

#include <allegro.h>

#include <array>

#include "field/projection.h"
#include "field/renderer.h"
#include "platform/platform.h"
#include "show/assets.h"
#include "show/drawing.h"
#include "show/pages.h"
#include "show/sequence.h"

crawl_panel crawl_panels[3];

// A panel starts moving in the iteration after its start frame.
static constexpr std::array<int, panel_count> start_frames = {25, 355, 775};
static constexpr int last_iteration = 2651;
static constexpr double start_y = 384.0;
static constexpr double rise_per_iteration = 0.5;
static constexpr double recede_per_iteration = 0.01;
// The squash loses a row whenever int(z * 100) is 1 modulo this.
static constexpr int squash_period = 18;
// Both the trapezoid's rows and the panel's width narrow by shrink_step
// every shrink_period steps.
static constexpr int shrink_period = 3;
static constexpr int shrink_step = 2;

// Stretches each row of the text image into a trapezoid centred on
// half_width, whose sides move in by a column every third row going up.
static void slant_pass(int k)
{
  const crawl_panel &p = crawl_panels[k];
  int row_width = p.base_width;
  int row_phase = p.shrink_phase;
  for (int r = p.height; r >= 0; r--) {
    if (++row_phase == shrink_period) {
      row_phase = 0;
      row_width -= shrink_step;
    }
    // Row `height` lies below both bitmaps and only counts; stretch_blit
    // would read it from outside the image, as it does not clip its source.
    if (r < p.height && row_width > 0)
      stretch_blit_fast(text_panels[k], panel_slanted[k], 0, r, p.width, 1,
                        p.half_width - row_width / 2, r, row_width, 1);
  }
}

static void panel_step(int k, int crawl_frame)
{
  crawl_panel &p = crawl_panels[k];
  const bool running = crawl_frame > start_frames[k];
  const bool compose = crawl_frame % 2 == 1;

  if (running) {
    p.y -= rise_per_iteration;
    p.z += recede_per_iteration;
  }
  project_flat(0.0, p.y, p.z);
  const int top = proj_y;
  if (running) {
    if (int(p.z * 100.0) % squash_period == 1)
      p.squashed_height--;
    if (!compose)
      p.shrink_phase++;
    if (p.shrink_phase == shrink_period) {
      p.shrink_phase = 0;
      p.base_width -= shrink_step;
    }
  }

  // Panel 0 keeps the black and the wider edges of earlier passes around
  // its trapezoid, drawn opaque: that is its look.
  if (k != 0)
    clear_to_color(panel_slanted[k], MASK_COLOR_16);
  if (compose)
    slant_pass(k);

  // The restore reaches from the panel's left edge to the canvas's right
  // edge and from top down to 2 * top + height - 1; blit clips it and draws
  // nothing once that is empty.
  const int left = crawl_centre_x - p.half_width;
  blit(backdrop_canvas, frame_canvas, left, top, left, top, crawl_centre_x + p.half_width,
       p.height + top);

  if (p.squashed_height > 0)
    stretch_blit_fast(panel_slanted[k], panel_squashed[k], 0, 0, p.width, p.height, 0, 0, p.width,
                      p.squashed_height);
  // Row squashed_height is left as it was: the line masks the row below it.
  line(panel_squashed[k], 0, p.squashed_height + 1, p.width, p.squashed_height + 1,
       MASK_COLOR_16);

  if (running && compose)
    draw_sprite_fast(frame_canvas, panel_squashed[k], left, top);
}

void start_crawl()
{
  clear_bitmap(frame_canvas);
  draw_field(frame_canvas);
  blit(frame_canvas, backdrop_canvas, 0, 0, 0, 0, SCREEN_W, SCREEN_H);
  for (int k = 0; k < panel_count; k++) {
    const int width = panel_widths[k];
    const int height = panel_heights[k];
    crawl_panels[k] = {0, width, width, width / 2, height, height, start_y, 0.0};
  }
}

// Odd iterations compose a frame in frame_canvas, even ones show it first.
void run_crawl_iteration(int crawl_frame)
{
  if (crawl_frame % 2 == 0) {
    BITMAP *page = begin_flip();
    blit(frame_canvas, page, 0, 0, 0, 0, SCREEN_W, SCREEN_H);
    end_flip();
  }
  for (int k = 0; k < panel_count; k++)
    panel_step(k, crawl_frame);
}

void crawl_scene()
{
  start_crawl();
  int crawl_frame = 0;
  do {
    crawl_frame++;
    run_crawl_iteration(crawl_frame);
  } while (crawl_frame < last_iteration && !key[KEY_ESC] && !stop_requested());
}
