// The show's own lettering: a stroke font of rounded capitals, digits and
// a little punctuation, drawn as thick round-capped strokes on a canvas.
// Lower-case letters are set as capitals.
#pragma once

#include <functional>
#include <string_view>

#include "raster.h"

// Colour of a letter at height t: 0 at the top of the capitals, 1 at the baseline.
using letter_paint = std::function<colour(float t)>;

struct text_style {
  float cap_height;     // pixels
  float outline;        // width of the black outline around each stroke, pixels
  letter_paint fill;
  letter_paint accent;  // for text between '^' marks
};

// Width in pixels of the ink of one line, outline excluded.
float text_width(std::string_view text, float cap_height);

// Inks one line centred on centre_x with its capitals from row top down:
// first the outline of every letter, then the strokes, so outlines never
// cover a neighbour's strokes.
void ink_text(canvas &cv, std::string_view text, float centre_x, float top, const text_style &style);
