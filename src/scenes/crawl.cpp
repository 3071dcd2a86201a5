#include "scenes/crawl.h"

#include <allegro.h>

#include <algorithm>
#include <array>
#include <climits>
#include <cstdint>
#include <cstring>
#include <vector>

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

static constexpr int tallest_panel = *std::max_element(panel_heights.begin(), panel_heights.end());
// Rows of a waiting panel slanted ahead in each compose iteration, so that
// its first frame on screen finds them done.
static constexpr int rows_ahead_per_iteration = 16;

using columns = opaque_columns;

// The scene redoes only what changed since the last iteration, so it keeps
// what each working bitmap holds:
// - panel_slanted rows: the width each row was last slanted at, and a
//   version that changes whenever the row does. Panels 1 and 2 hold the
//   mask colour around that one slant, and in it wherever the text image
//   has it, so only the columns from the row's first to its last opaque
//   pixel are drawn. Panel 0 keeps around its slant the edges of every
//   wider slant before it, as if slanted anew in every compose.
// - panel_squashed rows: the slanted row and version each holds, and the
//   columns that may be opaque.
// - frame_canvas rows: the columns that may differ from backdrop_canvas.
static int slant_width[panel_count][tallest_panel];
// The width of a row of panels 1 and 2 not slanted since the scene began.
static constexpr int unslanted = INT_MIN;
static columns slant_opaque[panel_count][tallest_panel];
static uint32_t slant_version[panel_count][tallest_panel];
static columns text_opaque[panel_count][tallest_panel];
static int squash_source[panel_count][tallest_panel];
static uint32_t squash_version[panel_count][tallest_panel];
static columns squash_opaque[panel_count][tallest_panel];
static int rows_ahead[panel_count];
static std::vector<columns> canvas_changed;
// The panel's shrink as the slanted bitmap shows it: as of the last compose.
static int slanted_base_width[panel_count];
static int slanted_shrink_phase[panel_count];

// A slant pass stretches each row of the text image into a trapezoid
// centred on half_width: going up from the row below the image, the width
// drops by shrink_step every shrink_period rows, counting on from the
// panel's shrink_phase. So a row's width only ever narrows, by shrink_step
// at a time, as the panel's shrink goes on.
static int slant_row_width(int base_width, int shrink_phase, int height, int r)
{
  return base_width - shrink_step * ((shrink_phase + height - r + 1) / shrink_period);
}

static int slant_left(int k, int width)
{
  return crawl_panels[k].half_width - width / 2;
}

// Stretches columns [begin, end) of row r of the text image, slanted to
// width w, into their place.
static void slant_columns(int k, int r, int w, int begin, int end)
{
  if (begin < end)
    stretch_row(pixel_row(text_panels[k], r), crawl_panels[k].width, w, begin, end - begin,
                pixel_row(panel_slanted[k], r) + slant_left(k, w) + begin);
}

// Row r of panel_slanted[k] as the slant passes up to the one at (base
// width, shrink phase) leave it.
static void bring_slant_row(int k, int r, int base_width, int shrink_phase)
{
  const crawl_panel &p = crawl_panels[k];
  const int w = slant_row_width(base_width, shrink_phase, p.height, r);
  const int held = slant_width[k][r];
  if (held == w)
    return;
  slant_width[k][r] = w;
  columns &opaque = slant_opaque[k][r];
  if (held == unslanted) {
    // Panels 1 and 2 are cleared to the mask colour before every pass, so
    // once, before the row's first pass, is as good.
    uint16_t *row = pixel_row(panel_slanted[k], r);
    std::fill(row, row + p.width, uint16_t(MASK_COLOR_16));
    opaque = {0, 0};
    text_opaque[k][r] = opaque_columns_of(text_panels[k], r);
  }
  if (k == 0) {
    // Each narrower pass in between covered all but the two edge columns
    // of the pass before it.
    for (int u = held - shrink_step; u > w && u > 0; u -= shrink_step) {
      slant_columns(k, r, u, 0, 1);
      slant_columns(k, r, u, u - 1, u);
    }
    if (w > 0)
      slant_columns(k, r, w, 0, w);
    opaque = {0, p.width};
  } else {
    const columns text = text_opaque[k][r];
    columns now = {0, 0};
    if (w > 0 && text.begin < text.end) {
      const int from = first_column_from(p.width, w, text.begin);
      const int to = first_column_from(p.width, w, text.end);
      now = {slant_left(k, w) + from, slant_left(k, w) + to};
      slant_columns(k, r, w, from, to);
    }
    uint16_t *row = pixel_row(panel_slanted[k], r);
    if (now.begin >= now.end)
      now = {opaque.end, opaque.end};
    std::fill(row + opaque.begin, row + std::max(opaque.begin, std::min(opaque.end, now.begin)),
              uint16_t(MASK_COLOR_16));
    std::fill(row + std::min(opaque.end, std::max(opaque.begin, now.end)), row + opaque.end,
              uint16_t(MASK_COLOR_16));
    opaque = now;
  }
  slant_version[k][r]++;
}

static void bring_slant_row(int k, int r)
{
  bring_slant_row(k, r, slanted_base_width[k], slanted_shrink_phase[k]);
}

// Squashed row j now holds slanted row r as it is. Both are mask colour
// outside their opaque columns, so only the columns of either are copied.
static void squash_row(int k, int j, int r)
{
  const columns was = squash_opaque[k][j], now = slant_opaque[k][r];
  const int begin = was.begin < was.end ? std::min(was.begin, now.begin) : now.begin;
  const int end = was.begin < was.end ? std::max(was.end, now.end) : now.end;
  if (begin < end)
    std::memcpy(pixel_row(panel_squashed[k], j) + begin, pixel_row(panel_slanted[k], r) + begin,
                size_t(end - begin) * sizeof(uint16_t));
  squash_source[k][j] = r;
  squash_version[k][j] = slant_version[k][r];
  squash_opaque[k][j] = slant_opaque[k][r];
}

// The squash keeps rows 0 to squashed_height - 1 in step with the slant,
// as far as they land on the canvas when the panel's top row is at top; a
// row whose slanted row has not changed is already right.
static void squash(int k, int top)
{
  const crawl_panel &p = crawl_panels[k];
  for (int j = std::max(0, -top); j < std::min(p.squashed_height, SCREEN_H - top); j++) {
    const int r = int(int64_t(j) * p.height / p.squashed_height);
    bring_slant_row(k, r);
    if (squash_source[k][j] != r || squash_version[k][j] != slant_version[k][r])
      squash_row(k, j, r);
  }
}

// squashed_height has just dropped by one. The row at the new height is no
// longer squashed into: it keeps what the squash of the iteration before
// put there, when the panel was one row taller. For panels 1 and 2, whose
// slanted bitmap is all mask colour in show iterations, that is mask
// colour when the iteration before was a show iteration.
static void keep_row_below_squash(int k, bool compose)
{
  const crawl_panel &p = crawl_panels[k];
  const int j = p.squashed_height;
  if (j < 0 || j >= p.height)
    return;
  if (k != 0 && compose) {
    std::fill(pixel_row(panel_squashed[k], j), pixel_row(panel_squashed[k], j) + p.width,
              uint16_t(MASK_COLOR_16));
    squash_opaque[k][j] = {0, 0};
  } else {
    const int r = int(int64_t(j) * p.height / (j + 1));
    bring_slant_row(k, r);
    squash_row(k, j, r);
  }
  squash_source[k][j] = -1;
}

// blit of the rectangle from backdrop_canvas to frame_canvas, both of the
// canvas's size, clipped to it; only the columns that differ are copied.
static void restore(int x, int y, int w, int h)
{
  const int x0 = std::max(x, 0), x1 = std::min(x + w, SCREEN_W);
  const int y0 = std::max(y, 0), y1 = std::min(y + h, SCREEN_H);
  if (x0 >= x1)
    return;
  for (int row = y0; row < y1; row++) {
    columns &changed = canvas_changed[size_t(row)];
    const int from = std::max(changed.begin, x0), to = std::min(changed.end, x1);
    if (from >= to)
      continue;
    std::memcpy(pixel_row(frame_canvas, row) + from, pixel_row(backdrop_canvas, row) + from,
                size_t(to - from) * sizeof(uint16_t));
    if (changed.begin >= x0 && changed.end <= x1)
      changed = {0, 0};
    else if (changed.end <= x1)
      changed.end = x0;
    else if (changed.begin >= x0)
      changed.begin = x1;
  }
}

// draw_sprite of the squashed panel onto frame_canvas at (x, y): rows
// 0 to squashed_height, as the rows below it are all mask colour, and in
// each only its columns that may be opaque.
static void draw_panel(int k, int x, int y)
{
  const crawl_panel &p = crawl_panels[k];
  const int rows = std::min(p.squashed_height + 1, p.height);
  for (int j = std::max(0, -y); j < rows && y + j < SCREEN_H; j++) {
    const columns opaque = squash_opaque[k][j];
    const int from = std::max(opaque.begin, -x), to = std::min(opaque.end, SCREEN_W - x);
    if (from >= to)
      continue;
    draw_masked_row(pixel_row(panel_squashed[k], j) + from, to - from,
                    pixel_row(frame_canvas, y + j) + x + from);
    columns &changed = canvas_changed[size_t(y + j)];
    if (changed.begin >= changed.end)
      changed = {x + from, x + to};
    else
      changed = {std::min(changed.begin, x + from), std::max(changed.end, x + to)};
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
    if (int(p.z * 100.0) % squash_period == 1) {
      p.squashed_height--;
      keep_row_below_squash(k, compose);
    }
    if (!compose)
      p.shrink_phase++;
    if (p.shrink_phase == shrink_period) {
      p.shrink_phase = 0;
      p.base_width -= shrink_step;
    }
  }

  // A compose iteration's slant pass is taken up row by row as the squash
  // needs the rows; a waiting panel's rows are slanted ahead a few at a time.
  if (compose) {
    slanted_base_width[k] = p.base_width;
    slanted_shrink_phase[k] = p.shrink_phase;
    if (!running)
      for (int end = std::min(p.height, rows_ahead[k] + rows_ahead_per_iteration);
           rows_ahead[k] < end; rows_ahead[k]++)
        bring_slant_row(k, rows_ahead[k]);
  }

  // The restore reaches from the panel's left edge to the canvas's right
  // edge and from top down to 2 * top + height - 1, clipped to the canvas.
  const int left = crawl_centre_x - p.half_width;
  if (p.height + top > 0)
    restore(left, top, crawl_centre_x + p.half_width, p.height + top);

  if (running && compose && p.squashed_height > 0)
    squash(k, top);
  // Row squashed_height is left as it was: the line masks the row below it.
  line(panel_squashed[k], 0, p.squashed_height + 1, p.width, p.squashed_height + 1,
       MASK_COLOR_16);

  if (running && compose)
    draw_panel(k, left, top);
}

void start_crawl()
{
  clear_bitmap(frame_canvas);
  draw_field(frame_canvas);
  blit(frame_canvas, backdrop_canvas, 0, 0, 0, 0, SCREEN_W, SCREEN_H);
  canvas_changed.assign(size_t(SCREEN_H), {0, 0});
  for (int k = 0; k < panel_count; k++) {
    const int width = panel_widths[k];
    const int height = panel_heights[k];
    crawl_panels[k] = {0, width, width, width / 2, height, height, start_y, 0.0};
    slanted_base_width[k] = width;
    slanted_shrink_phase[k] = 0;
    rows_ahead[k] = 0;
    for (int r = 0; r < height; r++) {
      squash_source[k][r] = -1;
      squash_opaque[k][r] = {0, width};
      // Panel 0's first pass leaves its own edges too.
      slant_width[k][r] = k == 0 ? slant_row_width(width, 0, height, r) + shrink_step : unslanted;
      slant_opaque[k][r] = {0, width};
    }
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
