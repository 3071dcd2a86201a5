// Small stand-in asset files, so tests run without the real dat/.
#pragma once

#include <string>

// A fresh temporary folder holding dat/ with the seven files the show needs at their sizes,
// the music a short 16-bit mono WAV. Returns the folder's path.
std::string make_asset_folder();
