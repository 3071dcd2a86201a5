// Small stand-in asset files, so tests run without the real dat/.
#pragma once

#include <string>

// Writes an uncompressed 24-bit TGA of w x h pixels; colour(x) gives column
// x as 0xRRGGBB, grey when there is none.
void write_tga(const std::string &path, int w, int h, int (*colour)(int x) = nullptr);

// A fresh temporary folder holding dat/ with all seven files at their sizes,
// the music a short 16-bit mono WAV. Returns the folder's path.
std::string make_asset_folder();
