#include "fixtures.h"

#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <tuple>

#include <sys/stat.h>

// Writes value little-endian in `width` bytes.
static void put(std::ofstream &out, uint32_t value, int width)
{
  for (int i = 0; i < width; i++)
    out.put(char(value >> 8 * i));
}

static void write_grey_tga(const std::string &path, int w, int h)
{
  std::ofstream out(path, std::ios::binary);
  out.write("\0\0\2\0\0\0\0\0\0\0\0\0", 12);
  put(out, uint32_t(w), 2);
  put(out, uint32_t(h), 2);
  put(out, 24, 2);
  for (long i = 0; i < long(w) * h; i++)
    put(out, 0xc0c0c0, 3);
}

static void write_wav(const std::string &path)
{
  constexpr uint32_t rate = 22050, sound_bytes = 4410;
  std::ofstream out(path, std::ios::binary);
  out.write("RIFF", 4);
  put(out, 36 + sound_bytes, 4);
  out.write("WAVEfmt ", 8);
  for (auto [value, width] : {std::pair{16u, 4}, {1u, 2}, {1u, 2}, {rate, 4}, {rate * 2, 4}, {2u, 2}, {16u, 2}})
    put(out, value, width);
  out.write("data", 4);
  put(out, sound_bytes, 4);
  for (uint32_t i = 0; i < sound_bytes / 2; i++)
    put(out, (i % 50) * 200, 2);
}

std::string make_asset_folder()
{
  char pattern[] = "/tmp/show-test-XXXXXX";
  const std::string folder = mkdtemp(pattern), dat = folder + "/dat";
  mkdir(dat.c_str(), 0755);
  for (auto [name, w, h] : {std::tuple{"star2.tga", 121, 21}, {"logo.tga", 639, 283}, {"txt1_2.tga", 926, 119},
                            {"txt2_2.tga", 887, 223}, {"txt3_3.tga", 800, 155}, {"dawno.tga", 799, 253}})
    write_grey_tga(dat + "/" + name, w, h);
  write_wav(dat + "/track1_cut_equalize.wav");
  return folder;
}
