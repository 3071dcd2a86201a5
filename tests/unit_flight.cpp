#include <gtest/gtest.h>

#include <sys/resource.h>

#include <algorithm>
#include <cmath>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "field/points.h"
#include "field/projection.h"
#include "headless.h"
#include "platform/platform.h"
#include "show/assets.h"
#include "show/flight.h"
#include "show/pages.h"
#include "system_hooks.h"

namespace fs = std::filesystem;

namespace {

BITMAP *last_shown;

void remember_shown(BITMAP *visible)
{
  blit(visible, last_shown, 0, 0, 0, 0, visible->w, visible->h);
}

// What start-up leaves for the loop, with plain stand-in star sprites.
void prepare_flight(int w = 1024, int h = 768)
{
  start_headless(w, h);
  create_headless_pages();
  ASSERT_TRUE(install_stand_in_keyboard());
  point_colour_light = makecol16(95, 95, 207);
  point_colour_dark = makecol16(15, 15, 107);
  for (BITMAP *&sprite : star_sprites) {
    sprite = filled_bitmap(star_sprite_size, star_sprite_size, MASK_COLOR_16);
    rectfill(sprite, 8, 8, 12, 12, makecol16(255, 255, 255));
  }
  populate_field();
  last_shown = create_bitmap(w, h);
  refresh_observer = remember_shown;
}

// Screenshots land in the working directory: each test gets a fresh one.
fs::path enter_scratch_folder()
{
  char pattern[] = "/tmp/flight-test-XXXXXX";
  fs::path folder = mkdtemp(pattern);
  fs::current_path(folder);
  return folder;
}

std::string file_bytes(const fs::path &path)
{
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

// True when ImageMagick decodes the file to the pixels of bmp: each 5- or
// 6-bit channel must come back as the top bits of its 8-bit expansion.
// (Without a graphics mode the library packs blue in the high bits.)
bool decodes_to(const fs::path &file, BITMAP *bmp)
{
  fs::path ppm = file.parent_path().string() + ".ppm";
  std::string command = "convert '" + file.string() + "' -depth 8 'ppm:" + ppm.string() + "'";
  if (std::system(command.c_str()) != 0)
    return false;
  std::ifstream in(ppm, std::ios::binary);
  std::string magic;
  int w = 0, h = 0, max = 0;
  in >> magic >> w >> h >> max;
  in.get();
  std::vector<unsigned char> rgb(size_t(w) * size_t(h) * 3);
  in.read(reinterpret_cast<char *>(rgb.data()), std::streamsize(rgb.size()));
  fs::remove(ppm);
  if (!in || magic != "P6" || max != 255 || w != bmp->w || h != bmp->h)
    return false;
  for (int y = 0; y < h; y++)
    for (int x = 0; x < w; x++) {
      int c = getpixel(bmp, x, y);
      const unsigned char *p = &rgb[(size_t(y) * size_t(w) + size_t(x)) * 3];
      if (p[0] >> 3 != getr16(c) >> 3 || p[1] >> 2 != getg16(c) >> 2 || p[2] >> 3 != getb16(c) >> 3)
        return false;
    }
  return true;
}

bool is_24_bit_pcx(const std::string &bytes)
{
  return bytes.size() > 128 && bytes[0] == 0x0a && bytes[3] == 8 && bytes[65] == 3;
}

TEST(FreeFlight, EndsAfterTheFrameInWhichSpaceOrEscapeIsHeld)
{
  prepare_flight(64, 48);
  key[KEY_ESC] = 1;
  free_flight_loop();
  EXPECT_EQ(pages_shown, 1);
  EXPECT_EQ(back_page_index, 0) << "the one frame went through the flip";

  key[KEY_ESC] = 0;
  key[KEY_SPACE] = 1;
  free_flight_loop();
  EXPECT_EQ(pages_shown, 2);

  key[KEY_SPACE] = 0;
  refresh_observer = [](BITMAP *) { key[KEY_ESC] = pages_shown == 5; };
  free_flight_loop();
  EXPECT_EQ(pages_shown, 5) << "Escape held during frame 5 ends the loop after it";
}

TEST(FreeFlight, TakesOneQueuedCharacterPerFrame)
{
  prepare_flight(64, 48);
  // The character of Escape is ignored like any other; only the held key ends the show.
  for (int c : {int('c'), int('x'), (KEY_ESC << 8) | 27, int('C')})
    simulate_keypress(c);
  int flight_frame = 0;
  for (bool expected : {true, true, true, false}) {
    ASSERT_TRUE(keypressed());
    EXPECT_TRUE(run_flight_frame(flight_frame));
    EXPECT_EQ(overlay_on, expected) << "after frame " << flight_frame;
  }
  EXPECT_FALSE(keypressed());
}

TEST(Overlay, SecondVClearsTheScreenEvenWithoutAPicture)
{
  prepare_flight();
  int flight_frame = 0;
  simulate_keypress('v');
  simulate_keypress('V');
  run_flight_frame(flight_frame);
  EXPECT_TRUE(overlay_on);
  run_flight_frame(flight_frame);
  EXPECT_FALSE(overlay_on);
  ASSERT_GT(count_other_than(last_shown, 0), 0) << "the field drew no star";
  EXPECT_EQ(count_other_than(screen, 0), 0);
}

TEST(Overlay, IsDrawnAt9By28AndCTwiceClearsNothing)
{
  prepare_flight();
  int green = makecol16(0, 255, 0);
  overlay_sprite = filled_bitmap(40, 30, green);
  int flight_frame = 0;
  simulate_keypress('c');
  simulate_keypress('C');
  run_flight_frame(flight_frame);
  EXPECT_NE(getpixel(last_shown, 9, 28), green) << "drawn while still off";
  run_flight_frame(flight_frame);
  EXPECT_FALSE(overlay_on);
  EXPECT_EQ(getpixel(last_shown, 9, 28), green);
  EXPECT_EQ(getpixel(last_shown, 48, 57), green);
  EXPECT_NE(getpixel(last_shown, 49, 58), green);
  EXPECT_TRUE(same_pixels(screen, last_shown)) << "the screen still shows the last frame";
}

TEST(Steering, OpposedKeysCancelAndEachKeyTurnsItsOwnAngle)
{
  prepare_flight(64, 48);
  int flight_frame = 0;
  for (int held : {KEY_4, KEY_6, KEY_8, KEY_2})
    key[held] = 1;
  for (int i = 0; i < 10; i++)
    run_flight_frame(flight_frame);
  EXPECT_NEAR(pitch_angle, 0.0, 1e-6);
  EXPECT_NEAR(yaw_angle, 0.0, 1e-6);

  key[KEY_6] = 0;
  key[KEY_8] = 0;
  for (int i = 0; i < 10; i++)
    run_flight_frame(flight_frame);
  EXPECT_NEAR(pitch_angle, 0.5, 1e-5);
  EXPECT_NEAR(yaw_angle, -0.5, 1e-5);
}

TEST(Roll, RampsOver4984FramesThenTurnsForeverWithinOneTurn)
{
  prepare_flight(64, 48);
  constexpr double degree = 3.14159265358979323846 / 180;
  std::vector<double> step(5001);
  double expected_total = 0;
  int wraps = 0;
  int flight_frame = 0;
  for (int n = 1; n <= 5000; n++) {
    float before = roll_angle;
    run_flight_frame(flight_frame);
    ASSERT_GE(roll_angle, 0.0f);
    ASSERT_LT(roll_angle, 360.0f);
    step[n] = double(roll_angle) - before;
    if (step[n] < 0) {
      step[n] += 360;
      wraps++;
    }
    expected_total += 0.425 * std::sin(std::min(n, 4984) / 56 * degree);
  }
  EXPECT_EQ(flight_frame, 4984);
  EXPECT_EQ(step[55], 0.0);
  EXPECT_NEAR(step[56], 0.425 * std::sin(degree), 1e-8);
  EXPECT_NEAR(step[4984], 0.425 * std::sin(89 * degree), 1e-4);
  EXPECT_NEAR(step[5000], 0.425 * std::sin(89 * degree), 1e-4);
  EXPECT_EQ(wraps, int(expected_total / 360));
  EXPECT_NEAR(roll_angle, std::fmod(expected_total, 360.0), 0.05);
}

TEST(Screenshot, SWritesTheShownPictureAndEveryPressOverwritesIt)
{
  prepare_flight();
  fs::path folder = enter_scratch_folder();
  int flight_frame = 0;
  simulate_keypress('s');
  run_flight_frame(flight_frame);
  std::string first = file_bytes(screenshot_name);
  EXPECT_TRUE(is_24_bit_pcx(first));
  EXPECT_TRUE(decodes_to(folder / screenshot_name, last_shown));

  overlay_sprite = filled_bitmap(40, 30, makecol16(0, 255, 0));
  overlay_on = true;
  simulate_keypress('S');
  run_flight_frame(flight_frame);
  EXPECT_NE(file_bytes(screenshot_name), first);
  EXPECT_TRUE(decodes_to(folder / screenshot_name, last_shown));
  EXPECT_EQ(std::distance(fs::directory_iterator(folder), fs::directory_iterator()), 1)
      << "nothing but the screenshot is left behind";
  fs::remove_all(folder);
}

// Writes past the limit fail as they would on a full disk, even for root.
// Only the soft limit moves, so the original one can always be restored.
rlim_t limit_file_size(rlim_t bytes)
{
  rlimit limit;
  getrlimit(RLIMIT_FSIZE, &limit);
  rlim_t before = limit.rlim_cur;
  limit.rlim_cur = bytes;
  setrlimit(RLIMIT_FSIZE, &limit);
  return before;
}

TEST(Screenshot, WriteThatFailsKeepsThePreviousOneAndTheLoopGoesOn)
{
  prepare_flight();
  fs::path folder = enter_scratch_folder();
  int flight_frame = 0;
  simulate_keypress('s');
  run_flight_frame(flight_frame);
  std::string kept = file_bytes(screenshot_name);
  ASSERT_TRUE(is_24_bit_pcx(kept));

  // The next picture's full size, learnt in a folder of its own.
  overlay_sprite = filled_bitmap(40, 30, makecol16(0, 255, 0));
  overlay_on = true;
  run_flight_frame(flight_frame);
  fs::path sizing = enter_scratch_folder();
  save_screenshot();
  auto full_size = fs::file_size(screenshot_name);
  fs::remove_all(sizing);
  fs::current_path(folder);

  signal(SIGXFSZ, SIG_IGN);
  // Failing at the first buffer, and failing only at the very last byte.
  for (rlim_t limit : {rlim_t(4096), rlim_t(full_size - 1)}) {
    rlim_t before = limit_file_size(limit);
    save_screenshot();
    limit_file_size(before);
    EXPECT_EQ(file_bytes(screenshot_name), kept) << "limit " << limit;
    EXPECT_EQ(std::distance(fs::directory_iterator(folder), fs::directory_iterator()), 1)
        << "no partial file is left behind";
  }

  rlim_t before = limit_file_size(4096);
  simulate_keypress('s');
  EXPECT_TRUE(run_flight_frame(flight_frame));
  limit_file_size(before);
  EXPECT_EQ(file_bytes(screenshot_name), kept);
  fs::remove_all(folder);
}

}  // namespace
