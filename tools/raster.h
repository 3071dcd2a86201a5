// Pictures for the generator: 24-bit images, the TGA writer, and a
// supersampled canvas whose empty points count as black when it is
// reduced to pixels, so edges fade into black and never into the
// transparent magenta around them.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

struct colour {
  float r, g, b;  // 0 to 255
};

constexpr colour black{0, 0, 0};
constexpr colour magenta{255, 0, 255};

// a + (b - a) * t, per component.
colour mix(colour a, colour b, float t);

// Scales every component by f.
colour scaled(colour c, float f);

struct image {
  int w, h;
  std::vector<uint8_t> rgb;  // three bytes a pixel, rows from the top
};

// A w x h image filled with c.
image make_image(int w, int h, colour c);

// Sets pixel (x, y), rounding and clamping each component to 0..255.
void set_pixel(image &img, int x, int y, colour c);

// Writes img as a run-length encoded 24-bit TGA with the bottom row first.
// Returns false when the file cannot be written.
bool write_tga(const std::string &path, const image &img);

struct rgba_image {
  int w, h;
  std::vector<uint8_t> rgba;  // four bytes a pixel, alpha not premultiplied, rows from the top
};

// Writes img as a 32-bit RGBA PNG, its data in stored (uncompressed) blocks.
// Returns false when the file cannot be written.
bool write_png(const std::string &path, const rgba_image &img);

// Writes img's bytes as they are, with no header: what a program compiles in.
// Returns false when the file cannot be written.
bool write_rgba(const std::string &path, const rgba_image &img);

constexpr int subsamples = 4;  // points per pixel along each axis

struct canvas {
  int w, h;                     // in pixels
  std::vector<colour> points;   // (w * subsamples) x (h * subsamples)
  std::vector<uint8_t> inked;   // 1 where a point has been painted
};

// Paint at a position in pixel coordinates (pixel x covers [x, x + 1)).
using paint = std::function<colour(float x, float y)>;
using region = std::function<bool(float x, float y)>;

// An empty w x h canvas.
canvas make_canvas(int w, int h);

// Paints the points within radius of the segment from (x0, y0) to (x1, y1).
void ink_capsule(canvas &cv, float x0, float y0, float x1, float y1, float radius, const paint &p);

// Paints the points of the box [x0, x1) x [y0, y1) that lie in the region.
void ink_region(canvas &cv, float x0, float y0, float x1, float y1, const region &in, const paint &p);

// Fraction of the points of each pixel that are inked, rows from the top.
std::vector<float> coverage(const canvas &cv);

// One pixel per subsamples x subsamples points: the mean of the points,
// empty ones counting as black. A pixel with no inked point is `empty`.
image resolve(const canvas &cv, colour empty);
