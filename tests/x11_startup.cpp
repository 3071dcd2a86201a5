#include <gtest/gtest.h>

#include <malloc.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include <SDL.h>

#include "captured_calls.h"
#include "fixtures.h"
#include "platform/platform.h"
#include "show/assets.h"
#include "show/pages.h"

namespace {

std::string enter_asset_folder()
{
  std::string folder = make_asset_folder();
  EXPECT_EQ(chdir(folder.c_str()), 0);
  return folder;
}

// Makes the n-th page request (1-based) come back empty.
int failing_request;
int requests_made;
BITMAP *page_missing_at_request()
{
  return ++requests_made == failing_request ? nullptr : create_bitmap(SCREEN_W, SCREEN_H);
}

void expect_only_message(const std::string &text, bool in_text_mode)
{
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0].text, text);
  EXPECT_EQ(messages[0].in_text_mode, in_text_mode);
}

// The display starts; the assets then fail with this message alone, shown in graphics mode.
void expect_asset_failure(const std::string &text)
{
  ASSERT_TRUE(start_display());
  EXPECT_FALSE(load_assets());
  expect_only_message(text, false);
}

TEST(Startup, BuildsPagesAndAssetsThenShutsDownInOrder)
{
  // Memory comes from malloc filled, not black, as on a machine that ran a while.
  mallopt(M_PERTURB, 0x55);
  enter_asset_folder();
  ASSERT_TRUE(start_display());
  clear_to_color(screen, 0x1234);
  ASSERT_TRUE(load_assets());
  EXPECT_TRUE(messages.empty());
  EXPECT_EQ(back_page_index, 1);
  EXPECT_EQ(SCREEN_W, 1024);
  EXPECT_EQ(SCREEN_H, 768);
  EXPECT_EQ(bitmap_color_depth(screen), 16);
  EXPECT_EQ(point_colour_light, 0x5AF9);
  EXPECT_EQ(point_colour_dark, 0x086D);

  // Everything the viewer can see is black when the show begins.
  for (BITMAP *bmp : {screen, flip_pages[0], flip_pages[1], frame_canvas})
    for (int y = 0; y < bmp->h; y += 37)
      for (int x = 0; x < bmp->w; x += 41)
        ASSERT_EQ(getpixel(bmp, x, y), 0);

  // Exactly 60 values of the random sequence are gone, no more, no fewer.
  int next = rand();
  srand(1);
  for (int i = 0; i < 60; i++)
    rand();
  EXPECT_EQ(next, rand());

  destroyed.clear();
  const void *expected[] = {music, reserve_pages[0], reserve_pages[1], background_page, flip_pages[0], flip_pages[1]};
  shut_down();
  ASSERT_EQ(destroyed.size(), 6u);
  for (int i = 0; i < 6; i++)
    EXPECT_EQ(destroyed[i], std::pair(std::string(i == 0 ? "sample" : "bitmap"), expected[i])) << i;
}

// The flip pages are asked for first, where a flipping driver can flip them;
// the two reserve pages and the background page follow.
class MissingLaterPage : public testing::TestWithParam<int> {};

TEST_P(MissingLaterPage, GivesTheFirstVideoMemoryMessage)
{
  page_maker = page_missing_at_request;
  failing_request = GetParam();
  EXPECT_FALSE(start_display());
  expect_only_message("Not enough video memory (need a few 1024x768 screens in 16 & 32 bpp)\n", true);
  EXPECT_EQ(requests_made, 5) << "all five are requested before any is tested";
}

INSTANTIATE_TEST_SUITE_P(Startup, MissingLaterPage, testing::Values(3, 4, 5));

// Where the desktop's size cannot be read, the show opens a 1024x768 window.
TEST(Startup, DesktopOfUnknownSizeGetsAWindow)
{
  fail_display_bounds = true;
  ASSERT_TRUE(start_display());
  SDL_Window *window = SDL_GetWindowFromID(1);
  ASSERT_NE(window, nullptr);
  EXPECT_EQ(SDL_GetWindowFlags(window) & SDL_WINDOW_FULLSCREEN_DESKTOP, 0u);
  int w, h;
  SDL_GetWindowSize(window, &w, &h);
  EXPECT_EQ(std::pair(w, h), std::pair(1024, 768));
}

TEST(Startup, MissingSecondFlipPageGivesTheSecondMessageAndKeepsTheFirst)
{
  page_maker = page_missing_at_request;
  failing_request = 2;
  EXPECT_FALSE(start_display());
  expect_only_message("Not enough video memory (need next two 1024x768 pages in 32 bpp)\n", true);
  EXPECT_NE(flip_pages[0], nullptr);
  EXPECT_TRUE(destroyed.empty()) << "nothing is destroyed after a start-up failure";
}

// A driver that flips as DirectX does: only the first three screen-sized
// pages asked for form its flip chain, and it refuses to show any other.
std::vector<BITMAP *> pages_in_order;
BITMAP *page_in_order()
{
  pages_in_order.push_back(create_video_bitmap(SCREEN_W, SCREEN_H));
  return pages_in_order.back();
}
int flip_within_chain(BITMAP *page)
{
  const auto chain_end = pages_in_order.begin() + std::min<size_t>(3, pages_in_order.size());
  return std::find(pages_in_order.begin(), chain_end, page) != chain_end ? 0 : -1;
}

TEST(Startup, FlipPagesAreInTheDriversFlipChainAndARefusedPageStillReachesTheScreen)
{
  page_maker = page_in_order;
  ASSERT_TRUE(start_display());
  ASSERT_EQ(pages_in_order.size(), 5u);
  gfx_driver->show_video_bitmap = flip_within_chain;
  for (int i = 0; i < 4; i++) {
    begin_flip();
    end_flip();
  }
  EXPECT_EQ(flips_failed, 0) << "the show flips a page outside the driver's flip chain";
  clear_to_color(background_page, 0x1234);
  show_page(background_page);
  EXPECT_EQ(flips_failed, 1);
  EXPECT_EQ(getpixel(screen, 512, 384), 0x1234) << "the refused page was not copied to the screen";
}

TEST(Startup, SoundSystemFailureComesAfterEveryImage)
{
  enter_asset_folder();
  fail_sound_install = true;
  expect_asset_failure("Error initialising sound system\nNo sound card here\n");
  EXPECT_NE(title_image, nullptr);
}

}  // namespace
