// The free-flight loop: its keys, its roll and its screenshot.
#include <gtest/gtest.h>

#include <malloc.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <memory>
#include <string>

#include "field/points.h"
#include "field/projection.h"
#include "fixtures.h"
#include "headless.h"
#include "platform/offscreen/offscreen.h"
#include "platform/platform.h"
#include "show/assets.h"
#include "show/flight.h"
#include "show/pages.h"
#include "system_hooks.h"

namespace fs = std::filesystem;

namespace {

constexpr double degree = 3.14159265358979323846 / 180;

// What start-up leaves for the loop, with plain stand-in star sprites.
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

long files_in(const fs::path &folder)
{
  return std::distance(fs::directory_iterator(folder), fs::directory_iterator());
}

// The screenshot on disk is the picture on the screen, pixel for pixel.
bool screenshot_shows_screen()
{
  PALETTE palette;
  std::unique_ptr<BITMAP, void (*)(BITMAP *)> shot(load_pcx(screenshot_name, palette),
                                                   destroy_bitmap);
  return shot && same_pixels(shot.get(), screen);
}

// Bytes held on the heap. The sanitizers' allocator keeps its own books, so
// under them this stays 0 and only the plain build measures.
size_t heap_in_use()
{
  return mallinfo2().uordblks;
}

// Moves only the soft limit, so the old one can always be put back; returns it.
rlim_t set_soft_limit(int resource, rlim_t value)
{
  rlimit limit;
  getrlimit(resource, &limit);
  const rlim_t before = limit.rlim_cur;
  limit.rlim_cur = value;
  setrlimit(resource, &limit);
  return before;
}

TEST(FreeFlight, SteersByHeldKeysAndEndsAfterTheFrameInWhichSpaceOrEscapeIsHeld)
{
  prepare_flight(64, 48);
  key[KEY_SPACE] = 1;
  free_flight_loop();
  EXPECT_EQ(pages_shown, 1);

  key[KEY_SPACE] = 0;
  for (int held : {KEY_4, KEY_6, KEY_8, KEY_2})
    key[held] = 1;
  int flight_frame = 0;
  for (int i = 0; i < 10; i++)
    run_flight_frame(flight_frame);
  EXPECT_NEAR(pitch_angle, 0.0, 1e-6);
  EXPECT_NEAR(yaw_angle, 0.0, 1e-6);

  key[KEY_6] = 0;
  key[KEY_8] = 0;
  refresh_observer = [](BITMAP *) { key[KEY_ESC] = pages_shown == 21; };
  free_flight_loop();
  EXPECT_EQ(pages_shown, 21) << "Escape held during the loop's tenth frame ends it after that";
  EXPECT_NEAR(pitch_angle, 0.5, 1e-5);
  EXPECT_NEAR(yaw_angle, -0.5, 1e-5);
}

// The roll of the loop's frames is, bit for bit, an angle that simply keeps
// growing, with the ramp's steps; so every picture is that of an unwrapped roll.
TEST(FreeFlight, RollRampsOver4984FramesAndIsNeverWrappedEarly)
{
  prepare_flight(64, 48);
  float unwrapped = 0;
  int flight_frame = 0;
  for (int n = 1; n <= 10'000; n++) {
    run_flight_frame(flight_frame);
    const float q = float(std::min(n, 4984) / 56 % 90);
    unwrapped = float(double(unwrapped) + 0.425 * double(sin_deg(q)));
    ASSERT_EQ(roll_angle, unwrapped) << "frame " << n;
  }
  EXPECT_EQ(flight_frame, 4984);
  EXPECT_GT(roll_angle, 2 * 360.0f);
}

// Hours into the flight whole turns come off, and the roll keeps its speed.
// Between 2^16 and 2^17 degrees a float steps by 1/128, so a frame's step
// there is 54 or 55 of those: up to 1.12 % off, 0.26 % slow on average.
TEST(FreeFlight, RollKeepsItsTopSpeedForAMillionFramesPastTheWrap)
{
  const double top_step = 0.425 * std::sin(89 * degree);
  constexpr int frames = 1'000'000;
  roll_angle = 131072.0f - 2.0f;
  bool wrapped = false;
  double turned = 0;
  for (int n = 1; n <= frames; n++) {
    const float before = roll_angle;
    advance_roll(4984);
    double step = double(roll_angle) - double(before);
    if (step < 0) {
      wrapped = true;
      step += 131040.0;
    }
    ASSERT_NEAR(step, top_step, 0.0115 * top_step) << "frame " << n << " at " << before;
    turned += step;
  }
  EXPECT_TRUE(wrapped);
  EXPECT_NEAR(turned / frames, top_step, 0.005 * top_step);
  EXPECT_LT(roll_angle, 131072.0f);
}

TEST(Screenshot, SHeldForAHundredFramesSavesEachWholeAndKeepsNothingElse)
{
  prepare_flight(320, 240);
  fs::path folder = enter_scratch_folder();
  key[KEY_S] = 1;
  key[KEY_4] = 1;  // steering on as well, so that every frame differs
  int flight_frame = 0;
  simulate_keypress('s');
  ASSERT_TRUE(run_flight_frame(flight_frame));
  EXPECT_TRUE(screenshot_shows_screen());
  const size_t heap_before = heap_in_use();
  for (int frame = 2; frame <= 100; frame++) {
    simulate_keypress(frame % 2 ? 's' : 'S');  // the key's repeat
    ASSERT_TRUE(run_flight_frame(flight_frame)) << "frame " << frame;
  }
  const size_t heap_after = heap_in_use();
  EXPECT_NEAR(pitch_angle, 100 * 0.05, 1e-3) << "steering went on through the screenshots";
  EXPECT_TRUE(screenshot_shows_screen()) << "the last screenshot is not the last frame";
  EXPECT_EQ(files_in(folder), 1) << "drafts were left behind";
  EXPECT_EQ(heap_after, heap_before) << "screenshots keep memory";
  fs::remove_all(folder);
}

// A draft left by a run that died gives way. Whatever else lies under the
// draft's name, and whatever stops the write (limits fail it as a full disk
// or a used-up process would, even for root): the last screenshot stays, the
// thing under the name is left as it was, nothing outside the name is touched
// and no draft remains.
TEST(Screenshot, AFailedOneLeavesTheLastOneWhatItFoundAndNoDraft)
{
  start_headless(320, 240);
  catch_stop_signals();  // as the show does: SIGXFSZ ignored
  const fs::path folder = enter_scratch_folder(), draft = "qirboSho.pcx.part";
  std::ofstream("mine") << "the user's own";
  std::ofstream(draft) << "stale";
  save_screenshot();
  EXPECT_TRUE(screenshot_shows_screen());
  EXPECT_FALSE(fs::exists(draft));
  const std::string kept = file_bytes(screenshot_name);
  // The next picture differs, and its size lets a write fail at its last byte.
  rectfill(screen, 0, 0, 99, 99, makecol16(0, 255, 0));
  save_screenshot();
  const rlim_t full_size = fs::file_size(screenshot_name);

  struct trial {
    const char *name;
    std::function<void()> plant;
    int resource;
    rlim_t limit;
  };
  const trial trials[] = {
      {"link to a file", [&] { fs::create_symlink(folder / "mine", draft); }, RLIMIT_FSIZE, RLIM_INFINITY},
      {"dangling link", [&] { fs::create_symlink(folder / "new", draft); }, RLIMIT_FSIZE, RLIM_INFINITY},
      {"pipe", [&] { mkfifo(draft.c_str(), 0644); }, RLIMIT_FSIZE, RLIM_INFINITY},
      {"empty folder", [&] { fs::create_directory(draft); }, RLIMIT_FSIZE, RLIM_INFINITY},
      {"no file slot", [] {}, RLIMIT_NOFILE, 0},
      {"size limit", [] {}, RLIMIT_FSIZE, 4096},
      {"size limit at the last byte", [] {}, RLIMIT_FSIZE, full_size - 1},
  };
  for (const trial &t : trials) {
    std::ofstream(screenshot_name, std::ios::binary) << kept;
    t.plant();
    const fs::file_type planted = fs::symlink_status(draft).type();
    const rlim_t before = set_soft_limit(t.resource, t.limit);
    alarm(10);  // a draft opened on the pipe would wait here for a reader
    save_screenshot();
    alarm(0);
    set_soft_limit(t.resource, before);
    EXPECT_EQ(file_bytes(screenshot_name), kept) << t.name;
    EXPECT_EQ(fs::symlink_status(draft).type(), planted) << t.name;
    EXPECT_EQ(file_bytes("mine"), "the user's own") << t.name;
    EXPECT_FALSE(fs::exists(folder / "new")) << t.name;
    fs::remove(draft);
  }
  EXPECT_EQ(files_in(folder), 2) << "a draft or a stray file is left behind";
  fs::remove_all(folder);
}

// The overlay's picture is a help, not a part of the show: whatever its file
// is, the show starts, and the overlay has a picture only when the file is
// whole.
TEST(Overlay, AnyOverlayFileLetsTheShowStartAndOnlyAWholeOneGivesItsPicture)
{
  const fs::path folder = make_asset_folder(), file = folder / "dat" / "overlay.tga";
  fs::current_path(folder);
  use_offscreen_drivers();
  ASSERT_TRUE(start_display());
  const fs::path committed = fs::path(SOURCE_DIR) / "dat" / "overlay.tga";
  struct row {
    const char *what;
    std::function<void()> make;
    bool pictured;
  } rows[] = {
      {"missing", [&] { fs::remove(file); }, false},
      {"the committed one",
       [&] { fs::copy_file(committed, file, fs::copy_options::overwrite_existing); }, true},
      {"cut short", [&] { fs::resize_file(file, fs::file_size(committed) / 2); }, false},
      {"not a picture", [&] { std::ofstream(file) << "no picture here"; }, false},
      {"a folder", [&] { fs::remove(file); fs::create_directory(file); }, false},
  };
  for (const row &r : rows) {
    r.make();
    overlay_sprite = nullptr;
    EXPECT_TRUE(load_assets()) << r.what;
    EXPECT_EQ(overlay_sprite != nullptr, r.pictured) << r.what;
    if (overlay_sprite) {
      EXPECT_TRUE(overlay_sprite->w == overlay_width && overlay_sprite->h == overlay_height &&
                  getpixel(overlay_sprite, 0, 0) == MASK_COLOR_16)
          << "the picture with its see-through corner";
    }
  }
  fs::current_path("/");
  fs::remove_all(folder);
}

}  // namespace
