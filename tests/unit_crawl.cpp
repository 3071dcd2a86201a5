#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "field/points.h"
#include "field/renderer.h"
#include "headless.h"
#include "platform/platform.h"
#include "scenes/crawl.h"
#include "show/assets.h"
#include "show/pages.h"
#include "show/sequence.h"

namespace {

constexpr int full_run_frames = 1325;
constexpr std::array<int, panel_count> start_frames = {25, 355, 775};
constexpr std::array<int, panel_count> first_drawn = {27, 357, 777};

int panel_colour;
int marker_colour;
int backdrop_colour;

// Everything start-up leaves for the scene, at the sizes it makes them.
void prepare_show()
{
  start_headless();
  create_headless_pages();
  crawl_centre_x = SCREEN_W / 2;
  point_colour_light = makecol16(95, 95, 207);
  point_colour_dark = makecol16(15, 15, 107);
  panel_colour = makecol16(220, 220, 220);
  marker_colour = makecol16(0, 255, 0);
  backdrop_colour = makecol16(120, 0, 0);
  for (BITMAP *&sprite : star_sprites) {
    sprite = filled_bitmap(star_sprite_size, star_sprite_size, MASK_COLOR_16);
    rectfill(sprite, 8, 8, 12, 12, makecol16(255, 255, 255));
  }
  for (int k = 0; k < panel_count; k++) {
    text_panels[k] = filled_bitmap(panel_widths[k], panel_heights[k], panel_colour);
    panel_slanted[k] = filled_bitmap(panel_widths[k], panel_heights[k], 0);
    panel_squashed[k] = filled_bitmap(panel_widths[k], panel_heights[k], 0);
  }
  backdrop_canvas = create_bitmap(SCREEN_W, SCREEN_H);
  frame_canvas = filled_bitmap(SCREEN_W, SCREEN_H, 0);
  populate_field();
}

// Frames the viewer sees, counted from 1; frame n is shown in iteration 2n.
int frames_seen;
void (*frame_hook)(int frame, BITMAP *visible);

void observe(BITMAP *visible)
{
  frames_seen++;
  if (frame_hook)
    frame_hook(frames_seen, visible);
}

void watch_frames(void (*hook)(int, BITMAP *))
{
  frames_seen = 0;
  frame_hook = hook;
  refresh_observer = observe;
}

// Columns x0 to x1 - 1 of row y are as in backdrop_canvas.
bool span_is_backdrop(BITMAP *bmp, int y, int x0, int x1)
{
  return std::memcmp(bmp->line[y] + 2 * x0, backdrop_canvas->line[y] + 2 * x0,
                     size_t(x1 - x0) * 2) == 0;
}

bool row_is_backdrop(BITMAP *bmp, int y)
{
  return span_is_backdrop(bmp, y, 0, SCREEN_W);
}

bool span_is(BITMAP *bmp, int y, int x0, int x1, int colour)
{
  for (int x = x0; x < x1; x++)
    if (getpixel(bmp, x, y) != colour)
      return false;
  return true;
}

bool is_still_field(BITMAP *bmp)
{
  for (int y = 0; y < SCREEN_H; y++)
    if (!row_is_backdrop(bmp, y))
      return false;
  return true;
}

// Width of the run of colour in row y, or -1 when it is not one run.
int run_width(BITMAP *bmp, int y, int colour, int *first)
{
  int start = -1, end = -1;
  for (int x = 0; x < bmp->w; x++) {
    if (getpixel(bmp, x, y) != colour)
      continue;
    if (start < 0)
      start = x;
    else if (end != x)
      return -1;
    end = x + 1;
  }
  *first = start;
  return start < 0 ? 0 : end - start;
}

// The records as they are after iteration n. A frame hook sees the state
// after the compose iteration before it; Escape held there ends the scene
// after the show iteration it belongs to.
std::array<crawl_panel, panel_count> panels_after(int n)
{
  static int wanted_frame;
  static bool after_compose;
  static std::array<crawl_panel, panel_count> seen;
  wanted_frame = (n + 1) / 2;
  after_compose = n % 2 == 1;
  watch_frames([](int frame, BITMAP *) {
    if (frame != wanted_frame)
      return;
    if (after_compose)
      std::copy(std::begin(crawl_panels), std::end(crawl_panels), seen.begin());
    key[KEY_ESC] = 1;
  });
  key[KEY_ESC] = 0;
  crawl_scene();
  if (!after_compose)
    std::copy(std::begin(crawl_panels), std::end(crawl_panels), seen.begin());
  return seen;
}

TEST(CrawlScene, FullRunShowsEveryComposedFrameAndEndsOnTheStillField)
{
  prepare_show();
  static std::vector<bool> still, bottom_covered, row_above_covered;
  watch_frames([](int, BITMAP *visible) {
    still.push_back(is_still_field(visible));
    bottom_covered.push_back(!row_is_backdrop(visible, 766) && !row_is_backdrop(visible, 767));
    row_above_covered.push_back(!row_is_backdrop(visible, 765));
  });
  const int64_t shown_before = pages_shown;
  crawl_scene();

  ASSERT_EQ(pages_shown - shown_before, full_run_frames);
  ASSERT_EQ(frames_seen, full_run_frames);
  EXPECT_EQ(back_page_index, 0) << "toggled once per shown frame, from 1";
  EXPECT_TRUE(still.front()) << "the first frame is shown before any panel runs";
  EXPECT_TRUE(still.back());

  // A panel enters with its top row at 766, the frame after it starts running.
  std::vector<int> entering;
  for (int n = 1; n < full_run_frames; n++)
    if (bottom_covered[n] && !bottom_covered[n - 1]) {
      entering.push_back(n + 1);
      EXPECT_FALSE(row_above_covered[n]) << "frame " << n + 1;
    }
  std::vector<int> expected;
  for (int iteration : first_drawn)
    expected.push_back((iteration + 1) / 2);
  EXPECT_EQ(entering, expected);

  int last_with_panel = 0;
  for (int n = 0; n < full_run_frames; n++)
    if (!still[n])
      last_with_panel = n + 1;
  EXPECT_GT(last_with_panel, expected.back());
  EXPECT_LT(2 * last_with_panel, 2600) << "a panel is still on screen in iteration 2600";

  // The last, unshown iteration still moved every panel: 2651 in all.
  for (int k = 0; k < panel_count; k++)
    EXPECT_EQ(crawl_panels[k].y, 384.0 - 0.5 * (2651 - start_frames[k])) << "panel " << k;
}

TEST(CrawlScene, EscapeHeldOnEntryShowsNothingAndLeavesTheField)
{
  prepare_show();
  watch_frames(nullptr);
  key[KEY_ESC] = 1;
  const int64_t shown_before = pages_shown;
  srand(7);
  crawl_scene();
  EXPECT_EQ(pages_shown, shown_before);

  BITMAP *field = filled_bitmap(SCREEN_W, SCREEN_H, 0);
  srand(7);
  draw_field(field);
  ASSERT_GT(count_other_than(field, 0), 0);
  EXPECT_TRUE(same_pixels(frame_canvas, field));
  EXPECT_TRUE(same_pixels(backdrop_canvas, field));
}

// In the frame before each panel is first drawn, its text turns to a
// marker colour, so that its first slant pass stands out from the earlier
// passes that panel 0's never-cleared bitmap still holds, and the backdrop
// turns to a colour of its own, so that what the panel covers stands out
// from what its restore brings back.
TEST(CrawlScene, FirstDrawnPanelsShowTheirFirstSlantPass)
{
  prepare_show();
  struct first_pass {
    int bottom_width, bottom_left, top_width, top_left, squashed_height;
    bool kept_row_is_text;
    std::vector<int> shown_row;
  };
  static std::array<first_pass, panel_count> seen;
  watch_frames([](int frame, BITMAP *visible) {
    for (int k = 0; k < panel_count; k++) {
      if (2 * frame == first_drawn[k] - 1) {
        clear_to_color(text_panels[k], marker_colour);
        clear_to_color(backdrop_canvas, backdrop_colour);
      }
      if (2 * frame != first_drawn[k] + 1)
        continue;
      first_pass &p = seen[k];
      const int bottom_row = panel_heights[k] - 1;
      p.bottom_width = run_width(panel_slanted[k], bottom_row, marker_colour, &p.bottom_left);
      p.top_width = run_width(panel_slanted[k], 0, marker_colour, &p.top_left);
      p.squashed_height = crawl_panels[k].squashed_height;
      p.kept_row_is_text =
          span_is(panel_squashed[k], p.squashed_height, 0, panel_widths[k], panel_colour);
      for (int x = 0; x < SCREEN_W; x++)
        p.shown_row.push_back(getpixel(visible, x, 766));
    }
    if (2 * frame == first_drawn.back() + 1)
      key[KEY_ESC] = 1;
  });
  key[KEY_ESC] = 0;
  crawl_scene();

  constexpr std::array<int, panel_count> bottom = {924, 885, 798};
  constexpr std::array<int, panel_count> top = {846, 737, 696};
  constexpr std::array<int, panel_count> squashed = {118, 222, 154};
  for (int k = 0; k < panel_count; k++) {
    SCOPED_TRACE(k);
    const int half = panel_widths[k] / 2;
    const first_pass &p = seen[k];
    EXPECT_EQ(p.bottom_width, bottom[k]);
    EXPECT_EQ(p.bottom_left, half - bottom[k] / 2);
    EXPECT_EQ(p.top_width, top[k]);
    EXPECT_EQ(p.top_left, half - top[k] / 2);
    EXPECT_EQ(p.squashed_height, squashed[k]);
    EXPECT_TRUE(p.kept_row_is_text) << "row squashed_height keeps the full-width bottom row of the "
                                       "squashes before the drop";

    // From the panel's left edge on, row 766 of the screen shows the
    // panel's top row over the restored backdrop; panel 0 brings the black
    // around its trapezoid with it.
    ASSERT_EQ(int(p.shown_row.size()), SCREEN_W);
    const int left = crawl_centre_x - half;
    const int text_left = left + half - top[k] / 2;
    int wrong = 0;
    for (int x = left; x < SCREEN_W; x++) {
      int expected = backdrop_colour;
      if (x >= text_left && x < text_left + top[k])
        expected = marker_colour;
      else if (k == 0 && x < left + panel_widths[k])
        expected = 0;
      wrong += p.shown_row[x] != expected;
    }
    EXPECT_EQ(wrong, 0);
  }
}

// Iterations 300 and 301, with panel 0 alone on screen: the canvas is
// painted over with the marker first, so only what they restore and draw
// shows anything else.
TEST(CrawlScene, RestoreReachesFromThePanelToTheRightAndBottomEdges)
{
  prepare_show();
  constexpr int painted_frame = 150;
  watch_frames([](int frame, BITMAP *) {
    if (frame == painted_frame)
      clear_to_color(frame_canvas, marker_colour);
    else if (frame == painted_frame + 1)
      key[KEY_ESC] = 1;
  });
  key[KEY_ESC] = 0;
  crawl_scene();

  const int left = crawl_centre_x - panel_widths[0] / 2;
  const int right = left + panel_widths[0];
  int top = 0;
  while (top < SCREEN_H && span_is(screen, top, 0, SCREEN_W, marker_colour))
    top++;
  ASSERT_GT(top, SCREEN_H / 2);
  ASSERT_LT(top, SCREEN_H - panel_heights[0]);
  for (int y = top; y < SCREEN_H; y++) {
    EXPECT_TRUE(span_is(screen, y, 0, left, marker_colour)) << "row " << y;
    EXPECT_TRUE(span_is_backdrop(screen, y, right, SCREEN_W)) << "row " << y;
  }
  for (int y = top + panel_heights[0]; y < SCREEN_H; y++)
    EXPECT_TRUE(span_is_backdrop(screen, y, left, right)) << "row " << y;
}

TEST(CrawlScene, RecordsShrinkWithDepthAndWithShownFrames)
{
  prepare_show();
  for (int n = 24; n <= 46; n++) {
    SCOPED_TRACE(n);
    const crawl_panel p = panels_after(n)[0];
    EXPECT_EQ(p.squashed_height, n < 26 ? 119 : n < 44 ? 118 : 117);
    // Panel 0 runs from iteration 26; every third show iteration from then
    // on takes 2 columns off its width.
    const int shown = n < 26 ? 0 : (n - 26) / 2 + 1;
    EXPECT_EQ(p.shrink_phase, shown % 3);
    EXPECT_EQ(p.base_width, 926 - 2 * (shown / 3));
  }
  // Panels 1 and 2 lose their first two rows at the same depths.
  EXPECT_EQ(panels_after(373)[1].squashed_height, 222);
  EXPECT_EQ(panels_after(374)[1].squashed_height, 221);
  EXPECT_EQ(panels_after(793)[2].squashed_height, 154);
  EXPECT_EQ(panels_after(794)[2].squashed_height, 153);
}

}  // namespace
