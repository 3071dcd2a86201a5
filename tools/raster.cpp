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
