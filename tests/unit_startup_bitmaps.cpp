// Start-up with too little memory: every bitmap the show makes before the
// first scene is checked, and one that cannot be made ends the start-up with
// the memory message, in text mode as the pages' messages are, never a crash.
#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "fixtures.h"
#include "headless.h"
#include "show/assets.h"
#include "system_hooks.h"

namespace {

struct shown_message {
  std::string text;
  bool in_text_mode;
};
std::vector<shown_message> shown;

void note_message(const char *text)
{
  shown.push_back({text, gfx_driver == nullptr});
}

BITMAP *no_video_memory(int, int)
{
  return nullptr;
}

// The stand-in started afresh (a failure leaves the graphics mode), without
// video memory, so that the sprites too come from create_bitmap, and the
// assets loaded with creation n failing (0: none).
bool load_assets_failing_creation(int n)
{
  start_headless();
  gfx_driver->create_video_bitmap = no_video_memory;
  system_driver->message = note_message;
  shown.clear();
  watch_bitmaps(n);
  return load_assets();
}

TEST(StartupBitmaps, EachOneThatCannotBeMadeGivesTheMemoryMessage)
{
  namespace fs = std::filesystem;
  const fs::path before = fs::current_path(), folder = make_asset_folder();
  fs::current_path(folder);
  start_headless();
  const auto video_bitmaps = gfx_driver->create_video_bitmap;

  ASSERT_TRUE(load_assets_failing_creation(0)) << (shown.empty() ? "" : shown[0].text);
  const int creations = creations_asked;
  // The show's own fourteen (six panels, two canvases, six sprites) and the
  // six pictures' at least.
  EXPECT_GE(creations, 20);
  for (int n = 1; n <= creations; n++) {
    EXPECT_FALSE(load_assets_failing_creation(n)) << "creation " << n << " failed, yet the start-up went on";
    EXPECT_EQ(creations_asked, n) << "bitmaps were made after creation " << n << " failed";
    ASSERT_EQ(shown.size(), 1u) << "creation " << n << " failed";
    EXPECT_EQ(shown[0].text, "Not enough memory (need a few 1024x768 bitmaps in 16 bpp)\n") << "creation " << n;
    EXPECT_TRUE(shown[0].in_text_mode) << "creation " << n << ": the message came in the graphics mode";
  }

  system_driver->create_bitmap = nullptr;
  start_headless();
  gfx_driver->create_video_bitmap = video_bitmaps;
  fs::current_path(before);
  fs::remove_all(folder);
}

}  // namespace
