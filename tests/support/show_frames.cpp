#include "show_frames.h"

#include <cstring>
#include <utility>

uint64_t picture_hash(BITMAP *bmp)
{
  uint64_t h = uint64_t(bmp->w) << 32 | uint32_t(bmp->h);
  const size_t words = size_t(bmp->w) * 2 / 8;
  for (int y = 0; y < bmp->h; y++) {
    const unsigned char *row = bmp->line[y];
    for (size_t i = 0; i < words; i++) {
      uint64_t w;
      std::memcpy(&w, row + 8 * i, 8);
      h = (h ^ w) * 0x9e3779b97f4a7c15u;
      h = h << 29 | h >> 35;
    }
  }
  return h;
}

const char *scene_of(size_t refresh)
{
  if (refresh <= 50)
    return "opening pause";
  if (refresh <= 300)
    return "title card";
  if (refresh <= 621)
    return "logo";
  if (refresh <= flight_starts_after)
    return "text crawl";
  return "free flight";
}

void press_flight_keys(int frame)
{
  key[KEY_4] = (frame >= 1 && frame < 150) || (frame >= 450 && frame < 500);
  key[KEY_8] = frame >= 100 && frame < 250;
  key[KEY_6] = frame >= 250 && frame < 500;
  key[KEY_2] = frame >= 350 && frame < 560;
  for (auto [at, c] : {std::pair{200, 'v'}, {210, 'c'}, {220, 'V'}, {230, 'v'}, {300, 's'}})
    if (frame == at)
      simulate_keypress(c);
  key[KEY_ESC] = frame == flight_frames;
}
