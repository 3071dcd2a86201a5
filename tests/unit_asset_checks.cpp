// What real machines and careless hands do to asset files: each bad file is
// refused before the library's loader sees it, with a reason; each good one,
// the committed assets included, loads whole.
#include <gtest/gtest.h>

#include <allegro.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "asset_trial.h"
#include "headless.h"
#include "show/asset_checks.h"

namespace fs = std::filesystem;

namespace {

using bytes = std::vector<uint8_t>;

bytes read_file(const fs::path &path)
{
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

bytes committed(const std::string &name)
{
  return read_file(fs::path(SOURCE_DIR) / "dat" / name);
}

void put16(bytes &b, size_t at, int value)
{
  b[at] = uint8_t(value);
  b[at + 1] = uint8_t(value >> 8);
}

void put32(bytes &b, size_t at, uint32_t value)
{
  put16(b, at, int(value & 0xffff));
  put16(b, at + 2, int(value >> 16));
}

bytes cut(bytes b, size_t length)
{
  b.resize(length);
  return b;
}

// An uncompressed true-colour TGA of w x h pixels at the given depth.
bytes plain_tga(int w, int h, int bits)
{
  bytes b(18 + size_t(w) * size_t(h) * size_t((bits + 7) / 8), 0x40);
  std::fill(b.begin(), b.begin() + 18, 0);
  b[2] = 2;
  put16(b, 12, w);
  put16(b, 14, h);
  b[16] = uint8_t(bits);
  return b;
}

// A 16-bit stereo WAV like the show's music, or another form of it.
bytes wav(int channels = 2, int bits = 16, int rate = 44100, uint32_t sound_bytes = 4000)
{
  bytes b(44 + sound_bytes, 0x11);
  for (auto [at, tag] : {std::pair{0, "RIFF"}, {8, "WAVE"}, {12, "fmt "}, {36, "data"}})
    std::copy_n(tag, 4, b.begin() + at);
  put32(b, 4, uint32_t(b.size() - 8));
  put32(b, 16, 16);
  put16(b, 20, 1);
  put16(b, 22, channels);
  put32(b, 24, uint32_t(rate));
  put32(b, 28, uint32_t(rate * channels * bits / 8));
  put16(b, 32, channels * bits / 8);
  put16(b, 34, bits);
  put32(b, 40, sound_bytes);
  return b;
}

class AssetFiles : public ::testing::Test {
protected:
  void SetUp() override
  {
    start_headless();
    char pattern[] = "/tmp/asset-checks-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    folder = pattern;
  }
  void TearDown() override { fs::remove_all(folder); }

  std::string place(const std::string &name, const bytes &content)
  {
    std::string path = (folder / name).string();
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char *>(content.data()),
                                                std::streamsize(content.size()));
    return path;
  }

  // The check's reason for the bytes as the logo, which must also be what
  // the checked load says when it refuses them.
  std::string logo_problem(const bytes &content)
  {
    std::string path = place("logo.tga", content), problem;
    PALETTE palette;
    BITMAP *image = load_checked_tga(path.c_str(), 639, 283, palette, problem);
    EXPECT_EQ(image == nullptr, !problem.empty());
    EXPECT_EQ(problem, tga_file_problem(path.c_str(), 639, 283));
    return problem;
  }

  std::string music_problem(const bytes &content)
  {
    std::string path = place("music.wav", content), problem;
    SAMPLE *sound = load_checked_wav(path.c_str(), problem);
    EXPECT_EQ(sound == nullptr, !problem.empty());
    return problem;
  }

  fs::path folder;
};

TEST_F(AssetFiles, CommittedImagesAndMusicPassTheChecks)
{
  const std::pair<const char *, std::pair<int, int>> images[] = {
      {"star2.tga", {121, 21}},  {"logo.tga", {639, 283}},   {"txt1_2.tga", {926, 119}},
      {"txt2_2.tga", {887, 223}}, {"txt3_3.tga", {800, 155}}, {"dawno.tga", {799, 253}}};
  for (const auto &[name, size] : images) {
    std::string path = (fs::path(SOURCE_DIR) / "dat" / name).string();
    EXPECT_EQ(tga_file_problem(path.c_str(), size.first, size.second), "") << name;
  }
  std::string music = (fs::path(SOURCE_DIR) / "dat/track1_cut_equalize.wav").string();
  EXPECT_EQ(wav_file_problem(music.c_str()), "");
}

TEST_F(AssetFiles, DamagedOrMislabelledImagesAreRefusedWithTheirReason)
{
  const bytes logo = committed("logo.tga");
  bytes lying = logo, lying_small = plain_tga(639, 283, 24), mapped = logo, grey = logo, odd_depth = logo;
  put16(lying, 12, 60000);
  put16(lying, 14, 60000);
  put16(lying_small, 12, 2000);
  put16(lying_small, 14, 2000);
  mapped[1] = 1;  // a colour map in front of true colour: the loader reads it onto its stack
  put16(mapped, 5, 1000);
  mapped[7] = 24;
  grey[2] = 11;
  odd_depth[16] = 8;
  bytes png = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n', 0, 0, 0, 13, 'I', 'H', 'D', 'R', 0, 0, 0, 1};

  const std::pair<bytes, const char *> cases[] = {
      {{}, "It is empty"},
      {cut(logo, 10), "It is too short for a TGA image: 10 bytes"},
      {cut(logo, 18), "It ends before the last of its 639x283 pixels"},
      {cut(logo, 19), "It ends before the last of its 639x283 pixels"},
      {cut(logo, logo.size() / 2), "It ends before the last of its 639x283 pixels"},
      {cut(logo, logo.size() - 1), "It ends before the last of its 639x283 pixels"},
      {cut(plain_tga(639, 283, 24), 18 + 639 * 283 * 3 - 1), "It ends before the last of its 639x283"},
      {png, "It is a PNG image, not a TGA image"},
      {lying, "It claims to be 60000x60000, larger than the 4096x4096 the show reads"},
      {lying_small, "It ends before the last of its 2000x2000 pixels"},
      {mapped, "It has a colour map: the show reads true-colour TGA images"},
      {grey, "It is greyscale"},
      {odd_depth, "It has 8 bits a pixel"},
      {plain_tga(639, 200, 24), "It is 639x200, the show needs 639x283"},
      {plain_tga(0, 0, 24), "It is 0x0, the show needs 639x283"},
  };
  for (const auto &[content, reason] : cases) {
    const std::string problem = logo_problem(content);
    EXPECT_TRUE(problem.starts_with(reason)) << "expected \"" << reason << "\", got \"" << problem << "\"";
  }
}

TEST_F(AssetFiles, RunThatCrossesARowIsRefusedThoughTheFileIsWhole)
{
  // Two rows of 639: one run of 128 starting 100 pixels before the first row ends.
  bytes file = cut(committed("logo.tga"), 18);
  put16(file, 14, 2);
  put16(file, 12, 639);
  for (int x = 0; x < 539; x++)
    file.insert(file.end(), {0x00, 1, 2, 3});
  file.insert(file.end(), {0xff, 1, 2, 3});
  std::string path = place("panel.tga", file);
  EXPECT_EQ(tga_file_problem(path.c_str(), 1, 1), "Row 0 of its picture runs into the next");
}

TEST_F(AssetFiles, OtherTrueColourDepthsLoadAsTheShowsSixteenBits)
{
  for (int bits : {15, 16, 32}) {
    std::string path = place("logo.tga", plain_tga(639, 283, bits)), problem;
    PALETTE palette;
    BITMAP *image = load_checked_tga(path.c_str(), 639, 283, palette, problem);
    ASSERT_NE(image, nullptr) << bits << " bits: " << problem;
    EXPECT_EQ(image->w, 639);
    EXPECT_EQ(bitmap_color_depth(image), 16);
  }
}

TEST_F(AssetFiles, NotAPlainFileIsRefusedWithoutBlocking)
{
  std::string pipe = (folder / "logo.tga").string();
  ASSERT_EQ(mkfifo(pipe.c_str(), 0644), 0);
  alarm(10);  // a check that opened the pipe would wait here for a writer
  EXPECT_EQ(tga_file_problem(pipe.c_str(), 1, 1), "It is not a plain file");
  alarm(0);
  fs::create_directory(folder / "music.wav");
  EXPECT_EQ(wav_file_problem((folder / "music.wav").c_str()), "It is a folder, not a file");
}

TEST_F(AssetFiles, MissingFileOrFolderSaysWhereItWasLookedFor)
{
  fs::create_directory(folder / "dat");
  fs::current_path(folder);
  EXPECT_EQ(tga_file_problem("dat/logo.tga", 1, 1), "No such file in " + (folder / "dat").string());
  fs::current_path(folder / "dat");
  EXPECT_EQ(wav_file_problem("dat/music.wav"), "No folder 'dat' in " + (folder / "dat").string());
}

TEST_F(AssetFiles, DamagedOrForeignMusicIsRefusedWithItsReason)
{
  const bytes good = wav();
  bytes before_format = good, twice = good, negative = good;
  std::copy_n("data", 4, before_format.begin() + 12);
  twice.insert(twice.end(), good.begin() + 36, good.end());
  put32(negative, 40, 0x80000010u);

  const std::pair<bytes, const char *> cases[] = {
      {{}, "It is empty"},
      {cut(good, 4), "It is too short for a WAV file: 4 bytes"},
      {cut(good, 20), "Its format block is cut short"},
      {cut(good, 40), "It is cut short in the header of its sound"},
      {cut(good, 44), "It is cut short: it claims 4000 bytes of sound and holds 0"},
      {cut(good, 1000), "It is cut short: it claims 4000 bytes of sound and holds 956"},
      {committed("star2.tga"), "It is not a WAV file"},
      {bytes{0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n', 0, 0, 0, 0}, "It is a PNG image, not a WAV file"},
      {wav(2, 24), "It has 24-bit samples: the show plays 8- or 16-bit sound"},
      {wav(6), "It has 6 channels"},
      {wav(2, 16, 0), "Its sample rate of 0 Hz is outside"},
      {wav(2, 16, 44100, 0), "It holds no sound"},
      {wav(2, 16, 44100, 3), "It is cut short in its last sample"},
      {before_format, "Its sound comes before the block that gives its format"},
      {twice, "It holds more than one block of sound"},
      {negative, "It is cut short: it claims 2147483664 bytes"},
  };
  for (const auto &[content, reason] : cases) {
    const std::string problem = music_problem(content);
    EXPECT_TRUE(problem.starts_with(reason)) << "expected \"" << reason << "\", got \"" << problem << "\"";
  }
}

TEST_F(AssetFiles, EightBitAndMonoMusicLoadsAsTheShowCanPlayIt)
{
  for (auto [channels, bits] : {std::pair{1, 8}, {2, 8}, {1, 16}}) {
    std::string path = place("music.wav", wav(channels, bits, 22050, 3000)), problem;
    SAMPLE *sound = load_checked_wav(path.c_str(), problem);
    ASSERT_NE(sound, nullptr) << channels << " channels, " << bits << " bits: " << problem;
    EXPECT_EQ(sound->bits, bits);
    EXPECT_EQ(sound->stereo != 0, channels == 2);
    EXPECT_EQ(long(sound->len), 3000L / channels / (bits / 8));
    EXPECT_EQ(sound->freq, 22050);
  }
}

TEST_F(AssetFiles, UnknownBlocksAroundTheSoundAreSkippedAsTheLoaderSkipsThem)
{
  bytes file = cut(wav(), 36);
  file.insert(file.end(), {'L', 'I', 'S', 'T', 3, 0, 0, 0, 'a', 'b', 'c'});  // odd, unpadded
  const bytes rest = wav();
  file.insert(file.end(), rest.begin() + 36, rest.end());
  file.insert(file.end(), {'j', 'u', 'n', 'k', 0xff, 0xff, 0xff, 0xff});
  EXPECT_EQ(music_problem(file), "");
}

// Inputs that once crashed the library, or made it allocate gigabytes, read
// past a buffer or hand back garbage, when it was given them unchecked.
TEST(FuzzRegressions, EveryKeptInputIsRefusedAsWhatItWasMadeToBreak)
{
  start_headless();
  int count = 0;
  for (const fs::directory_entry &entry : fs::directory_iterator(fs::path(SOURCE_DIR) / "tests/fuzz/regressions")) {
    const bytes content = read_file(entry.path());
    const asset_trial trial = try_asset_bytes(content.data(), content.size());
    const std::string name = entry.path().filename().string();
    EXPECT_EQ(trial.broken, "") << name;
    EXPECT_FALSE((entry.path().extension() == ".tga" ? trial.image_problem : trial.sound_problem).empty())
        << name << " was accepted";
    count++;
  }
  EXPECT_GE(count, 20);
}

}  // namespace
