// The show's 16-bit pictures in the pixel format the encoder takes, so that
// ffmpeg converts nothing: each 16-bit value looked up in a table, each pixel
// repeated into a block when the picture is scaled by a whole number.
#pragma once

#include <allegro.h>

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

enum class pixel_format {
  yuv444p,  // BT.709, limited range, a colour sample for every pixel
  yuv420p,  // the same with one colour sample for every 2x2 pixels
  bgr0,     // the show's own RGB, packed B, G, R and an unused byte (FFV1)
  rgb24,    // the show's own RGB, packed (PNG)
};

// The format's name as ffmpeg gives it.
const char *ffmpeg_name(pixel_format format);

// The three 8-bit components of every 16-bit value in `format`: Y, Cb, Cr
// for the YUV formats, the bytes of the packed pixel for the others.
// Reads the library's colour layout, so call it once the mode is set.
std::vector<std::array<uint8_t, 4>> component_table(pixel_format format);

// Prepares the conversion of w x h pictures into `format`, every pixel made
// a scale x scale block. Allocates what convert_frame uses.
void prepare_conversion(pixel_format format, int w, int h, int scale);

// The size in bytes of a converted picture.
size_t converted_size();

// The picture (of the prepared size) in the prepared format. A picture equal
// to the one before is not converted again. Allocates nothing.
const uint8_t *convert_frame(BITMAP *picture);
