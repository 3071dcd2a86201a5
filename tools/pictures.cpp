#include "pictures.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <stdexcept>
#include <string>
#include <vector>

#include "lettering.h"

constexpr float pi = 3.14159265358979f;

static float length(float dx, float dy)
{
  return std::sqrt(dx * dx + dy * dy);
}

// Gold letters, as the logo has them; panels use them for the name and the keys.
static colour gold(float t)
{
  if (t < 0.5f)
    return mix({255, 250, 215}, {255, 200, 60}, t / 0.5f);
  return mix({255, 200, 60}, {230, 105, 20}, (t - 0.5f) / 0.5f);
}

static colour moonlight(float t)
{
  return mix({255, 255, 255}, {170, 200, 255}, t);
}

// Chrome: a bright sky above the letters' middle, a dark horizon below it.
static colour chrome(float t)
{
  if (t < 0.52f)
    return mix({255, 255, 255}, {150, 190, 245}, t / 0.52f);
  return mix({35, 60, 160}, {150, 215, 255}, (t - 0.52f) / 0.48f);
}

// --- star strip ---------------------------------------------------------

constexpr int strip_cells = 6;
constexpr int cell_stride = 20;
constexpr int cell_size = 21;
constexpr float star_reach = 9.3f;     // keeps the cells' shared columns clear
constexpr float faintest_kept = 5.0f;  // dimmer pixels are left transparent

// Brightness of star `cell` at offset (dx, dy) from its centre, as a colour
// that is white in the core and blue in the glow and the rays.
static colour star_light(int cell, float dx, float dy)
{
  float t = float(cell) / (strip_cells - 1);
  float peak = 150 + 105 * t;
  float core_radius = 0.65f + 1.2f * t;
  float glow_reach = 0.6f + 1.6f * t;
  float ray_length = 1.0f + 3.2f * t;
  float d = std::sqrt(dx * dx + dy * dy);
  float core = std::exp(-(d * d) / (core_radius * core_radius));
  float glow = 0.4f * std::exp(-d / glow_reach);
  float rays = 0.55f * t * (std::exp(-std::abs(dy) / 0.45f - std::abs(dx) / ray_length) +
                            std::exp(-std::abs(dx) / 0.45f - std::abs(dy) / ray_length));
  colour white{1, 1, 1}, blue{0.55f, 0.68f, 1.0f};
  colour c = scaled(white, core);
  c = {c.r + blue.r * (glow + rays), c.g + blue.g * (glow + rays), c.b + blue.b * (glow + rays)};
  return scaled(c, peak);
}

image star_strip_picture()
{
  image strip = make_image(cell_stride * (strip_cells - 1) + cell_size, cell_size, magenta);
  constexpr int centre = cell_size / 2;
  for (int cell = 0; cell < strip_cells; cell++)
    for (int y = 0; y < cell_size; y++)
      for (int x = 0; x < cell_size; x++) {
        if (length(float(x - centre), float(y - centre)) > star_reach)
          continue;
        colour sum = black;
        for (int j = 0; j < subsamples; j++)
          for (int i = 0; i < subsamples; i++) {
            colour c = star_light(cell, x - centre + (i + 0.5f) / subsamples - 0.5f,
                                  y - centre + (j + 0.5f) / subsamples - 0.5f);
            sum = {sum.r + c.r, sum.g + c.g, sum.b + c.b};
          }
        colour c = scaled(sum, 1.0f / (subsamples * subsamples));
        if (std::max({c.r, c.g, c.b}) >= faintest_kept)
          set_pixel(strip, cell * cell_stride + x, y, c);
      }
  return strip;
}

// --- logo ---------------------------------------------------------------

constexpr int logo_w = 639, logo_h = 283;
constexpr float logo_cx = logo_w / 2.0f, logo_cy = logo_h / 2.0f;
constexpr float planet_radius = 118;
constexpr float ring_a = 300, ring_b = 64;  // outer edge of the ring's ellipse
constexpr float ring_inner = 0.8f;          // inner edge, as a fraction of the outer
constexpr float ring_tilt = -9 * pi / 180;
constexpr float logo_outline = 3.5f;

struct ring_point {
  float rho;       // 1 on the outer edge of the ring's ellipse
  float per_px;    // change of rho per pixel across the ring
  bool in_front;   // the near half, which passes in front of the planet
};

static ring_point on_ring(float x, float y)
{
  float dx = x - logo_cx, dy = y - logo_cy;
  float c = std::cos(ring_tilt), s = std::sin(ring_tilt);
  float u = dx * c + dy * s, v = -dx * s + dy * c;
  float rho = std::sqrt(u * u / (ring_a * ring_a) + v * v / (ring_b * ring_b));
  float gu = u / (ring_a * ring_a), gv = v / (ring_b * ring_b);
  float per_px = rho > 0 ? std::sqrt(gu * gu + gv * gv) / rho : 1;
  return {rho, per_px, v >= 0};
}

// Distance in pixels from the ring's band, 0 inside it.
static float off_ring(const ring_point &p)
{
  float outside = std::max(p.rho - 1, ring_inner - p.rho);
  return std::max(0.0f, outside / p.per_px);
}

static colour ring_colour(const ring_point &p)
{
  float across = (p.rho - ring_inner) / (1 - ring_inner);
  float grooves = 0.82f + 0.18f * std::sin(across * 31);
  colour ice = mix({225, 235, 245}, {120, 150, 185}, across);
  if (std::abs(across - 0.62f) < 0.05f)  // a dark gap between two bands
    ice = {55, 70, 95};
  return scaled(ice, grooves);
}

static colour planet_colour(float x, float y)
{
  float nx = (x - logo_cx) / planet_radius, ny = (y - logo_cy) / planet_radius;
  float nz = std::sqrt(std::max(0.0f, 1 - nx * nx - ny * ny));
  float light = std::max(0.0f, -0.5f * nx - 0.58f * ny + 0.64f * nz);
  colour c = mix({10, 18, 60}, {85, 165, 255}, std::pow(light, 0.8f));
  float latitude = -nx * std::sin(ring_tilt) + ny * std::cos(ring_tilt);
  c = scaled(c, 0.88f + 0.12f * std::sin(latitude * 17 + std::sin(latitude * 5) * 2));
  float rim = std::pow(1 - nz, 3.0f);
  return {c.r + 40 * rim, c.g + 110 * rim, c.b + 170 * rim};
}

static void ink_ring_half(canvas &cv, bool front)
{
  paint outline = [](float, float) { return black; };
  ink_region(
      cv, 0, 0, logo_w, logo_h,
      [front](float x, float y) {
        ring_point p = on_ring(x, y);
        return p.in_front == front && off_ring(p) <= logo_outline;
      },
      outline);
  ink_region(
      cv, 0, 0, logo_w, logo_h,
      [front](float x, float y) {
        ring_point p = on_ring(x, y);
        return p.in_front == front && off_ring(p) <= 0;
      },
      [](float x, float y) { return ring_colour(on_ring(x, y)); });
}

static void ink_planet(canvas &cv)
{
  auto within = [](float r) {
    return [r](float x, float y) { return length(x - logo_cx, y - logo_cy) <= r; };
  };
  float reach = planet_radius + logo_outline;
  ink_region(cv, logo_cx - reach, logo_cy - reach, logo_cx + reach, logo_cy + reach, within(reach),
             [](float, float) { return black; });
  ink_region(cv, logo_cx - reach, logo_cy - reach, logo_cx + reach, logo_cy + reach, within(planet_radius),
             planet_colour);
}

static void check_fits(std::string_view text, float cap_height, float outline, float room)
{
  if (text_width(text, cap_height) + 2 * outline > room)
    throw std::length_error("line too wide: " + std::string(text));
}

static canvas logo_canvas()
{
  canvas cv = make_canvas(logo_w, logo_h);
  ink_ring_half(cv, false);
  ink_planet(cv);
  ink_ring_half(cv, true);
  constexpr float cap = 86, outline = 4.5f, shadow = 6;
  check_fits(show_name, cap, outline + shadow, logo_w);
  float top = logo_cy - cap / 2;
  text_style shade{cap, outline, [](float) { return black; }, nullptr};
  ink_text(cv, show_name, logo_cx + shadow, top + shadow, shade);
  ink_text(cv, show_name, logo_cx, top, {cap, outline, gold, nullptr});
  return cv;
}

image logo_picture()
{
  return resolve(logo_canvas(), magenta);
}

// Each icon pixel is the mean of the logo's points under it, its alpha the
// share of them that are inked.
rgba_image icon_picture(int size)
{
  const canvas cv = logo_canvas();
  const int pw = cv.w * subsamples, ph = cv.h * subsamples;
  const float step = float(pw) / size;  // points per icon pixel
  const float top = (size * step - ph) / 2;
  rgba_image icon{size, size, std::vector<uint8_t>(size_t(size) * size * 4, 0)};
  for (int y = 0; y < size; y++)
    for (int x = 0; x < size; x++) {
      const int i0 = int(std::lround(x * step)), i1 = int(std::lround((x + 1) * step));
      const int j0 = int(std::lround(y * step - top)), j1 = int(std::lround((y + 1) * step - top));
      colour sum = black;
      int inked = 0;
      for (int j = std::max(j0, 0); j < std::min(j1, ph); j++)
        for (int i = i0; i < i1; i++) {
          const size_t at = size_t(j) * pw + i;
          if (!cv.inked[at])
            continue;
          inked++;
          sum = {sum.r + cv.points[at].r, sum.g + cv.points[at].g, sum.b + cv.points[at].b};
        }
      if (inked == 0)
        continue;
      auto byte = [](float v) { return uint8_t(std::clamp(std::lround(v), 0L, 255L)); };
      uint8_t *out = &icon.rgba[(size_t(y) * size + x) * 4];
      out[0] = byte(sum.r / inked);
      out[1] = byte(sum.g / inked);
      out[2] = byte(sum.b / inked);
      out[3] = byte(255.0f * inked / float((i1 - i0) * (j1 - j0)));
    }
  return icon;
}

// --- title --------------------------------------------------------------

constexpr int title_w = 799, title_h = 253;

// Three box blurs in a row: close to a Gaussian of the given radius.
static std::vector<float> blurred(std::vector<float> values, int w, int h, int radius)
{
  std::vector<float> tmp(values.size());
  for (int pass = 0; pass < 3; pass++) {
    for (int y = 0; y < h; y++)
      for (int x = 0; x < w; x++) {
        float sum = 0;
        for (int k = -radius; k <= radius; k++)
          sum += values[size_t(y) * w + std::clamp(x + k, 0, w - 1)];
        tmp[size_t(y) * w + x] = sum / (2 * radius + 1);
      }
    for (int y = 0; y < h; y++)
      for (int x = 0; x < w; x++) {
        float sum = 0;
        for (int k = -radius; k <= radius; k++)
          sum += tmp[size_t(std::clamp(y + k, 0, h - 1)) * w + x];
        values[size_t(y) * w + x] = sum / (2 * radius + 1);
      }
  }
  return values;
}

// A four-pointed glint, added to what is there.
static colour glint(float dx, float dy, float size)
{
  float d = length(dx, dy);
  float rays = std::exp(-std::abs(dx) / 0.7f - std::abs(dy) / size) +
               std::exp(-std::abs(dy) / 0.7f - std::abs(dx) / size);
  float core = std::exp(-d * d / 3);
  float v = 255 * std::min(1.0f, rays + core);
  return {v * 0.85f, v * 0.92f, v};
}

image title_picture()
{
  constexpr float cap = 112, top = 38, glow_reach = 20;
  constexpr float sub_cap = 20, sub_top = 196;
  constexpr std::string_view subtitle = "A REAL-TIME JOURNEY THROUGH THE STARS";
  check_fits(show_name, cap, glow_reach, title_w);
  canvas letters = make_canvas(title_w, title_h);
  ink_text(letters, show_name, title_w / 2.0f, top, {cap, 0, chrome, nullptr});
  image img = resolve(letters, black);
  std::vector<float> cover = coverage(letters);
  std::vector<float> glow = blurred(cover, title_w, title_h, 5);

  canvas small = make_canvas(title_w, title_h);
  auto pale = [](float) { return colour{195, 205, 235}; };
  ink_text(small, subtitle, title_w / 2.0f, sub_top, {sub_cap, 0, pale, nullptr});
  // A gold rule between name and subtitle, fading at both ends.
  constexpr float rule_y = 177, rule_half = 250;
  auto rule = [](float x, float) {
    float fade = 1 - std::abs(x - title_w / 2.0f) / rule_half;
    return scaled(gold(0.45f), std::clamp(fade * 1.6f, 0.0f, 1.0f));
  };
  ink_capsule(small, title_w / 2.0f - rule_half, rule_y, title_w / 2.0f + rule_half, rule_y, 1.1f, rule);
  image lower = resolve(small, black);

  struct sparkle {
    float x, y, size;
  };
  // On the corner of the M and at the foot of the S.
  constexpr std::array<sparkle, 2> glints = {
      {{title_w / 2.0f + 352, top + 6, 11}, {title_w / 2.0f - 318, top + 104, 8}}};
  for (int y = 0; y < title_h; y++)
    for (int x = 0; x < title_w; x++) {
      size_t at = size_t(y) * title_w + x;
      const uint8_t *a = &img.rgb[at * 3], *b = &lower.rgb[at * 3];
      float halo = std::min(1.0f, glow[at] * 1.6f) * (1 - cover[at]);
      colour c{float(a[0] + b[0]) + 30 * halo, float(a[1] + b[1]) + 80 * halo, float(a[2] + b[2]) + 230 * halo};
      for (const auto &g : glints) {
        colour s = glint(x + 0.5f - g.x, y + 0.5f - g.y, g.size);
        c = {c.r + s.r, c.g + s.g, c.b + s.b};
      }
      set_pixel(img, x, y, c);
    }
  return img;
}

// --- text panels --------------------------------------------------------

struct panel_layout {
  int w, h;
  float cap, first_top, pitch;
  std::array<std::string_view, 4> lines;  // empty ones are not set
};

static const std::array<panel_layout, 3> panels = {{
    {926, 119, 40, 14, 54, {"GREETINGS, STARGAZERS!", "WELCOME TO ^STARLOOM^", "", ""}},
    {887, 223, 34, 16, 52,
     {"^STARLOOM^ WEAVES ITS SKY", "LIVE, FRAME AFTER FRAME.", "EVERY STAR AND EVERY NOTE",
      "IS MADE BY ITS OWN CODE."}},
    {800, 155, 26, 11, 36,
     {"^4 6 8 2^  STEER THE STARS", "^S^  SAVES A SCREENSHOT", "^V^ OR ^C^  TOGGLE THE OVERLAY",
      "^SPACE^ OR ^ESCAPE^  ENDS THE SHOW"}},
}};

constexpr float panel_outline = 2.2f;

image panel_picture(int panel)
{
  const panel_layout &layout = panels.at(size_t(panel));
  canvas cv = make_canvas(layout.w, layout.h);
  float top = layout.first_top;
  for (std::string_view line : layout.lines) {
    if (line.empty())
      continue;
    check_fits(line, layout.cap, panel_outline, layout.w - 16);
    ink_text(cv, line, layout.w / 2.0f, top, {layout.cap, panel_outline, moonlight, gold});
    top += layout.pitch;
  }
  return resolve(cv, magenta);
}

// --- overlay ------------------------------------------------------------

constexpr int overlay_w = 262, overlay_h = 112;

image overlay_picture()
{
  struct line {
    std::string_view text;
    float cap, top;
  };
  constexpr std::array<line, 5> lines = {{{"^FREE FLIGHT^", 16, 6},
                                          {"^4 6 8 2^  STEER", 12, 34},
                                          {"^S^  SAVES A SCREENSHOT", 12, 54},
                                          {"^V^ OR ^C^  HIDES THIS", 12, 74},
                                          {"^SPACE^ OR ^ESCAPE^  ENDS", 12, 94}}};
  constexpr float left = 6, outline = 1.8f;
  canvas cv = make_canvas(overlay_w, overlay_h);
  for (const line &l : lines) {
    check_fits(l.text, l.cap, outline, overlay_w - 2 * left);
    const float centre = left + outline + text_width(l.text, l.cap) / 2;
    ink_text(cv, l.text, centre, l.top, {l.cap, outline, moonlight, gold});
  }
  return resolve(cv, magenta);
}
