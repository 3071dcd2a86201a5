#include <gtest/gtest.h>

#include "headless.h"
#include "platform/platform.h"
#include "refreshes.h"
#include "scenes/title.h"
#include "show/assets.h"
#include "system_hooks.h"

namespace {

// A framed title picture with no black in it on a grey screen, so that a
// misplaced or partial copy or a missing clear shows.
void prepare_title(int screen_h)
{
  start_headless(1024, screen_h);
  clear_to_color(screen, makecol16(90, 90, 90));
  title_image = filled_bitmap(title_width, title_height, makecol16(40, 40, 200));
  rect(title_image, 0, 0, title_width - 1, title_height - 1, makecol16(255, 255, 0));
}

// The whole title picture with its corner at (100, top), and black around it.
void expect_title_at(BITMAP *picture, int top)
{
  ASSERT_NE(picture, nullptr);
  BITMAP *placed = create_sub_bitmap(picture, 100, top, title_width, title_height);
  EXPECT_TRUE(same_pixels(placed, title_image));
  EXPECT_EQ(count_other_than(picture, 0), long(title_width) * title_height);
}

TEST(TitleCard, ShowsThePictureCentredFor250RetracesThenClears)
{
  prepare_title(600);
  record_refreshes({1, 250});
  title_card();
  EXPECT_EQ(retrace_waits, 250);
  EXPECT_EQ(pages_shown, 0) << "drawn on the screen, not through the pages";
  expect_title_at(refresh_copy(1), 600 / 2 - 126);
  expect_title_at(refresh_copy(250), 600 / 2 - 126);
  EXPECT_EQ(count_other_than(screen, 0), 0);
}

TEST(TitleCard, EscapeHeldEndsItAfterThatWaitAndStaysQueued)
{
  prepare_title(768);
  ASSERT_TRUE(install_stand_in_keyboard());
  simulate_keypress((KEY_ESC << 8) | 27);
  key[KEY_ESC] = 1;
  record_refreshes({1});
  title_card();
  EXPECT_EQ(retrace_waits, 1);
  expect_title_at(refresh_copy(1), 258);
  EXPECT_EQ(count_other_than(screen, 0), 0);
  EXPECT_TRUE(keypressed()) << "Escape is read as a held key, not taken from the buffer";

  record_refreshes({}, [](int64_t n, BITMAP *) { key[KEY_ESC] = n == 40; });
  title_card();
  EXPECT_EQ(retrace_waits, 1 + 40);
}

}  // namespace
