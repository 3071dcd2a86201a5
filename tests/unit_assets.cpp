// The committed pictures and music in dat/: that the generator makes them
// again byte for byte, and that they are what the show needs, read as the
// show reads them.
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

int le16(const std::vector<uint8_t> &b, size_t at)
{
  return b[at] | b[at + 1] << 8;
}

uint32_t le32(const std::vector<uint8_t> &b, size_t at)
{
  return uint32_t(le16(b, at)) | uint32_t(le16(b, at + 2)) << 16;
}

// Loads a committed image as the show does: into the 16-bit format.
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
  std::string dir = pattern;
  ASSERT_EQ(std::system((std::string("'") + MAKE_ASSETS + "' " + dir).c_str()), 0);
  std::vector<std::string> names = {music_file};
  for (const image_file &file : images)
    names.push_back(file.name);
  for (const std::string &name : names) {
    std::vector<uint8_t> made = read_file(dir + "/" + name), kept = read_file(committed(name));
    EXPECT_FALSE(made.empty()) << name;
    EXPECT_TRUE(made == kept) << name << " differs from the committed file";
  }
  std::filesystem::remove_all(dir);
}

TEST(AssetImages, AreTrueColourTgaFilesThatLoadAtTheirExactSize)
{
  start_headless();
  for (const image_file &file : images) {
    std::vector<uint8_t> bytes = read_file(committed(file.name));
    ASSERT_GE(bytes.size(), 18u) << file.name;
    EXPECT_TRUE(bytes[2] == 2 || bytes[2] == 10) << file.name << ": neither plain nor run-length true colour";
    EXPECT_EQ(bytes[16], 24) << file.name;
    EXPECT_EQ(le16(bytes, 12), file.w) << file.name;
    EXPECT_EQ(le16(bytes, 14), file.h) << file.name;
    BITMAP *bmp = load_committed(file);
    ASSERT_NE(bmp, nullptr) << file.name;
    EXPECT_EQ(bmp->w, file.w) << file.name;
    EXPECT_EQ(bmp->h, file.h) << file.name;
    EXPECT_EQ(bitmap_color_depth(bmp), 16) << file.name;
  }
}

TEST(AssetImages, MagentaIsExactlyWhereTheFilesHaveIt)
{
  // A colour near magenta in the file would turn into the mask colour in the
  // show's 16-bit format and punch a hole; count magenta in both depths.
  start_headless();
  for (const image_file &file : images) {
    set_color_depth(24);
    BITMAP *deep = load_committed(file);
    set_color_depth(16);
    BITMAP *shown = load_committed(file);
    ASSERT_TRUE(deep && shown) << file.name;
    long in_file = file.w * long(file.h) - count_other_than(deep, makecol24(255, 0, 255));
    long in_show = file.w * long(file.h) - count_other_than(shown, MASK_COLOR_16);
    EXPECT_EQ(in_show, in_file) << file.name;
    if (file.transparent)
      EXPECT_GT(in_show, 0) << file.name << " has nothing transparent";
    else
      EXPECT_EQ(in_show, 0) << file.name << " is shown without a mask";
  }
}

TEST(AssetImages, EdgesBesideTransparencyFadeToBlackWithoutPinkFringes)
{
  start_headless();
  for (const image_file &file : images) {
    if (!file.transparent)
      continue;
    BITMAP *bmp = load_committed(file);
    ASSERT_NE(bmp, nullptr) << file.name;
    long bright_edges = 0, pinkish = 0;
    for (int y = 0; y < bmp->h; y++)
      for (int x = 0; x < bmp->w; x++) {
        int c = getpixel(bmp, x, y);
        if (c == MASK_COLOR_16)
          continue;
        if (getr16(c) > 150 && getb16(c) > 150 && getg16(c) < 90)
          pinkish++;
        bool beside_mask = false;
        for (auto [dx, dy] : {std::pair{1, 0}, {-1, 0}, {0, 1}, {0, -1}})
          beside_mask |= getpixel(bmp, x + dx, y + dy) == MASK_COLOR_16;
        if (beside_mask && brightest(c) > 64)
          bright_edges++;
      }
    EXPECT_EQ(bright_edges, 0) << file.name;
    EXPECT_EQ(pinkish, 0) << file.name;
  }
}

TEST(StarStripImage, SharedColumnsAreEmptyAndStarsGrowFromCellToCell)
{
  start_headless();
  BITMAP *strip = load_committed(images[0]);
  ASSERT_NE(strip, nullptr);
  for (int x = 0; x <= 120; x += 20)
    for (int y = 0; y < 21; y++)
      ASSERT_EQ(getpixel(strip, x, y), MASK_COLOR_16) << "column " << x << " row " << y;
  long last_count = 0, last_light = 0;
  for (int cell = 0; cell < 6; cell++) {
    long count = 0, light = 0;
    int peak = 0, peak_at_centre = brightest(getpixel(strip, cell * 20 + 10, 10));
    for (int y = 0; y < 21; y++)
      for (int x = 1; x < 20; x++) {
        int c = getpixel(strip, cell * 20 + x, y);
        if (c == MASK_COLOR_16)
          continue;
        count++;
        light += getr16(c) + getg16(c) + getb16(c);
        peak = std::max(peak, brightest(c));
      }
    EXPECT_EQ(peak_at_centre, peak) << "cell " << cell << " is brightest off its centre";
    EXPECT_GT(count, last_count) << "cell " << cell << " is no larger than the one before";
    EXPECT_GT(light, last_light) << "cell " << cell << " is no brighter than the one before";
    last_count = count;
    last_light = light;
  }
  EXPECT_GT(brightest(getpixel(strip, 110, 10)), 240) << "the nearest star is not bright";
}

TEST(LogoImage, IsAColourfulShapeWithABlackOutlineOnMagenta)
{
  start_headless();
  BITMAP *logo = load_committed(images[1]);
  ASSERT_NE(logo, nullptr);
  for (auto [x, y] : {std::pair{0, 0}, {638, 0}, {0, 282}, {638, 282}})
    EXPECT_EQ(getpixel(logo, x, y), MASK_COLOR_16);
  long opaque = 0, black = 0, coloured = 0;
  for (int y = 0; y < logo->h; y++)
    for (int x = 0; x < logo->w; x++) {
      int c = getpixel(logo, x, y);
      if (c == MASK_COLOR_16)
        continue;
      opaque++;
      black += c == makecol16(0, 0, 0);
      int spread = brightest(c) - std::min({getr16(c), getg16(c), getb16(c)});
      coloured += spread > 80;
    }
  long area = 639L * 283;
  EXPECT_GT(opaque, area / 3) << "not a bold shape";
  EXPECT_LT(opaque, area * 9 / 10) << "hardly any transparency around the emblem";
  EXPECT_GT(black, opaque / 50) << "too little black outline";
  EXPECT_GT(coloured, opaque / 3) << "too little colour";
}

TEST(TextPanelImages, HoldSeparateLinesOfLightLettering)
{
  start_headless();
  constexpr std::array<int, 3> lines = {2, 4, 4};
  for (int panel = 0; panel < 3; panel++) {
    const image_file &file = images[size_t(2 + panel)];
    BITMAP *bmp = load_committed(file);
    ASSERT_NE(bmp, nullptr) << file.name;
    int bands = 0;
    bool in_band = false;
    long transparent = 0;
    for (int y = 0; y < bmp->h; y++) {
      bool lit = false;
      for (int x = 0; x < bmp->w; x++) {
        int c = getpixel(bmp, x, y);
        transparent += c == MASK_COLOR_16;
        lit |= c != MASK_COLOR_16 && brightest(c) >= 200;
      }
      bands += lit && !in_band;
      in_band = lit;
    }
    EXPECT_EQ(bands, lines[size_t(panel)]) << file.name;
    EXPECT_GT(transparent, long(file.w) * file.h / 2) << file.name;
    for (int row : {0, file.h - 1})
      for (int x = 0; x < file.w; x++)
        ASSERT_EQ(getpixel(bmp, x, row), MASK_COLOR_16) << file.name << ": lettering touches row " << row;
  }
}

TEST(TitleImage, IsBrightLetteringOnBlackWithDarkBorders)
{
  start_headless();
  BITMAP *title = load_committed(images[5]);
  ASSERT_NE(title, nullptr);
  int border_peak = 0;
  long bright = 0;
  for (int y = 0; y < title->h; y++)
    for (int x = 0; x < title->w; x++) {
      int c = getpixel(title, x, y);
      if (x == 0 || y == 0 || x == title->w - 1 || y == title->h - 1)
        border_peak = std::max(border_peak, brightest(c));
      bright += brightest(c) >= 200;
    }
  EXPECT_LE(border_peak, 16) << "the picture's edge would show against the black screen";
  EXPECT_GT(bright, 799L * 253 / 20) << "too little lettering";
}

struct wav {
  std::vector<uint8_t> bytes;
  int channels = 0;
  long frames = 0;

  int sample(long frame, int channel) const
  {
    return int16_t(le16(bytes, 44 + size_t(frame * channels + channel) * 2));
  }
};

wav read_music()
{
  wav w{read_file(committed(music_file))};
  if (w.bytes.size() >= 44) {
    w.channels = le16(w.bytes, 22);
    w.frames = long(le32(w.bytes, 40)) / (2 * std::max(1, w.channels));
  }
  return w;
}

TEST(MusicTrack, IsA16BitPcmWavOfThirtyToSixtySecondsThatLoads)
{
  wav w = read_music();
  ASSERT_GE(w.bytes.size(), 44u);
  EXPECT_LT(w.bytes.size(), 12u * 1024 * 1024);
  EXPECT_EQ(std::string(w.bytes.begin(), w.bytes.begin() + 4), "RIFF");
  EXPECT_EQ(le32(w.bytes, 4), w.bytes.size() - 8);
  EXPECT_EQ(std::string(w.bytes.begin() + 8, w.bytes.begin() + 16), "WAVEfmt ");
  EXPECT_EQ(le32(w.bytes, 16), 16u);
  EXPECT_EQ(le16(w.bytes, 20), 1) << "not PCM";
  EXPECT_TRUE(w.channels == 1 || w.channels == 2);
  EXPECT_EQ(le32(w.bytes, 24), 44100u);
  EXPECT_EQ(le32(w.bytes, 28), 44100u * w.channels * 2);
  EXPECT_EQ(le16(w.bytes, 32), w.channels * 2);
  EXPECT_EQ(le16(w.bytes, 34), 16);
  EXPECT_EQ(std::string(w.bytes.begin() + 36, w.bytes.begin() + 40), "data");
  EXPECT_EQ(le32(w.bytes, 40), w.bytes.size() - 44);
  EXPECT_GE(w.frames, 30L * 44100);
  EXPECT_LE(w.frames, 60L * 44100);

  start_headless();
  SAMPLE *music = load_sample(committed(music_file).c_str());
  ASSERT_NE(music, nullptr);
  EXPECT_EQ(music->bits, 16);
  EXPECT_EQ(music->stereo != 0, w.channels == 2);
  EXPECT_EQ(music->freq, 44100);
  EXPECT_EQ(long(music->len), w.frames);
  // The library keeps 16-bit samples unsigned.
  const uint16_t *data = static_cast<const uint16_t *>(music->data);
  EXPECT_EQ(data[1000], uint16_t(w.sample(1000 / w.channels, 1000 % w.channels) ^ 0x8000));
}

TEST(MusicTrack, PeaksBelowFullScaleAndLoopsWithoutAClick)
{
  wav w = read_music();
  ASSERT_GT(w.frames, 44100);
  for (int ch = 0; ch < w.channels; ch++) {
    // The steps of the music itself, within a tenth of a second of the seam.
    constexpr long near = 4410;
    int peak = 0, largest_step = 0;
    for (long i = 0; i < w.frames; i++) {
      peak = std::max(peak, std::abs(w.sample(i, ch)));
      if (i > 0 && (i <= near || i >= w.frames - near))
        largest_step = std::max(largest_step, std::abs(w.sample(i, ch) - w.sample(i - 1, ch)));
    }
    EXPECT_LT(peak, 32767) << "channel " << ch;
    EXPECT_GT(peak, 16384) << "channel " << ch << " is too quiet";
    int seam = std::abs(w.sample(0, ch) - w.sample(w.frames - 1, ch));
    EXPECT_LE(seam, largest_step) << "channel " << ch << " jumps at the loop point";

    // A seamless loop, not a fade to silence at both ends.
    auto level = [&](long from) {
      double sum = 0;
      for (long i = from; i < from + 2205; i++)
        sum += double(w.sample(i, ch)) * w.sample(i, ch);
      return std::sqrt(sum / 2205);
    };
    EXPECT_GT(level(0), 500) << "channel " << ch;
    EXPECT_GT(level(w.frames - 2205), 500) << "channel " << ch;
  }
}

}  // namespace
