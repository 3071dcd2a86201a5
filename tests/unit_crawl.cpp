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
#include "refreshes.h"
#include "scenes/crawl.h"
#include "show/assets.h"
#include "show/pages.h"
#include "show/sequence.h"

namespace {

constexpr std::array<int, panel_count> start_frames = {25, 355, 775};
constexpr std::array<int, panel_count> first_drawn = {27, 357, 777};

int panel_colour;
int marker_colour;

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
  for (BITMAP *&sprite : star_sprites)
    sprite = filled_bitmap(star_sprite_size, star_sprite_size, makecol16(255, 255, 255));
  for (int k = 0; k < panel_count; k++) {
    text_panels[k] = filled_bitmap(panel_widths[k], panel_heights[k], panel_colour);
    panel_slanted[k] = filled_bitmap(panel_widths[k], panel_heights[k], 0);
    panel_squashed[k] = filled_bitmap(panel_widths[k], panel_heights[k], 0);
  }
  backdrop_canvas = create_bitmap(SCREEN_W, SCREEN_H);
  frame_canvas = filled_bitmap(SCREEN_W, SCREEN_H, 0);
  populate_field();
  key[KEY_ESC] = 0;
}

// Columns x0 to x1 - 1 of row y are as in backdrop_canvas.
bool span_is_backdrop(BITMAP *bmp, int y, int x0 = 0, int x1 = SCREEN_W)
{
  return std::memcmp(bmp->line[y] + 2 * x0, backdrop_canvas->line[y] + 2 * x0,
                     size_t(x1 - x0) * 2) == 0;
}

bool span_is(BITMAP *bmp, int y, int x0, int x1, int colour)
{
  for (int x = x0; x < x1; x++)
    if (getpixel(bmp, x, y) != colour)
      return false;
  return true;
}

// Row y holds colour in `width` columns from centre - width / 2 on, and
// not beside them.
bool centred_run(BITMAP *bmp, int y, int centre, int width, int colour)
{
  const int x0 = centre - width / 2, x1 = x0 + width;
  return span_is(bmp, y, x0, x1, colour) && getpixel(bmp, x0 - 1, y) != colour &&
         getpixel(bmp, x1, y) != colour;
}

// Frame n is shown at the start of iteration 2n and holds what iteration
// 2n - 1 composed.
TEST(CrawlScene, FullRunShowsEveryComposedFrameAndEndsOnTheStillField)
{
  prepare_show();
  // Per frame: rows that differ from the still field, in all and counted
  // up from the bottom edge.
  std::vector<int> changed, from_bottom;
  record_refreshes({}, [&](int64_t, BITMAP *visible) {
    int all = 0, bottom = 0;
    for (int y = 0; y < SCREEN_H; y++)
      all += !span_is_backdrop(visible, y);
    while (bottom < SCREEN_H && !span_is_backdrop(visible, SCREEN_H - 1 - bottom))
      bottom++;
    changed.push_back(all);
    from_bottom.push_back(bottom);
  });
  crawl_scene();

  ASSERT_EQ(pages_shown, 1325);
  EXPECT_EQ(back_page_index, 0) << "toggled once per shown frame, from 1";
  EXPECT_EQ(changed.front(), 0) << "the first frame is shown before any panel runs";
  // A panel enters in the frame after it starts, with its top row at 766.
  for (int frame : {14, 179, 389})
    EXPECT_EQ(std::pair(from_bottom[frame - 2], from_bottom[frame - 1]), std::pair(0, 2))
        << "frame " << frame;
  const auto last = std::find_if(changed.rbegin(), changed.rend(), [](int n) { return n > 0; });
  EXPECT_LT(2 * (changed.rend() - last), 2600) << "a panel is on screen in iteration 2600";
  EXPECT_EQ(changed.back(), 0);
  // The last, unshown iteration still moved every panel: 2651 in all.
  for (int k = 0; k < panel_count; k++)
    EXPECT_EQ(crawl_panels[k].y, 384.0 - 0.5 * (2651 - start_frames[k])) << "panel " << k;
}

TEST(CrawlScene, EscapeHeldOnEntryShowsNothingAndLeavesTheField)
{
  prepare_show();
  key[KEY_ESC] = 1;
  srand(7);
  crawl_scene();
  EXPECT_EQ(pages_shown, 0);
  BITMAP *field = filled_bitmap(SCREEN_W, SCREEN_H, 0);
  srand(7);
  draw_field(field);
  EXPECT_TRUE(same_pixels(frame_canvas, field));
  EXPECT_TRUE(same_pixels(backdrop_canvas, field));
}

// In the frame before each panel is first drawn, its text turns to the
// marker colour, so that its first slant pass stands out from the earlier
// passes that panel 0's never-cleared bitmap still holds, and the backdrop
// turns red, so that what the panel covers stands out from what its
// restore brings back.
//
// The run ends after iteration 794, and after[n] keeps the records after
// iteration 2n - 1, as they are when frame n is shown.
TEST(CrawlScene, PanelsEnterWithTheirFirstSlantPassAndShrinkAsTheyRun)
{
  prepare_show();
  std::vector<std::array<crawl_panel, panel_count>> after(1);
  const int red = makecol16(120, 0, 0);
  constexpr std::array<int, panel_count> bottom = {924, 885, 798}, top = {846, 737, 696};
  struct first_pass {
    bool bottom_row, top_row;  // as wide as they should be, centred
    int squashed_height;
    bool kept_row_is_text;
    int wrong_on_screen;
  };
  std::array<first_pass, panel_count> seen{};
  record_refreshes({}, [&](int64_t frame, BITMAP *visible) {
    after.push_back({crawl_panels[0], crawl_panels[1], crawl_panels[2]});
    for (int k = 0; k < panel_count; k++) {
      if (2 * frame == first_drawn[k] - 1) {
        clear_to_color(text_panels[k], marker_colour);
        clear_to_color(backdrop_canvas, red);
      }
      if (2 * frame != first_drawn[k] + 1)
        continue;
      const int h = crawl_panels[k].squashed_height;
      // From the panel's left edge on, row 766 of the screen shows the
      // panel's top row over the restored backdrop; panel 0 brings the
      // black around its trapezoid with it.
      const int half = panel_widths[k] / 2, left = crawl_centre_x - half;
      const int text_left = left + half - top[k] / 2;
      int wrong = 0;
      for (int x = left; x < SCREEN_W; x++) {
        const bool text = x >= text_left && x < text_left + top[k];
        wrong += getpixel(visible, x, 766) !=
                 (text ? marker_colour : k == 0 && x < left + panel_widths[k] ? 0 : red);
      }
      BITMAP *slanted = panel_slanted[k];
      seen[k] = {centred_run(slanted, panel_heights[k] - 1, half, bottom[k], marker_colour),
                 centred_run(slanted, 0, half, top[k], marker_colour), h,
                 span_is(panel_squashed[k], h, 0, panel_widths[k], panel_colour), wrong};
    }
    key[KEY_ESC] = frame == 397;
  });
  crawl_scene();

  for (int k = 0; k < panel_count; k++) {
    SCOPED_TRACE(k);
    EXPECT_TRUE(seen[k].bottom_row) << "bottom row " << bottom[k] << " wide";
    EXPECT_TRUE(seen[k].top_row) << "top row " << top[k] << " wide";
    EXPECT_EQ(seen[k].squashed_height, panel_heights[k] - 1);
    EXPECT_TRUE(seen[k].kept_row_is_text) << "row squashed_height keeps the full-width bottom "
                                             "row of the squashes before the drop";
    EXPECT_EQ(seen[k].wrong_on_screen, 0);
  }
  // Each panel loses a row in its first running iteration, where z is
  // 0.01, and the next 18 iterations later: panels 1 and 2 in iterations
  // 374 and 794. Every third show iteration takes 2 columns off its width.
  EXPECT_EQ(after[187][1].squashed_height, 222);
  EXPECT_EQ(after[188][1].squashed_height, 221);
  EXPECT_EQ(after[397][2].squashed_height, 154);
  EXPECT_EQ(crawl_panels[2].squashed_height, 153);
  for (int k = 0; k < panel_count; k++) {
    const int shown = (794 - start_frames[k] + 1) / 2;
    EXPECT_EQ(std::pair(crawl_panels[k].shrink_phase, crawl_panels[k].base_width),
              std::pair(shown % 3, panel_widths[k] - 2 * (shown / 3)))
        << "panel " << k << " after iteration 794";
  }
}

// Iterations 300 and 301, with panel 0 alone on screen: the canvas is
// painted over with the marker first, so only what they restore and draw
// shows anything else.
TEST(CrawlScene, RestoreReachesFromThePanelToTheRightAndBottomEdges)
{
  prepare_show();
  record_refreshes({}, [](int64_t frame, BITMAP *) {
    if (frame == 150)
      clear_to_color(frame_canvas, marker_colour);
    key[KEY_ESC] = frame == 151;
  });
  crawl_scene();

  const int left = crawl_centre_x - panel_widths[0] / 2, right = left + panel_widths[0];
  int top = 0;
  while (top < SCREEN_H && span_is(screen, top, 0, SCREEN_W, marker_colour))
    top++;
  ASSERT_GT(top, SCREEN_H / 2);
  ASSERT_LT(top, SCREEN_H - panel_heights[0]);
  for (int y = top; y < SCREEN_H; y++) {
    EXPECT_TRUE(span_is(screen, y, 0, left, marker_colour)) << "row " << y;
    EXPECT_TRUE(span_is_backdrop(screen, y, right, SCREEN_W)) << "row " << y;
    EXPECT_TRUE(y < top + panel_heights[0] || span_is_backdrop(screen, y, left, right)) << y;
  }
}

}  // namespace
