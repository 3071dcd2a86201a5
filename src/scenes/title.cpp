#include "scenes/title.h"

#include <allegro.h>

#include <cstdint>

#include "platform/platform.h"
#include "show/assets.h"

static constexpr int title_x = 100;
// Half the picture's height, truncated: the picture sits centred vertically.
static constexpr int title_half_height = 126;
static constexpr int32_t title_waits = 250;

void title_card()
{
  clear_bitmap(screen);
  blit(title_image, screen, 0, 0, title_x, SCREEN_H / 2 - title_half_height, title_width,
       title_height);
  // Escape is read from the held-key array, never from the keyboard buffer,
  // so whatever was typed stays queued for the free-flight loop.
  for (int32_t title_ticks = 1;; title_ticks++) {
    wait_retrace();
    if (title_ticks == title_waits || key[KEY_ESC] || stop_requested())
      break;
  }
  clear_bitmap(screen);
}
