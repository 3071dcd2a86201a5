// Every picture of the show, from the opening pause through 600 frames of
// steered free flight, drawn from the real dat/ files and held to a list of
// hashes made once from a version whose pixels were checked. Any pixel of
// any frame that moves fails it; so does a frame too many or too few.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

#include "platform/offscreen/offscreen.h"
#include "platform/platform.h"
#include "refreshes.h"
#include "show/flight.h"
#include "show/sequence.h"

namespace fs = std::filesystem;

namespace {

constexpr char hash_list[] = SOURCE_DIR "/tests/frame_hashes.txt";
constexpr char actual_list[] = BUILD_DIR "/frame_hashes.actual.txt";
constexpr int flight_frames = 600;
constexpr int64_t flight_starts_after = 1946;

// Each step is a bijection of the running hash and of the word, so a change
// in any one word always changes the result.
uint64_t picture_hash(BITMAP *bmp)
{
  uint64_t h = uint64_t(bmp->w) << 32 | uint32_t(bmp->h);
  const size_t words = size_t(bmp->w) * 2 / 8;
  for (int y = 0; y < bmp->h; y++) {
    const unsigned char *row = bmp->line[y];
    for (size_t i = 0; i < words; i++) {
      uint64_t w;
      std::memcpy(&w, row + 8 * i, 8);
      h = (h ^ w) * 0x9e3779b97f4a7c15u;
      h = h << 29 | h >> 35;
    }
  }
  return h;
}

// Which part of the show a refresh belongs to, by its number from 1.
const char *scene_of(size_t frame)
{
  if (frame <= 50)
    return "opening pause";
  if (frame <= 300)
    return "title card";
  if (frame <= 621)
    return "logo";
  if (frame <= flight_starts_after)
    return "text crawl";
  return "free flight";
}

// Free-flight keys by the loop's frame: every steering key held alone and
// with its opposite, a screenshot, the overlay switched on by V, off by C
// (the screen kept), on by V and off by V (the screen cleared), then Escape.
void press_flight_keys(int frame)
{
  key[KEY_4] = (frame >= 1 && frame < 150) || (frame >= 450 && frame < 500);
  key[KEY_8] = frame >= 100 && frame < 250;
  key[KEY_6] = frame >= 250 && frame < 500;
  key[KEY_2] = frame >= 350 && frame < 560;
  for (auto [at, c] : {std::pair{200, 'v'}, {210, 'c'}, {220, 'V'}, {230, 'v'}, {300, 's'}})
    if (frame == at)
      simulate_keypress(c);
  key[KEY_ESC] = frame == flight_frames;
}

TEST(ShowFrames, EveryFrameOfTheShowMatchesItsHash)
{
  std::vector<std::string> expected;
  {
    std::ifstream in(hash_list);
    for (std::string line; std::getline(in, line);)
      expected.push_back(line);
  }
  ASSERT_FALSE(expected.empty()) << hash_list;

  // The show runs whole, as the recorder runs it, from a folder whose dat/
  // is the committed one; the screenshot lands there too.
  char pattern[] = "/tmp/show-frames-XXXXXX";
  const fs::path folder = mkdtemp(pattern);
  fs::create_directory_symlink(fs::path(SOURCE_DIR) / "dat", folder / "dat");
  fs::current_path(folder);
  use_offscreen_drivers();
  std::vector<std::string> actual;
  record_refreshes({}, [&](int64_t n, BITMAP *visible) {
    char text[17];
    std::snprintf(text, sizeof text, "%016llx",
                  static_cast<unsigned long long>(picture_hash(visible)));
    actual.push_back(text);
    if (n > flight_starts_after)
      press_flight_keys(int(n - flight_starts_after));
  });
  EXPECT_EQ(run_show(), 0);
  refresh_observer = nullptr;
  EXPECT_TRUE(fs::exists(folder / screenshot_name));
  fs::remove_all(folder);

  size_t wrong = 0, first_wrong = 0;
  for (size_t i = 0; i < std::max(actual.size(), expected.size()); i++)
    if (i >= actual.size() || i >= expected.size() || actual[i] != expected[i]) {
      wrong++;
      if (first_wrong == 0)
        first_wrong = i + 1;
    }
  EXPECT_EQ(actual.size(), expected.size()) << "frames shown";
  EXPECT_EQ(wrong, 0u) << "frames differ, the first is frame " << first_wrong << " ("
                       << scene_of(first_wrong) << ")";
  if (wrong > 0) {
    std::ofstream out(actual_list);
    for (const std::string &h : actual)
      out << h << '\n';
    ADD_FAILURE() << "this run's hashes are in " << actual_list;
  }
}

}  // namespace
