#include <gtest/gtest.h>

#include "headless.h"
#include "platform/platform.h"
#include "refreshes.h"
#include "scenes/title.h"
#include "show/assets.h"
#include "system_hooks.h"

namespace {

constexpr int escape_character = (KEY_ESC << 8) | 27;

// A title picture with no black in it, framed so that a misplaced or
// partial copy shows; the screen starts out anything but black.
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
  destroy_bitmap(placed);
  EXPECT_EQ(count_other_than(picture, 0), long(title_width) * title_height);
}

TEST(TitleCard, ShowsThePictureCentredFor250RetracesThenClears)
{
  prepare_title(768);
  record_refreshes({1, 250});
  title_card();
  EXPECT_EQ(retrace_waits, 250);
  EXPECT_EQ(refreshes_recorded(), 250);
  EXPECT_EQ(pages_shown, 0) << "the title card draws on the screen, not through the pages";
  expect_title_at(refresh_copy(1), 258);
  expect_title_at(refresh_copy(250), 258);
  EXPECT_EQ(count_other_than(screen, 0), 0);
}

TEST(TitleCard, PlacesThePictureByTheScreensHeight)
{
  prepare_title(600);
  record_refreshes({1});
  title_card();
  expect_title_at(refresh_copy(1), 600 / 2 - 126);
}

TEST(TitleCard, EscapeHeldEndsAfterOneWaitAndStaysQueued)
{
  prepare_title(768);
  ASSERT_TRUE(install_stand_in_keyboard());
  simulate_keypress(escape_character);
  key[KEY_ESC] = 1;
  record_refreshes({1});
  title_card();
  EXPECT_EQ(retrace_waits, 1);
  expect_title_at(refresh_copy(1), 258);
  EXPECT_EQ(count_other_than(screen, 0), 0);
  ASSERT_TRUE(keypressed()) << "Escape must be read as a held key, not taken from the buffer";
  EXPECT_EQ(readkey(), escape_character);
}

TEST(TitleCard, EscapePressedDuringAWaitEndsAfterIt)
{
  prepare_title(768);
  record_refreshes({}, [](int64_t n, BITMAP *) {
    if (n == 40)
      key[KEY_ESC] = 1;
  });
  title_card();
  EXPECT_EQ(retrace_waits, 40);
}

}  // namespace
