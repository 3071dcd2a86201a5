#include "raster.h"

#include <algorithm>
#include <cmath>
#include <fstream>

colour mix(colour a, colour b, float t)
{
  return {a.r + (b.r - a.r) * t, a.g + (b.g - a.g) * t, a.b + (b.b - a.b) * t};
}

colour scaled(colour c, float f)
{
  return {c.r * f, c.g * f, c.b * f};
}

image make_image(int w, int h, colour c)
{
  image img{w, h, std::vector<uint8_t>(size_t(w) * h * 3)};
  for (int y = 0; y < h; y++)
    for (int x = 0; x < w; x++)
      set_pixel(img, x, y, c);
  return img;
}

static uint8_t to_byte(float v)
{
  return uint8_t(std::clamp(std::lround(v), 0L, 255L));
}

void set_pixel(image &img, int x, int y, colour c)
{
  uint8_t *px = &img.rgb[(size_t(y) * img.w + x) * 3];
  px[0] = to_byte(c.r);
  px[1] = to_byte(c.g);
  px[2] = to_byte(c.b);
}

static void put16(std::ofstream &out, int v)
{
  out.put(char(v & 0xff));
  out.put(char(v >> 8));
}

// TGA stores blue, green, red.
static void put_pixel(std::ofstream &out, const uint8_t *px)
{
  out.put(char(px[2]));
  out.put(char(px[1]));
  out.put(char(px[0]));
}

// Packets never cross a row: some readers decode row by row.
static void write_rle_row(std::ofstream &out, const uint8_t *row, int w)
{
  auto same = [row](int a, int b) { return std::equal(row + a * 3, row + a * 3 + 3, row + b * 3); };
  int x = 0;
  while (x < w) {
    int run = 1;
    while (x + run < w && run < 128 && same(x, x + run))
      run++;
    if (run > 1) {
      out.put(char(0x80 | (run - 1)));
      put_pixel(out, row + x * 3);
      x += run;
      continue;
    }
    int raw = 1;
    while (x + raw < w && raw < 128 && !(x + raw + 1 < w && same(x + raw, x + raw + 1)))
      raw++;
    out.put(char(raw - 1));
    for (int i = 0; i < raw; i++)
      put_pixel(out, row + (x + i) * 3);
    x += raw;
  }
}

bool write_tga(const std::string &path, const image &img)
{
  std::ofstream out(path, std::ios::binary);
  const char header[12] = {0, 0, 10, 0, 0, 0, 0, 0, 0, 0, 0, 0};
  out.write(header, sizeof header);
  put16(out, img.w);
  put16(out, img.h);
  out.put(24);
  out.put(0);
  for (int y = img.h - 1; y >= 0; y--)
    write_rle_row(out, &img.rgb[size_t(y) * img.w * 3], img.w);
  return bool(out);
}

static uint32_t crc32(const uint8_t *bytes, size_t n, uint32_t crc = 0)
{
  crc = ~crc;
  for (size_t i = 0; i < n; i++) {
    crc ^= bytes[i];
    for (int bit = 0; bit < 8; bit++)
      crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1)));
  }
  return ~crc;
}

static void put_be32(std::vector<uint8_t> &out, uint32_t v)
{
  for (int shift = 24; shift >= 0; shift -= 8)
    out.push_back(uint8_t(v >> shift));
}

static void put_chunk(std::ofstream &out, const char *type, const std::vector<uint8_t> &data)
{
  std::vector<uint8_t> chunk;
  put_be32(chunk, uint32_t(data.size()));
  chunk.insert(chunk.end(), type, type + 4);
  chunk.insert(chunk.end(), data.begin(), data.end());
  put_be32(chunk, crc32(chunk.data() + 4, chunk.size() - 4));
  out.write(reinterpret_cast<const char *>(chunk.data()), std::streamsize(chunk.size()));
}

// A zlib stream of stored blocks: no compressor needed, and the same bytes on
// every run.
static std::vector<uint8_t> zlib_stored(const std::vector<uint8_t> &raw)
{
  std::vector<uint8_t> z = {0x78, 0x01};
  constexpr size_t block = 65535;
  for (size_t at = 0; at == 0 || at < raw.size(); at += block) {
    const size_t n = std::min(block, raw.size() - at);
    z.push_back(at + n == raw.size() ? 1 : 0);
    z.insert(z.end(), {uint8_t(n), uint8_t(n >> 8), uint8_t(~n), uint8_t(~n >> 8)});
    z.insert(z.end(), raw.begin() + long(at), raw.begin() + long(at + n));
  }
  uint32_t a = 1, b = 0;
  for (uint8_t byte : raw) {
    a = (a + byte) % 65521;
    b = (b + a) % 65521;
  }
  put_be32(z, b << 16 | a);
  return z;
}

bool write_png(const std::string &path, const rgba_image &img)
{
  std::ofstream out(path, std::ios::binary);
  out.write("\x89PNG\r\n\x1a\n", 8);
  std::vector<uint8_t> header;
  put_be32(header, uint32_t(img.w));
  put_be32(header, uint32_t(img.h));
  header.insert(header.end(), {8, 6, 0, 0, 0});  // 8 bits, RGBA, deflate, no filter, no interlace
  put_chunk(out, "IHDR", header);
  std::vector<uint8_t> rows;
  const size_t stride = size_t(img.w) * 4;
  for (int y = 0; y < img.h; y++) {
    rows.push_back(0);  // filter: none
    rows.insert(rows.end(), img.rgba.begin() + long(y * stride), img.rgba.begin() + long((y + 1) * stride));
  }
  put_chunk(out, "IDAT", zlib_stored(rows));
  put_chunk(out, "IEND", {});
  return bool(out);
}

bool write_rgba(const std::string &path, const rgba_image &img)
{
  std::ofstream out(path, std::ios::binary);
  out.write(reinterpret_cast<const char *>(img.rgba.data()), std::streamsize(img.rgba.size()));
  return bool(out);
}

canvas make_canvas(int w, int h)
{
  size_t n = size_t(w) * h * subsamples * subsamples;
  return {w, h, std::vector<colour>(n, black), std::vector<uint8_t>(n, 0)};
}

// Calls visit(index, x, y) for the points whose centres lie in the box.
template <typename Visit>
static void for_points_in(const canvas &cv, float x0, float y0, float x1, float y1, Visit visit)
{
  constexpr float step = 1.0f / subsamples;
  int pw = cv.w * subsamples, ph = cv.h * subsamples;
  int i0 = std::max(0, int(std::floor(x0 * subsamples)));
  int i1 = std::min(pw, int(std::ceil(x1 * subsamples)) + 1);
  int j0 = std::max(0, int(std::floor(y0 * subsamples)));
  int j1 = std::min(ph, int(std::ceil(y1 * subsamples)) + 1);
  for (int j = j0; j < j1; j++)
    for (int i = i0; i < i1; i++)
      visit(size_t(j) * pw + i, (i + 0.5f) * step, (j + 0.5f) * step);
}

void ink_capsule(canvas &cv, float x0, float y0, float x1, float y1, float radius, const paint &p)
{
  float dx = x1 - x0, dy = y1 - y0;
  float len2 = dx * dx + dy * dy;
  float r2 = radius * radius;
  for_points_in(cv, std::min(x0, x1) - radius, std::min(y0, y1) - radius, std::max(x0, x1) + radius,
                std::max(y0, y1) + radius, [&](size_t at, float x, float y) {
                  float t = len2 > 0 ? std::clamp(((x - x0) * dx + (y - y0) * dy) / len2, 0.0f, 1.0f) : 0.0f;
                  float ex = x - (x0 + t * dx), ey = y - (y0 + t * dy);
                  if (ex * ex + ey * ey <= r2) {
                    cv.points[at] = p(x, y);
                    cv.inked[at] = 1;
                  }
                });
}

void ink_region(canvas &cv, float x0, float y0, float x1, float y1, const region &in, const paint &p)
{
  for_points_in(cv, x0, y0, x1, y1, [&](size_t at, float x, float y) {
    if (x >= x0 && x < x1 && y >= y0 && y < y1 && in(x, y)) {
      cv.points[at] = p(x, y);
      cv.inked[at] = 1;
    }
  });
}

std::vector<float> coverage(const canvas &cv)
{
  std::vector<float> cover(size_t(cv.w) * cv.h, 0.0f);
  int pw = cv.w * subsamples;
  for (int y = 0; y < cv.h; y++)
    for (int x = 0; x < cv.w; x++) {
      int count = 0;
      for (int j = 0; j < subsamples; j++)
        for (int i = 0; i < subsamples; i++)
          count += cv.inked[size_t(y * subsamples + j) * pw + x * subsamples + i];
      cover[size_t(y) * cv.w + x] = float(count) / (subsamples * subsamples);
    }
  return cover;
}

image resolve(const canvas &cv, colour empty)
{
  image img = make_image(cv.w, cv.h, empty);
  int pw = cv.w * subsamples;
  for (int y = 0; y < cv.h; y++)
    for (int x = 0; x < cv.w; x++) {
      colour sum = black;
      bool any = false;
      for (int j = 0; j < subsamples; j++)
        for (int i = 0; i < subsamples; i++) {
          size_t at = size_t(y * subsamples + j) * pw + x * subsamples + i;
          if (!cv.inked[at])
            continue;
          any = true;
          sum = {sum.r + cv.points[at].r, sum.g + cv.points[at].g, sum.b + cv.points[at].b};
        }
      if (any)
        set_pixel(img, x, y, scaled(sum, 1.0f / (subsamples * subsamples)));
    }
  return img;
}
