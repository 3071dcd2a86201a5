// One file's worth of bytes through the show's checked loads, once as an
// image and once as the music, with what must hold whichever way the checks
// decide. Shared by the fuzz target and the unit test of its findings.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

struct asset_trial {
  std::string image_problem;  // the check's reason; "" when the image loaded
  std::string sound_problem;  // the same for the music
  std::string broken;         // what went wrong that never may; "" when nothing did
};

// Needs the library started in 16-bit colour. Writes the bytes to a scratch
// .tga and .wav file and loads each through the checks: a refusal must give
// a one-line reason, an acceptance must load the file whole.
asset_trial try_asset_bytes(const uint8_t *data, size_t size);
