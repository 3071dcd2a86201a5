#include "lettering.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cmath>
#include <cstdlib>
#include <stdexcept>
#include <string>
#include <vector>

// Glyphs are drawn on a grid 6 units high (capitals from y 0 to y 6, y
// downwards) and `width` units wide. A stroke is a polyline; a point marked
// with '~' becomes a rounded corner. Strokes are separated by ';'.
struct glyph_source {
  char c;
  float width;
  const char *strokes;
};

static constexpr glyph_source glyph_sources[] = {
    {'A', 4, "0,6 ~0,0 ~4,0 4,6; 0,3.4 4,3.4"},
    {'B', 4, "0,0 0,6; 0,0 ~3.6,0 ~3.6,2.9 0,2.9; 0,2.9 ~4,2.9 ~4,6 0,6"},
    {'C', 4, "4,0 ~0,0 ~0,6 4,6"},
    {'D', 4, "0,6 0,0 ~4,0 ~4,6 0,6"},
    {'E', 4, "4,0 0,0 0,6 4,6; 0,3 3.2,3"},
    {'F', 4, "4,0 0,0 0,6; 0,3 3.2,3"},
    {'G', 4, "4,0 ~0,0 ~0,6 ~4,6 4,3 2.2,3"},
    {'H', 4, "0,0 0,6; 4,0 4,6; 0,3 4,3"},
    {'I', 0, "0,0 0,6"},
    {'J', 4, "4,0 ~4,6 ~0,6 0,4.4"},
    {'K', 4, "0,0 0,6; 4,0 1.1,3 4,6; 0,3 1.1,3"},
    {'L', 4, "0,0 0,6 4,6"},
    {'M', 5, "0,6 0,0 2.5,3.6 5,0 5,6"},
    {'N', 4, "0,6 0,0 4,6 4,0"},
    {'O', 4, "2,0 ~4,0 ~4,6 ~0,6 ~0,0 2,0"},
    {'P', 4, "0,6 0,0 ~4,0 ~4,3.3 0,3.3"},
    {'Q', 4, "2,0 ~4,0 ~4,6 ~0,6 ~0,0 2,0; 2.6,4.6 4.3,6.3"},
    {'R', 4, "0,6 0,0 ~4,0 ~4,3.3 0,3.3; 2.3,3.3 4,6"},
    {'S', 4, "4,0 ~0,0 ~0,3 ~4,3 ~4,6 0,6"},
    {'T', 4, "0,0 4,0; 2,0 2,6"},
    {'U', 4, "0,0 ~0,6 ~4,6 4,0"},
    {'V', 4, "0,0 2,6 4,0"},
    {'W', 5.2f, "0,0 1.3,6 2.6,1.8 3.9,6 5.2,0"},
    {'X', 4, "0,0 4,6; 4,0 0,6"},
    {'Y', 4, "0,0 2,3 4,0; 2,3 2,6"},
    {'Z', 4, "0,0 4,0 0,6 4,6"},
    {'0', 4, "2,0 ~4,0 ~4,6 ~0,6 ~0,0 2,0; 2.9,1.7 1.1,4.3"},
    {'1', 2, "0.2,1.3 2,0 2,6"},
    {'2', 4, "0,0 ~4,0 ~4,3 ~0,3 0,6 4,6"},
    {'3', 4, "0,0 ~4,0 ~4,6 0,6; 1.2,3 4,3"},
    {'4', 4, "3,6 3,0 0,3.8 4,3.8"},
    {'5', 4, "4,0 0,0 0,2.8 ~4,2.8 ~4,6 0,6"},
    {'6', 4, "4,0 ~0,0 ~0,6 ~4,6 ~4,3 0,3"},
    {'7', 4, "0,0 4,0 1.6,6"},
    {'8', 4, "2,0 ~3.7,0 ~3.7,3 ~0.3,3 ~0.3,0 2,0; 2,3 ~4,3 ~4,6 ~0,6 ~0,3 2,3"},
    {'9', 4, "0,6 ~4,6 ~4,0 ~0,0 ~0,3 4,3"},
    {'.', 0, "0,6"},
    {',', 0.6f, "0.6,5.8 0,7.2"},
    {'!', 0, "0,0 0,3.9; 0,6"},
    {'?', 4, "0,1.2 ~0,0 ~4,0 ~4,3 ~2,3 2,4; 2,6"},
    {':', 0, "0,2.2; 0,6"},
    {'-', 2.4f, "0,3 2.4,3"},
    {'\'', 0, "0,0 0,1.6"},
    {'/', 3, "0,6.2 3,-0.2"},
    {'+', 3, "0,3 3,3; 1.5,1.5 1.5,4.5"},
    {' ', 1, ""},
};

constexpr float cap_units = 6;
constexpr float stroke_half_width = 0.64f;  // units: a bold face that survives squashing
constexpr float letter_gap = 1.9f;          // units between the centre lines of neighbours
constexpr float corner_radius = 1.6f;       // units
constexpr int corner_steps = 8;

struct point {
  float x, y;
};

struct glyph {
  bool defined = false;
  float width = 0;
  std::vector<std::vector<point>> strokes;  // corners already rounded
};

struct marked_point {
  point at;
  bool round;
};

static point along(point from, point to, float distance)
{
  float dx = to.x - from.x, dy = to.y - from.y;
  float len = std::sqrt(dx * dx + dy * dy);
  return {from.x + dx / len * distance, from.y + dy / len * distance};
}

static float distance(point a, point b)
{
  return std::sqrt((b.x - a.x) * (b.x - a.x) + (b.y - a.y) * (b.y - a.y));
}

// Replaces each marked corner by a quadratic curve whose ends lie at most
// half way along its two sides, so neighbouring corners never overlap.
static std::vector<point> round_corners(const std::vector<marked_point> &line)
{
  std::vector<point> out;
  for (size_t i = 0; i < line.size(); i++) {
    if (!line[i].round || i == 0 || i + 1 == line.size()) {
      out.push_back(line[i].at);
      continue;
    }
    point prev = line[i - 1].at, corner = line[i].at, next = line[i + 1].at;
    float cut = std::min({corner_radius, distance(prev, corner) / 2, distance(corner, next) / 2});
    point a = along(corner, prev, cut), b = along(corner, next, cut);
    for (int s = 0; s <= corner_steps; s++) {
      float t = float(s) / corner_steps, u = 1 - t;
      out.push_back({u * u * a.x + 2 * u * t * corner.x + t * t * b.x,
                     u * u * a.y + 2 * u * t * corner.y + t * t * b.y});
    }
  }
  return out;
}

static std::vector<marked_point> parse_stroke(const std::string &text)
{
  std::vector<marked_point> line;
  const char *p = text.c_str();
  while (*p) {
    while (*p == ' ')
      p++;
    if (!*p)
      break;
    bool round = *p == '~';
    if (round)
      p++;
    char *end;
    float x = std::strtof(p, &end);
    float y = std::strtof(end + 1, &end);
    line.push_back({{x, y}, round});
    p = end;
  }
  return line;
}

static const std::array<glyph, 128> &glyphs()
{
  static const std::array<glyph, 128> table = [] {
    std::array<glyph, 128> built{};
    for (const glyph_source &source : glyph_sources) {
      glyph &g = built[size_t(source.c)];
      g.defined = true;
      g.width = source.width;
      std::string all = source.strokes;
      size_t start = 0;
      while (start < all.size()) {
        size_t end = all.find(';', start);
        if (end == std::string::npos)
          end = all.size();
        g.strokes.push_back(round_corners(parse_stroke(all.substr(start, end - start))));
        start = end + 1;
      }
    }
    return built;
  }();
  return table;
}

static const glyph &glyph_for(char c)
{
  const glyph &g = glyphs()[size_t(std::toupper(static_cast<unsigned char>(c))) & 127];
  if (!g.defined)
    throw std::invalid_argument(std::string("no glyph for '") + c + "'");
  return g;
}

static float unit_for(float cap_height)
{
  return cap_height / (cap_units + 2 * stroke_half_width);
}

// Width in units between the centre lines of the first and last strokes.
static float line_units(std::string_view text)
{
  float units = 0;
  bool first = true;
  for (char c : text) {
    if (c == '^')
      continue;
    units += glyph_for(c).width + (first ? 0 : letter_gap);
    first = false;
  }
  return units;
}

float text_width(std::string_view text, float cap_height)
{
  return (line_units(text) + 2 * stroke_half_width) * unit_for(cap_height);
}

static void ink_strokes(canvas &cv, std::string_view text, float left, float top, float unit, float radius,
                        const text_style &style, bool outline)
{
  float pen = left + stroke_half_width * unit;
  float y0 = top + stroke_half_width * unit;
  bool accent = false, first = true;
  for (char c : text) {
    if (c == '^') {
      accent = !accent;
      continue;
    }
    const glyph &g = glyph_for(c);
    if (!first)
      pen += letter_gap * unit;
    first = false;
    const letter_paint &fill = accent ? style.accent : style.fill;
    paint p = [&](float, float y) { return outline ? black : fill((y - top) / style.cap_height); };
    for (const std::vector<point> &stroke : g.strokes)
      for (size_t i = 0; i < stroke.size(); i++) {
        // A stroke of one point is a dot.
        point a = stroke[i], b = stroke[i + 1 < stroke.size() ? i + 1 : i];
        if (i + 1 < stroke.size() || stroke.size() == 1)
          ink_capsule(cv, pen + a.x * unit, y0 + a.y * unit, pen + b.x * unit, y0 + b.y * unit, radius, p);
      }
    pen += g.width * unit;
  }
}

void ink_text(canvas &cv, std::string_view text, float centre_x, float top, const text_style &style)
{
  float unit = unit_for(style.cap_height);
  float left = centre_x - text_width(text, style.cap_height) / 2;
  float radius = stroke_half_width * unit;
  if (style.outline > 0)
    ink_strokes(cv, text, left, top, unit, radius + style.outline, style, true);
  ink_strokes(cv, text, left, top, unit, radius, style, false);
}
