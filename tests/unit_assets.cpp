// The committed pictures and music in dat/, and the desktop icon: that the
// generator makes them again byte for byte, and that they are what the show
// needs, read as the show reads them.
#include <gtest/gtest.h>

#include <allegro.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "headless.h"

namespace {

struct image_file {
  const char *name;
  int w, h;
  bool transparent;  // drawn as a sprite, with magenta see-through
};

constexpr std::array<image_file, 6> images = {{{"star2.tga", 121, 21, true},
                                               {"logo.tga", 639, 283, true},
                                               {"txt1_2.tga", 926, 119, true},
                                               {"txt2_2.tga", 887, 223, true},
                                               {"txt3_3.tga", 800, 155, true},
                                               {"dawno.tga", 799, 253, false}}};
constexpr char music_file[] = "track1_cut_equalize.wav";

std::string committed(const std::string &name)
{
  return std::string(SOURCE_DIR) + "/dat/" + name;
}

std::vector<uint8_t> read_file(const std::string &path)
{
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

uint32_t le(const std::vector<uint8_t> &b, size_t at, int bytes)
{
  return bytes == 2 ? b[at] | b[at + 1] << 8 : le(b, at, 2) | le(b, at + 2, 2) << 16;
}

// Loads a committed image as the show does, in the current colour depth.
BITMAP *load_committed(const image_file &file)
{
  PALETTE palette;
  return load_tga(committed(file.name).c_str(), palette);
}

int brightest(int colour)
{
  return std::max({getr16(colour), getg16(colour), getb16(colour)});
}

TEST(AssetGenerator, RemakesTheCommittedFilesByteForByte)
{
  char pattern[] = "/tmp/show-assets-XXXXXX";
  ASSERT_NE(mkdtemp(pattern), nullptr);
  const std::string dir = pattern;
  ASSERT_EQ(std::system((std::string("'") + MAKE_ASSETS + "' " + dir + " " + dir + "/icon.png").c_str()), 0);
  std::vector<std::pair<std::string, std::string>> files = {
      {music_file, committed(music_file)}, {"icon.png", std::string(SOURCE_DIR) + "/package/starloom.png"}};
  for (const image_file &file : images)
    files.emplace_back(file.name, committed(file.name));
  for (const auto &[name, original] : files) {
    const std::vector<uint8_t> made = read_file(dir + "/" + name);
    EXPECT_FALSE(made.empty()) << name;
    EXPECT_TRUE(made == read_file(original)) << name << " differs from the committed " << original;
  }
  std::filesystem::remove_all(dir);
}

TEST(AssetImages, LoadAtTheirSizesWithMagentaOnlyAsTransparencyAndDarkEdges)
{
  start_headless();
  for (const image_file &file : images) {
    SCOPED_TRACE(file.name);
    set_color_depth(24);
    BITMAP *deep = load_committed(file);
    set_color_depth(16);
    BITMAP *bmp = load_committed(file);
    ASSERT_TRUE(deep && bmp);
    EXPECT_EQ(bmp->w, file.w);
    EXPECT_EQ(bmp->h, file.h);
    // A colour near magenta in the file would turn into the mask colour in
    // the show's 16 bits and punch a hole: count magenta in both depths.
    const long area = long(file.w) * file.h, masked = area - count_other_than(bmp, MASK_COLOR_16);
    EXPECT_EQ(masked, area - count_other_than(deep, makecol24(255, 0, 255)));
    EXPECT_EQ(masked > 0, file.transparent);
    // Edges fade into black beside transparency and at the border of the
    // opaque title, which is shown on black; no pink fringes.
    long bright = 0, bright_edges = 0, pinkish = 0;
    for (int y = 0; y < file.h; y++)
      for (int x = 0; x < file.w; x++) {
        const int c = getpixel(bmp, x, y);
        if (c == MASK_COLOR_16)
          continue;
        bool beside_mask = false;
        for (auto [dx, dy] : {std::pair{1, 0}, {-1, 0}, {0, 1}, {0, -1}})
          beside_mask |= getpixel(bmp, x + dx, y + dy) == MASK_COLOR_16;
        const bool on_border = x == 0 || y == 0 || x == file.w - 1 || y == file.h - 1;
        bright_edges += (beside_mask && brightest(c) > 64) || (on_border && brightest(c) > 16);
        pinkish += getr16(c) > 150 && getb16(c) > 150 && getg16(c) < 90;
        bright += brightest(c) >= 200;
      }
    EXPECT_EQ(bright_edges, 0);
    EXPECT_EQ(pinkish, 0);
    EXPECT_GT(bright, area / 200) << "hardly anything to see";
  }
}

// Sprite k is cut from columns 20k to 20k + 20: the shared columns stay
// empty, each star is centred in its cell, and they grow towards the last.
TEST(StarStripImage, SixStarsAtAStrideOf20WithTheSharedColumnsEmpty)
{
  start_headless();
  BITMAP *strip = load_committed(images[0]);
  ASSERT_NE(strip, nullptr);
  long last_count = 0;
  for (int cell = 0; cell < 6; cell++) {
    long count = 0;
    int peak = 0;
    for (int y = 0; y < 21; y++) {
      EXPECT_EQ(getpixel(strip, 20 * cell, y), MASK_COLOR_16) << "column " << 20 * cell;
      EXPECT_EQ(getpixel(strip, 20 * cell + 20, y), MASK_COLOR_16) << "column " << 20 * cell + 20;
      for (int x = 20 * cell + 1; x < 20 * cell + 20; x++) {
        const int c = getpixel(strip, x, y);
        count += c != MASK_COLOR_16;
        peak = std::max(peak, c != MASK_COLOR_16 ? brightest(c) : 0);
      }
    }
    EXPECT_EQ(brightest(getpixel(strip, 20 * cell + 10, 10)), peak) << "cell " << cell;
    EXPECT_GT(count, last_count) << "cell " << cell << " is no larger than the one before";
    last_count = count;
  }
}

TEST(MusicTrack, IsA16BitPcmLoopOf30To60SecondsThatLoadsAndHasNoClick)
{
  const std::vector<uint8_t> bytes = read_file(committed(music_file));
  ASSERT_GE(bytes.size(), 44u);
  const uint32_t channels = le(bytes, 22, 2), data = uint32_t(bytes.size() - 44);
  ASSERT_TRUE(channels == 1 || channels == 2);
  const auto tag = [&](long at) { return std::string(bytes.begin() + at, bytes.begin() + at + 4); };
  EXPECT_EQ(tag(0) + tag(8) + tag(12) + tag(36), "RIFFWAVEfmt data");
  // Offset, size and value of the canonical header's fields.
  const std::tuple<size_t, int, uint32_t> fields[] = {
      {4, 4, 36 + data}, {16, 4, 16},           {20, 2, 1},  {24, 4, 44100},
      {28, 4, 44100 * channels * 2}, {32, 2, channels * 2}, {34, 2, 16}, {40, 4, data}};
  for (const auto &[at, size, value] : fields)
    EXPECT_EQ(le(bytes, at, size), value) << "header field at " << at;
  const long frames = long(data / channels / 2);
  ASSERT_GE(frames, 30L * 44100);
  EXPECT_LE(frames, 60L * 44100);

  start_headless();
  SAMPLE *music = load_sample(committed(music_file).c_str());
  ASSERT_NE(music, nullptr);
  EXPECT_EQ(long(music->len), frames);

  const auto sample = [&](long frame, int ch) {
    return int(int16_t(le(bytes, 44 + size_t(frame * channels + ch) * 2, 2)));
  };
  for (int ch = 0; ch < int(channels); ch++) {
    // The steps of the music itself, within a tenth of a second of the seam.
    constexpr long near = 4410;
    int peak = 0, largest_step = 0;
    for (long i = 0; i < frames; i++) {
      peak = std::max(peak, std::abs(sample(i, ch)));
      if (i > 0 && (i <= near || i >= frames - near))
        largest_step = std::max(largest_step, std::abs(sample(i, ch) - sample(i - 1, ch)));
    }
    EXPECT_LT(peak, 32767) << "channel " << ch;
    EXPECT_GT(peak, 16384) << "channel " << ch << " is too quiet";
    EXPECT_LE(std::abs(sample(0, ch) - sample(frames - 1, ch)), largest_step)
        << "channel " << ch << " jumps at the loop point";
    // A seamless loop, not a fade to silence at both ends.
    const auto level = [&](long from) {
      double sum = 0;
      for (long i = from; i < from + 2205; i++)
        sum += double(sample(i, ch)) * sample(i, ch);
      return std::sqrt(sum / 2205);
    };
    EXPECT_GT(level(0), 500) << "channel " << ch;
    EXPECT_GT(level(frames - 2205), 500) << "channel " << ch;
  }
}

}  // namespace
