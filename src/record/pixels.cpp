#include "record/pixels.h"

#include <algorithm>
#include <cmath>
#include <cstring>

// BT.709's weights of red and blue in the luma; green has the rest.
static constexpr double luma_red = 0.2126;
static constexpr double luma_blue = 0.0722;

// One plane of the converted picture and where each of its samples comes
// from in the show's picture.
struct plane {
  size_t offset;  // in the converted picture
  int w;
  int h;
  int bytes;      // a sample's size: 1 in a planar format, 3 or 4 packed
  int component;  // a planar sample's entry in the component table
  std::vector<int> source_x;  // for each column, the picture's column
  std::vector<int> first_row;  // for each picture row, its first row here...
  std::vector<int> end_row;    // ...and the row after its last (none for some chroma)
};

static std::vector<std::array<uint8_t, 4>> components;
static std::vector<plane> planes;
static std::vector<uint8_t> converted;
// One picture row's components, looked up once for every plane.
static std::vector<std::array<uint8_t, 4>> row_components;
static bool unscaled;
// The picture last converted, to know one that does not change.
static std::vector<uint16_t> last_picture;
static bool have_last_picture;

const char *ffmpeg_name(pixel_format format)
{
  switch (format) {
  case pixel_format::yuv444p:
    return "yuv444p";
  case pixel_format::yuv420p:
    return "yuv420p";
  case pixel_format::bgr0:
    return "bgr0";
  case pixel_format::rgb24:
    break;
  }
  return "rgb24";
}

static uint8_t rounded(double value)
{
  return uint8_t(std::lround(std::fmin(255.0, std::fmax(0.0, value))));
}

std::vector<std::array<uint8_t, 4>> component_table(pixel_format format)
{
  std::vector<std::array<uint8_t, 4>> table(65536);
  for (int pixel = 0; pixel < 65536; pixel++) {
    const uint8_t r = uint8_t(getr16(pixel)), g = uint8_t(getg16(pixel)), b = uint8_t(getb16(pixel));
    if (format == pixel_format::bgr0) {
      table[pixel] = {b, g, r, 0};
    } else if (format == pixel_format::rgb24) {
      table[pixel] = {r, g, b, 0};
    } else {
      // Limited range: luma from 16 to 235, colour differences 16 to 240.
      const double luma = luma_red * r + (1 - luma_red - luma_blue) * g + luma_blue * b;
      table[pixel] = {rounded(16 + luma * 219 / 255),
                      rounded(128 + (b - luma) / (2 * (1 - luma_blue)) * 224 / 255),
                      rounded(128 + (r - luma) / (2 * (1 - luma_red)) * 224 / 255), 0};
    }
  }
  return table;
}

// A plane of w x h samples of a picture of picture_h rows scaled to it by
// `scale` and read every `step` samples (2 for the colour planes of 4:2:0).
static plane make_plane(size_t offset, int w, int h, int bytes, int component, int scale, int step,
                        int picture_h)
{
  plane p = {offset, w, h, bytes, component, std::vector<int>(size_t(w)),
             std::vector<int>(size_t(picture_h), 0), std::vector<int>(size_t(picture_h), 0)};
  for (int x = 0; x < w; x++)
    p.source_x[size_t(x)] = x * step / scale;
  for (int y = h - 1; y >= 0; y--) {
    const size_t source = size_t(y * step / scale);
    p.first_row[source] = y;
    p.end_row[source] = std::max(p.end_row[source], y + 1);
  }
  return p;
}

void prepare_conversion(pixel_format format, int w, int h, int scale)
{
  components = component_table(format);
  const int out_w = w * scale, out_h = h * scale;
  const size_t luma = size_t(out_w) * size_t(out_h);
  planes.clear();
  if (format == pixel_format::bgr0 || format == pixel_format::rgb24) {
    const int bytes = format == pixel_format::bgr0 ? 4 : 3;
    planes.push_back(make_plane(0, out_w, out_h, bytes, 0, scale, 1, h));
  } else {
    const int step = format == pixel_format::yuv420p ? 2 : 1;
    const size_t colour = luma / size_t(step * step);
    planes.push_back(make_plane(0, out_w, out_h, 1, 0, scale, 1, h));
    planes.push_back(make_plane(luma, out_w / step, out_h / step, 1, 1, scale, step, h));
    planes.push_back(make_plane(luma + colour, out_w / step, out_h / step, 1, 2, scale, step, h));
  }
  unscaled = scale == 1 && format != pixel_format::yuv420p;
  const plane &last = planes.back();
  converted.assign(last.offset + size_t(last.w) * size_t(last.h) * size_t(last.bytes), 0);
  row_components.assign(size_t(w), {});
  last_picture.assign(size_t(w) * size_t(h), 0);
  have_last_picture = false;
}

size_t converted_size()
{
  return converted.size();
}

// The rows of plane `p` that picture row `y` makes, from its components:
// the first sample by sample, the others copies of it.
template <int bytes>
static void fill_rows(const plane &p, int y)
{
  const int first = p.first_row[size_t(y)], end = p.end_row[size_t(y)];
  if (first >= end)
    return;
  const size_t row_bytes = size_t(p.w) * bytes;
  uint8_t *out = converted.data() + p.offset + size_t(first) * row_bytes;
  const std::array<uint8_t, 4> *from = row_components.data();
  const int *source_x = p.source_x.data();
  for (int x = 0; x < p.w; x++) {
    if constexpr (bytes == 1)
      out[x] = from[source_x[x]][size_t(p.component)];
    else
      std::memcpy(out + size_t(x) * bytes, from[source_x[x]].data(), bytes);
  }
  for (int row = first + 1; row < end; row++)
    std::memcpy(out + size_t(row - first) * row_bytes, out, row_bytes);
}

// Each pixel straight to its place in every plane.
template <int bytes>
static void fill_unscaled_row(const uint16_t *row, int y, int w)
{
  if constexpr (bytes == 1) {
    const size_t plane_bytes = size_t(w) * planes[0].h;
    uint8_t *luma = converted.data() + size_t(y) * size_t(w);
    for (int x = 0; x < w; x++) {
      const auto &c = components[row[x]];
      luma[x] = c[0];
      luma[x + plane_bytes] = c[1];
      luma[x + 2 * plane_bytes] = c[2];
    }
  } else {
    uint8_t *out = converted.data() + size_t(y) * size_t(w) * bytes;
    for (int x = 0; x < w; x++)
      std::memcpy(out + size_t(x) * bytes, components[row[x]].data(), bytes);
  }
}

// True when the picture equals the one kept from the last call; keeps it.
static bool unchanged(BITMAP *picture)
{
  const size_t row_bytes = size_t(picture->w) * 2;
  bool same = have_last_picture;
  for (int y = 0; y < picture->h; y++) {
    uint16_t *kept = last_picture.data() + size_t(y) * size_t(picture->w);
    if (same && std::memcmp(kept, picture->line[y], row_bytes) == 0)
      continue;
    same = false;
    std::memcpy(kept, picture->line[y], row_bytes);
  }
  have_last_picture = true;
  return same;
}

const uint8_t *convert_frame(BITMAP *picture)
{
  if (unchanged(picture))
    return converted.data();
  const int bytes = planes[0].bytes;
  for (int y = 0; y < picture->h; y++) {
    const uint16_t *row = reinterpret_cast<const uint16_t *>(picture->line[y]);
    if (unscaled) {
      if (bytes == 1)
        fill_unscaled_row<1>(row, y, picture->w);
      else if (bytes == 3)
        fill_unscaled_row<3>(row, y, picture->w);
      else
        fill_unscaled_row<4>(row, y, picture->w);
      continue;
    }
    for (int x = 0; x < picture->w; x++)
      row_components[size_t(x)] = components[row[x]];
    for (const plane &p : planes) {
      if (p.bytes == 1)
        fill_rows<1>(p, y);
      else if (p.bytes == 3)
        fill_rows<3>(p, y);
      else
        fill_rows<4>(p, y);
    }
  }
  return converted.data();
}
