// What real machines and careless hands do to asset files: each bad file is
// refused before the library's loader sees it, with a reason; each layout of
// good sound plays the same samples.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <tuple>
#include <vector>

#include "asset_trial.h"
#include "headless.h"
#include "show/asset_checks.h"

namespace fs = std::filesystem;

namespace {

using bytes = std::vector<uint8_t>;

const fs::path dat = fs::path(SOURCE_DIR) / "dat";
const bytes png_start = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n', 0, 0, 0, 13};

bytes read_file(const fs::path &path)
{
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

// Stores value little-endian in the `width` bytes at `at`.
void put(bytes &b, size_t at, uint32_t value, int width = 2)
{
  for (int i = 0; i < width; i++)
    b[at + size_t(i)] = uint8_t(value >> 8 * i);
}

bytes cut(bytes b, size_t length)
{
  b.resize(length);
  return b;
}

// b with the bytes from `at` on replaced by these.
bytes patched(bytes b, size_t at, std::initializer_list<uint8_t> replacement)
{
  std::copy(replacement.begin(), replacement.end(), b.begin() + ptrdiff_t(at));
  return b;
}

// An uncompressed true-colour TGA of w x h pixels at the given depth.
bytes plain_tga(int w, int h, int bits)
{
  const bytes pixels(18 + size_t(w) * size_t(h) * size_t((bits + 7) / 8), 0x40);
  return patched(pixels, 0, {0, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0, uint8_t(w), uint8_t(w >> 8), uint8_t(h),
                             uint8_t(h >> 8), uint8_t(bits), 0});
}

// A PCM WAV, by default 16-bit stereo like the show's music.
bytes wav(int channels = 2, int bits = 16, uint32_t rate = 44100, uint32_t sound_bytes = 4000)
{
  bytes b(44 + sound_bytes, 0x11);
  for (auto [at, tag] : {std::pair{0, "RIFF"}, {8, "WAVE"}, {12, "fmt "}, {36, "data"}})
    std::copy_n(tag, 4, b.begin() + at);
  for (auto [at, value, width] : {std::tuple{4, uint32_t(b.size() - 8), 4}, {16, 16u, 4}, {20, 1u, 2},
                                  {22, uint32_t(channels), 2}, {24, rate, 4}, {28, rate * channels * bits / 8, 4},
                                  {32, uint32_t(channels * bits / 8), 2}, {34, uint32_t(bits), 2}, {40, sound_bytes, 4}})
    put(b, size_t(at), value, width);
  return b;
}

// A RIFF block: name, length, body, and the pad byte after an odd body when `pad`.
bytes block(const char *name, const bytes &body, bool pad = true)
{
  bytes b(8 + body.size() + (pad && body.size() % 2), 0);
  std::copy_n(name, 4, b.begin());
  put(b, 4, uint32_t(body.size()), 4);
  std::copy(body.begin(), body.end(), b.begin() + 8);
  return b;
}

bytes riff(std::initializer_list<bytes> blocks)
{
  bytes b = {'R', 'I', 'F', 'F', 0, 0, 0, 0, 'W', 'A', 'V', 'E'};
  for (const bytes &one : blocks)
    b.insert(b.end(), one.begin(), one.end());
  put(b, 4, uint32_t(b.size() - 8), 4);
  return b;
}

// The 16 bytes of wav()'s format, as WAVE_FORMAT_EXTENSIBLE with the given sub-format tag.
bytes extensible(const bytes &format, int tag)
{
  bytes b = format;
  put(b, 0, 0xfffe);
  b.insert(b.end(), {22, 0, 16, 0, 3, 0, 0, 0, uint8_t(tag), 0, 0, 0, 0, 0, 0x10, 0, 0x80, 0, 0, 0xaa,
                     0, 0x38, 0x9b, 0x71});
  return b;
}

// The bytes as an image and as the music; nothing may break either way.
asset_trial trial(const bytes &content)
{
  asset_trial result = try_asset_bytes(content.data(), content.size());
  EXPECT_EQ(result.broken, "");
  return result;
}

// The layouts WAV writers use, each with the same sound: the show plays
// exactly the samples of the first block of sound, as sox reads them.
TEST(AssetFiles, EveryLayoutOfTheSameSoundPlaysTheSameSamples)
{
  start_headless();
  const bytes plain = wav(), format(plain.begin() + 20, plain.begin() + 36);
  bytes sound(plain.begin() + 44, plain.end());
  for (size_t i = 0; i < sound.size(); i++)
    sound[i] = uint8_t(i * 7);
  bytes odd_sound = sound;
  odd_sound.push_back(9);
  const bytes fmt = block("fmt ", format), data = block("data", sound);
  const bytes list = block("LIST", {'I', 'N', 'F', 'O', 'a', 'b', 'c'});
  const bytes fact = block("fact", {0xe8, 3, 0, 0}), cue = block("cue ", {0, 0, 0, 0});
  const bytes endless = {'j', 'u', 'n', 'k', 0xff, 0xff, 0xff, 0xff};
  const std::pair<const char *, bytes> layouts[] = {
      {"plain", riff({fmt, data})},
      {"odd LIST padded before the sound", riff({fmt, list, data})},
      {"LIST, fact and cue before and after", riff({list, fmt, fact, cue, data, cue, list, fact})},
      {"extensible PCM", riff({block("fmt ", extensible(format, 1)), data})},
      {"a second block of sound, never read", riff({fmt, data, block("data", bytes(64, 0x55))})},
      {"an odd byte after the last whole frame", riff({fmt, block("data", odd_sound), list})},
      {"a block with a length of -1 after the sound", riff({fmt, data, endless})},
  };
  for (const auto &[name, content] : layouts) {
    const std::string path = testing::TempDir() + "layout.wav";
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char *>(content.data()), std::streamsize(content.size()));
    std::string problem;
    SAMPLE *played = load_checked_wav(path.c_str(), problem);
    ASSERT_TRUE(played) << name << ": " << problem;
    EXPECT_TRUE(played->bits == 16 && played->stereo && played->freq == 44100 && played->len == 1000)
        << name;
    // 16-bit samples, signed in the file, unsigned in the library's memory.
    const auto *samples = static_cast<const uint16_t *>(played->data);
    for (unsigned i = 0; i < 2000; i++)
      ASSERT_EQ(samples[i], uint16_t((sound[2 * i] | sound[2 * i + 1] << 8) ^ 0x8000)) << name << ", sample " << i;
    destroy_sample(played);
  }
}

TEST(AssetFiles, DamagedOrMislabelledFilesAreRefusedWithTheirReason)
{
  start_headless();
  const bytes logo = read_file(dat / "logo.tga"), good = wav();
  // A run of 128 from 100 pixels before the end of the first row: the loader writes it past the row.
  const bytes format(good.begin() + 20, good.begin() + 36), good_format = block("fmt ", format);
  const bytes good_data = block("data", bytes(good.begin() + 44, good.end()));
  bytes crossing = cut(logo, 18);
  for (int x = 0; x < 539; x++)
    crossing.insert(crossing.end(), {0x00, 1, 2, 3});
  crossing.insert(crossing.end(), {0xff, 1, 2, 3});

  enum { image, music };
  const std::tuple<int, bytes, const char *> cases[] = {
      {image, {}, "It is empty"},
      {image, cut(logo, 10), "It is too short for a TGA image: 10 bytes"},
      {image, cut(logo, 18), "It ends before the last of its 639x283 pixels"},
      {image, cut(logo, logo.size() - 1), "It ends before the last of its 639x283 pixels"},
      {image, cut(plain_tga(639, 283, 24), 18 + 639 * 283 * 3 - 1), "It ends before the last of its 639x283"},
      {image, crossing, "Row 0 of its picture runs into the next"},
      {image, png_start, "It is a PNG image, not a TGA image"},
      {image, patched(logo, 12, {0x60, 0xea}), "It claims to be 60000x283, larger than the 4096x4096 the show reads"},
      {image, patched(logo, 14, {0x60, 0xea}), "It claims to be 639x60000, larger than the 4096x4096 the show reads"},
      // A colour map in front of true colour: the loader reads all 1000 entries onto its stack.
      {image, patched(patched(logo, 1, {1}), 5, {0xe8, 0x03, 24}), "It has a colour map: the show reads true-colour"},
      {image, patched(logo, 2, {11}), "It is greyscale"},
      {image, patched(logo, 16, {8}), "It has 8 bits a pixel"},
      {music, {}, "It is empty"},
      {music, cut(good, 4), "It is too short for a WAV file: 4 bytes"},
      {music, cut(good, 20), "Its format block is cut short"},
      {music, cut(good, 40), "It is cut short in the header of its sound"},
      {music, cut(good, 4020), "It is cut short: it claims 4000 bytes of sound and holds 3976"},
      {music, logo, "It is not a WAV file"},
      {music, png_start, "It is a PNG image, not a WAV file"},
      {music, wav(2, 24), "It has 24-bit samples: the show plays 8- or 16-bit sound"},
      {music, wav(6), "It has 6 channels"},
      {music, wav(2, 16, 0), "Its sample rate of 0 Hz is outside"},
      {music, wav(2, 16, 44100, 0), "It holds no sound"},
      {music, wav(2, 16, 44100, 3), "It holds no sound"},
      {music, patched(good, 12, {'d', 'a', 't', 'a'}), "Its sound comes before the block that gives its format"},
      // Read without the pad byte, as the library's own loader did, or with a
      // length that reaches back: sox finds no sound in either.
      {music, riff({good_format, block("LIST", {'a', 'b', 'c'}, false), good_data}),
       "Its 'LIST' block has an odd length and no pad byte after it"},
      {music, riff({good_format, {'j', 'u', 'n', 'k', 0xf8, 0xff, 0xff, 0xff}, good_data}),
       "It ends inside its 'junk' block, before any sound"},
      {music, riff({good_format, {0, 1, 2, 3, 4, 5, 6, 7}, good_data}), "It is damaged after its 'fmt ' block"},
      {music, riff({block("fmt ", extensible(format, 3)), good_data}), "It is not plain PCM sound (its format is 3)"},
      {music, riff({block("fmt ", cut(extensible(format, 1), 30)), good_data}),
       "Its extensible format block is cut short"},
      {music, patched(good, 40, {0x10, 0, 0, 0x80}), "It is cut short: it claims 2147483664 bytes"},
  };
  for (const auto &[as, content, reason] : cases) {
    const asset_trial refused = trial(content);
    const std::string &problem = as == image ? refused.image_problem : refused.sound_problem;
    EXPECT_TRUE(problem.starts_with(reason)) << "expected \"" << reason << "\", got \"" << problem << "\"";
  }
  // An image ID before the pixels is passed over, not read as pixels.
  bytes named_logo = logo;
  named_logo[0] = 1;
  named_logo.insert(named_logo.begin() + 18, 0xff);
  EXPECT_EQ(trial(named_logo).image_problem, "");
}

TEST(AssetFiles, WhatIsNotAFileIsRefusedWithoutBlockingOrSaysWhereItWasLookedFor)
{
  char pattern[] = "/tmp/asset-checks-XXXXXX";
  ASSERT_NE(mkdtemp(pattern), nullptr);
  const fs::path folder = pattern;
  ASSERT_EQ(mkfifo((folder / "logo.tga").c_str(), 0644), 0);
  alarm(10);  // a check that opened the pipe would wait here for a writer
  EXPECT_EQ(tga_file_problem((folder / "logo.tga").c_str(), 1, 1), "It is not a plain file");
  alarm(0);
  fs::create_directory(folder / "dat");
  EXPECT_EQ(wav_file_problem((folder / "dat").c_str()), "It is a folder, not a file");
  fs::current_path(folder);
  EXPECT_EQ(tga_file_problem("dat/logo.tga", 1, 1), "No such file in " + (folder / "dat").string());
  fs::current_path(folder / "dat");
  EXPECT_EQ(wav_file_problem("dat/music.wav"), "No folder 'dat' in " + (folder / "dat").string());
  fs::remove_all(folder);
}

}  // namespace
