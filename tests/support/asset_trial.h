// One file's worth of bytes through the show's checked loads, as an image and
// as the music. Shared by the fuzz target and the unit test of its findings.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

struct asset_trial {
  std::string image_problem;  // the check's reason; "" when the image loaded
  std::string sound_problem;  // the same for the music
  std::string broken;         // what went wrong that never may; "" when nothing did
};

// Needs the library started in 16-bit colour. A refusal must give a one-line
// reason; an acceptance must load the file whole.
asset_trial try_asset_bytes(const uint8_t *data, size_t size);
