// Small stand-in asset files, so tests run without the real dat/.
#pragma once

#include <string>

// Writes an uncompressed 24-bit TGA of w x h pixels, all of one colour.
void write_tga(const std::string &path, int w, int h, int r, int g, int b);

// Writes a short 16-bit mono WAV.
void write_wav(const std::string &path);

// A fresh temporary folder holding dat/ with all seven files at their sizes.
// Returns the folder's path.
std::string make_asset_folder();
