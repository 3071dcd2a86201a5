// Every picture of the show, from the opening pause through 600 frames of
// steered free flight, drawn from the real dat/ files and held to a list of
// hashes made once from a version whose pixels were checked. Any pixel of
// any frame that moves fails it; so does a frame too many or too few.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "platform/offscreen/offscreen.h"
#include "platform/platform.h"
#include "refreshes.h"
#include "show/flight.h"
#include "show/sequence.h"
#include "show_frames.h"

namespace fs = std::filesystem;

namespace {

constexpr char hash_list[] = SOURCE_DIR "/tests/frame_hashes.txt";
constexpr char actual_list[] = BUILD_DIR "/frame_hashes.actual.txt";

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
