// The free-flight loop under what viewers and machines do to it: keys in
// floods, keys held down, a folder it may not write, and a night of frames.
#include <gtest/gtest.h>

#include <allegro.h>

#include <malloc.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "field/points.h"
#include "field/projection.h"
#include "headless.h"
#include "platform/platform.h"
#include "show/assets.h"
#include "show/flight.h"
#include "show/pages.h"
#include "system_hooks.h"

namespace fs = std::filesystem;

#if defined(__SANITIZE_ADDRESS__)
extern "C" size_t __sanitizer_get_current_allocated_bytes();
#endif

namespace {

// What start-up leaves for the loop, on a w x h stand-in screen.
void prepare_flight(int w, int h)
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
}

fs::path enter_scratch_folder()
{
  char pattern[] = "/tmp/flight-storm-XXXXXX";
  fs::path folder = mkdtemp(pattern);
  fs::current_path(folder);
  return folder;
}

std::string file_bytes(const fs::path &path)
{
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

long files_in(const fs::path &folder)
{
  return std::distance(fs::directory_iterator(folder), fs::directory_iterator());
}

// Resident memory in pages, as the kernel counts it.
long resident_pages()
{
  long size = 0, resident = 0;
  FILE *statm = fopen("/proc/self/statm", "r");
  if (!statm || fscanf(statm, "%ld %ld", &size, &resident) != 2)
    resident = -1;
  if (statm)
    fclose(statm);
  return resident;
}

// Bytes the program holds on the heap, from whichever allocator it runs on.
size_t heap_in_use()
{
#if defined(__SANITIZE_ADDRESS__)
  return __sanitizer_get_current_allocated_bytes();
#else
  return mallinfo2().uordblks;
#endif
}

// The screenshot on disk is the picture on the screen, pixel for pixel.
bool screenshot_shows_screen()
{
  PALETTE palette;
  BITMAP *shot = load_pcx(screenshot_name, palette);
  bool same = shot && same_pixels(shot, screen);
  if (shot)
    destroy_bitmap(shot);
  return same;
}

TEST(InputStorm, AThousandQueuedCharactersAreTakenOneAFrameAsFarAsTheBufferHeldThem)
{
  prepare_flight(64, 48);
  fs::path folder = enter_scratch_folder();
  // V switches the overlay on, every C switches it over, S in between saves,
  // and the characters of Escape and Space are taken like any other.
  simulate_keypress('v');
  for (int i = 1; i < 1000; i++)
    simulate_keypress(i == 10 ? 's' : "xc\x1b "[i % 4]);

  // The library's ring keeps 63 characters and drops what comes after.
  int flight_frame = 0, frames = 0;
  while (keypressed() && frames < 1000) {
    ASSERT_TRUE(run_flight_frame(flight_frame)) << "frame " << frames + 1;
    frames++;
  }
  EXPECT_EQ(frames, 63);
  EXPECT_EQ(pages_shown, 63);
  EXPECT_TRUE(overlay_on) << "V and then 16 C: the overlay ends on";
  EXPECT_TRUE(fs::exists(screenshot_name)) << "the S among them saved nothing";
  EXPECT_TRUE(run_flight_frame(flight_frame)) << "the loop goes on once the buffer is empty";
  fs::remove_all(folder);
}

TEST(InputStorm, AllSixKeysHeldAtOnceShowOneFrameWithTheTurnsCancelled)
{
  prepare_flight(64, 48);
  for (int held : {KEY_4, KEY_6, KEY_8, KEY_2, KEY_SPACE, KEY_ESC})
    key[held] = 1;
  // Held keys also repeat into the buffer, faster than frames are drawn.
  for (int i = 0; i < 2; i++)
    for (int c : {int('4'), int('6'), int('8'), int('2'), int(' '), 27})
      simulate_keypress(c);
  free_flight_loop();
  EXPECT_EQ(pages_shown, 1);
  EXPECT_NEAR(pitch_angle, 0.0, 1e-6);
  EXPECT_NEAR(yaw_angle, 0.0, 1e-6);
  EXPECT_TRUE(std::isfinite(roll_angle));
}

TEST(InputStorm, SHeldForAHundredFramesSavesEveryFrameWholeAndLeavesNothingElse)
{
  prepare_flight(320, 240);
  fs::path folder = enter_scratch_folder();
  key[KEY_S] = 1;
  key[KEY_4] = 1;  // steering on as well, so that every frame differs
  int flight_frame = 0;
  simulate_keypress('s');
  ASSERT_TRUE(run_flight_frame(flight_frame));
  const size_t heap_before = heap_in_use();
  for (int frame = 2; frame <= 100; frame++) {
    simulate_keypress('s');  // the key's repeat, one a frame at the least
    ASSERT_TRUE(run_flight_frame(flight_frame)) << "frame " << frame;
  }
  const size_t heap_after = heap_in_use();
  EXPECT_EQ(pages_shown, 100);
  EXPECT_NEAR(pitch_angle, 100 * 0.05, 1e-3) << "steering went on through the screenshots";
  EXPECT_TRUE(screenshot_shows_screen()) << "the last screenshot is not the last frame";
  EXPECT_EQ(files_in(folder), 1) << "drafts were left behind";
  EXPECT_EQ(heap_after, heap_before) << "screenshots keep memory";
  fs::remove_all(folder);
}

TEST(Screenshot, InAReadOnlyFolderFailsSilentlyAndTheLastOneStays)
{
  prepare_flight(64, 48);
  fs::path folder = enter_scratch_folder();
  int flight_frame = 0;
  simulate_keypress('s');
  run_flight_frame(flight_frame);
  const std::string kept = file_bytes(screenshot_name);
  ASSERT_FALSE(kept.empty());

  // Anyone may write the file itself: only the folder is closed, so a
  // screenshot written in place would spoil it.
  fs::permissions(screenshot_name, fs::perms::all & ~fs::perms::owner_exec & ~fs::perms::group_exec &
                                       ~fs::perms::others_exec);
  fs::permissions(folder, fs::perms::owner_read | fs::perms::owner_exec | fs::perms::group_read |
                              fs::perms::group_exec | fs::perms::others_read | fs::perms::others_exec);
  key[KEY_4] = 1;  // the next picture differs from the kept one
  pid_t child = fork();
  if (child == 0) {
    // Root writes into any folder: the frame runs as nobody.
    if (geteuid() == 0 && setuid(65534) != 0)
      _exit(2);
    for (int i = 0; i < 3; i++)
      simulate_keypress('s');
    bool going = true;
    for (int i = 0; i < 3; i++)
      going = going && run_flight_frame(flight_frame);
    _exit(going && !keypressed() ? 0 : 1);
  }
  int status = -1;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  fs::permissions(folder, fs::perms::owner_all);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "status " << status;
  EXPECT_EQ(file_bytes(screenshot_name), kept);
  EXPECT_EQ(files_in(folder), 1);
  fs::remove_all(folder);
}

// A night of free flight, unpaced, on a 64x48 stand-in screen: every frame
// still projects and draws all 280 points, takes its 90 random values and
// goes through both pages, but the clears and copies of a full screen,
// which would make a million frames take twenty minutes, shrink to little.
TEST(Soak, AMillionFramesKeepRollingWithFlatMemory)
{
  prepare_flight(64, 48);
  constexpr int frames = 1'000'000;
  constexpr int settle = 10'000;
  int flight_frame = 0;
  long resident_settled = 0;
  size_t heap_settled = 0;
  float lowest = 360, highest = 0;
  for (int n = 1; n <= frames; n++) {
    // A viewer who now and then steers, one way, then back.
    const int in_cycle = (n - 1) % 50'000;
    key[KEY_4] = in_cycle < 1000;
    key[KEY_6] = in_cycle >= 25'000 && in_cycle < 26'000;
    if (!run_flight_frame(flight_frame)) {
      ADD_FAILURE() << "the loop ended at frame " << n;
      break;
    }
    lowest = std::min(lowest, roll_angle);
    highest = std::max(highest, roll_angle);
    if (n == settle) {
      resident_settled = resident_pages();
      heap_settled = heap_in_use();
    }
  }
  // Taken before any check below can allocate for its message.
  const size_t heap_grown = heap_in_use() - heap_settled;
  const long resident_grown = resident_pages() - resident_settled;
  EXPECT_EQ(pages_shown, frames);
  EXPECT_EQ(flight_frame, 4984);
  EXPECT_GE(lowest, 0.0f);
  EXPECT_LT(highest, 360.0f);
  EXPECT_GT(highest - lowest, 359.0f) << "the roll stopped going round";
  float before = roll_angle;
  run_flight_frame(flight_frame);
  float step = std::fmod(roll_angle - before + 360.0f, 360.0f);
  EXPECT_NEAR(step, 0.425 * std::sin(89 * 3.14159265358979 / 180), 1e-3) << "still at top speed";
  EXPECT_NEAR(pitch_angle, 0.0, 0.01) << "20 turns one way and 20 back";
  EXPECT_EQ(heap_grown, 0u) << "the heap grew";
  // A byte kept per frame would show as 250 pages.
  EXPECT_LE(resident_grown, 64) << "resident memory grew";
}

}  // namespace
