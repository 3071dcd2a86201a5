#include "fixtures.h"

#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <vector>

#include <sys/stat.h>

static void put16(std::ofstream &out, int value)
{
  out.put(char(value & 0xff));
  out.put(char((value >> 8) & 0xff));
}

static void put32(std::ofstream &out, uint32_t value)
{
  put16(out, int(value & 0xffff));
  put16(out, int(value >> 16));
}

void write_tga(const std::string &path, int w, int h, int r, int g, int b)
{
  std::ofstream out(path, std::ios::binary);
  const char header[12] = {0, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0};
  out.write(header, sizeof header);
  put16(out, w);
  put16(out, h);
  out.put(24);
  out.put(0);
  for (long i = 0; i < long(w) * h; i++) {
    out.put(char(b));
    out.put(char(g));
    out.put(char(r));
  }
}

void write_wav(const std::string &path)
{
  constexpr int rate = 22050, samples = 2205;
  std::ofstream out(path, std::ios::binary);
  out.write("RIFF", 4);
  put32(out, 36 + samples * 2);
  out.write("WAVEfmt ", 8);
  put32(out, 16);
  put16(out, 1);
  put16(out, 1);
  put32(out, rate);
  put32(out, rate * 2);
  put16(out, 2);
  put16(out, 16);
  out.write("data", 4);
  put32(out, samples * 2);
  for (int i = 0; i < samples; i++)
    put16(out, (i % 50) * 200 - 5000);
}

std::string make_asset_folder()
{
  char pattern[] = "/tmp/show-test-XXXXXX";
  std::string folder = mkdtemp(pattern);
  std::string dat = folder + "/dat";
  mkdir(dat.c_str(), 0755);
  write_tga(dat + "/star2.tga", 121, 21, 255, 0, 255);
  write_tga(dat + "/logo.tga", 639, 283, 200, 40, 40);
  write_tga(dat + "/txt1_2.tga", 926, 119, 220, 220, 220);
  write_tga(dat + "/txt2_2.tga", 887, 223, 220, 220, 220);
  write_tga(dat + "/txt3_3.tga", 800, 155, 220, 220, 220);
  write_tga(dat + "/dawno.tga", 799, 253, 40, 40, 200);
  write_wav(dat + "/track1_cut_equalize.wav");
  return folder;
}
