#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include <unistd.h>

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

TEST(Startup, BuildsPagesAndAssetsThenShutsDownInOrder)
{
  enter_asset_folder();
  ASSERT_TRUE(start_display());
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
  const void *expected[] = {music,           reserve_pages[0], reserve_pages[1],
                            background_page, flip_pages[0],    flip_pages[1]};
  shut_down();
  ASSERT_EQ(destroyed.size(), 6u);
  for (int i = 0; i < 6; i++) {
    EXPECT_EQ(destroyed[i].second, expected[i]) << "destruction " << i;
    EXPECT_EQ(destroyed[i].first, i == 0 ? "sample" : "bitmap");
  }
}

TEST(Startup, MissingBackgroundPageGivesTheFirstVideoMemoryMessage)
{
  enter_asset_folder();
  page_maker = page_missing_at_request;
  failing_request = 3;
  EXPECT_FALSE(start_display());
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0].text, "Not enough video memory (need a few 1024x768 screens in 16 & 32 bpp)\n");
  EXPECT_TRUE(messages[0].in_text_mode);
  EXPECT_EQ(requests_made, 3) << "all three are requested before any is tested";
}

TEST(Startup, MissingSecondFlipPageGivesTheSecondMessageAndKeepsTheFirst)
{
  enter_asset_folder();
  page_maker = page_missing_at_request;
  failing_request = 5;
  EXPECT_FALSE(start_display());
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0].text, "Not enough video memory (need next two 1024x768 pages in 32 bpp)\n");
  EXPECT_TRUE(messages[0].in_text_mode);
  EXPECT_NE(flip_pages[0], nullptr);
  EXPECT_TRUE(destroyed.empty()) << "nothing is destroyed after a start-up failure";
}

TEST(Startup, SoundSystemFailureIsReportedInGraphicsMode)
{
  enter_asset_folder();
  fail_sound_install = true;
  ASSERT_TRUE(start_display());
  EXPECT_FALSE(load_assets());
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0].text, "Error initialising sound system\nNo sound card here\n");
  EXPECT_FALSE(messages[0].in_text_mode);
  EXPECT_NE(title_image, nullptr) << "every image is loaded before the sound system";
}

TEST(Startup, MissingMusicNamesTheFileWithoutItsFolder)
{
  std::string folder = enter_asset_folder();
  unlink((folder + "/dat/track1_cut_equalize.wav").c_str());
  ASSERT_TRUE(start_display());
  EXPECT_FALSE(load_assets());
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0].text,
            "Error reading WAV file 'track1_cut_equalize.wav'\nNo such file in " + folder + "/dat\n");
  EXPECT_FALSE(messages[0].in_text_mode);
}

TEST(Startup, DamagedMusicKeepsTheFirstLineAndGivesItsReason)
{
  std::string folder = enter_asset_folder();
  truncate((folder + "/dat/track1_cut_equalize.wav").c_str(), 1000);
  ASSERT_TRUE(start_display());
  EXPECT_FALSE(load_assets());
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0].text, "Error reading WAV file 'track1_cut_equalize.wav'\n"
                              "It is cut short: it claims 4410 bytes of sound and holds 956\n");
  EXPECT_EQ(music, nullptr);
}

TEST(Startup, MissingImageStopsAtItsLoad)
{
  std::string folder = enter_asset_folder();
  unlink((folder + "/dat/txt2_2.tga").c_str());
  ASSERT_TRUE(start_display());
  EXPECT_FALSE(load_assets());
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0].text, "Error reading image file 'txt2_2.tga'\nNo such file in " + folder + "/dat\n");
  EXPECT_EQ(title_image, nullptr) << "nothing after the failed image is loaded";
}

TEST(Startup, StartedElsewhereSaysWhereItLookedForDat)
{
  char pattern[] = "/tmp/show-elsewhere-XXXXXX";
  ASSERT_NE(mkdtemp(pattern), nullptr);
  ASSERT_EQ(chdir(pattern), 0);
  ASSERT_TRUE(start_display());
  EXPECT_FALSE(load_assets());
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0].text, "Error reading image file 'star2.tga'\nNo folder 'dat' in " + std::string(pattern) + "\n");
  rmdir(pattern);
}

TEST(Startup, ImageWhoseHeaderLiesIsRefusedBeforeTheLoaderAllocates)
{
  std::string folder = enter_asset_folder();
  std::string strip = folder + "/dat/star2.tga";
  FILE *file = fopen(strip.c_str(), "r+b");
  const unsigned char huge[4] = {0x60, 0xea, 0x60, 0xea};  // 60000 x 60000
  fseek(file, 12, SEEK_SET);
  fwrite(huge, 1, sizeof huge, file);
  fclose(file);
  ASSERT_TRUE(start_display());
  EXPECT_FALSE(load_assets());
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0].text, "Error reading image file 'star2.tga'\n"
                              "It claims to be 60000x60000, larger than the 4096x4096 the show reads\n");
  EXPECT_EQ(star_strip, nullptr);
}

TEST(Startup, TooSmallImageIsRefusedWithBothSizes)
{
  std::string folder = enter_asset_folder();
  write_tga(folder + "/dat/logo.tga", 639, 200, 1, 2, 3);
  ASSERT_TRUE(start_display());
  EXPECT_FALSE(load_assets());
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0].text,
            "Error reading image file 'logo.tga'\nIt is 639x200, the show needs 639x283\n");
}

TEST(Startup, StarSpritesShareTheStripsBorderColumns)
{
  std::string folder = enter_asset_folder();
  // A strip whose every column has its own colour shows where each cell came from.
  std::string strip = folder + "/dat/star2.tga";
  write_tga(strip, 121, 21, 0, 0, 0);
  {
    FILE *file = fopen(strip.c_str(), "r+b");
    for (int y = 0; y < 21; y++)
      for (int x = 0; x < 121; x++) {
        fseek(file, 18 + (y * 121 + x) * 3, SEEK_SET);
        unsigned char bgr[3] = {0, static_cast<unsigned char>((x >> 5) * 64),
                                static_cast<unsigned char>((x & 31) * 8)};
        fwrite(bgr, 1, 3, file);
      }
    fclose(file);
  }
  ASSERT_TRUE(start_display());
  ASSERT_TRUE(load_assets());
  auto column_of = [](BITMAP *bmp, int x) { return getr16(getpixel(bmp, x, 10)) / 8 + getg16(getpixel(bmp, x, 10)) / 64 * 32; };
  for (int k = 0; k < 6; k++) {
    ASSERT_EQ(star_sprites[k]->w, 21);
    for (int x = 0; x < 21; x++)
      EXPECT_EQ(column_of(star_sprites[k], x), 20 * k + x) << "sprite " << k;
  }
  EXPECT_EQ(column_of(star_sprites[0], 20), column_of(star_sprites[1], 0)) << "column 20 is in cells 0 and 1";
  EXPECT_EQ(column_of(star_sprites[4], 20), column_of(star_sprites[5], 0)) << "column 100 is in cells 4 and 5";
}

}  // namespace
