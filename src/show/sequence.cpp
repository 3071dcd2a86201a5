#include "show/sequence.h"

#include "field/points.h"
#include "field/projection.h"
#include "field/renderer.h"
#include "platform/platform.h"
#include "scenes/crawl.h"
#include "scenes/logo.h"
#include "scenes/title.h"
#include "show/assets.h"
#include "show/flight.h"
#include "show/pages.h"

int crawl_centre_x;

static constexpr int opening_pause_retraces = 50;
static constexpr int music_volume = 255;
static constexpr int music_pan = 128;
static constexpr int music_frequency = 1000;

static void copy_background_to_screen()
{
  blit(background_page, screen, 0, 0, 0, 0, SCREEN_W, SCREEN_H);
}

int run_show()
{
  if (!start_display() || !load_assets())
    return 1;

  populate_field();
  roll_angle = pitch_angle = yaw_angle = 0;
  overlay_on = false;
  crawl_centre_x = SCREEN_W / 2;
  for (int i = 0; i < opening_pause_retraces; i++)
    wait_retrace();

  title_card();
  play_sample(music, music_volume, music_pan, music_frequency, 1);
  logo_scene();
  copy_background_to_screen();
  draw_field(screen);
  crawl_scene();
  copy_background_to_screen();
  free_flight_loop();

  shut_down();
  return stop_signal ? 128 + stop_signal : 0;
}
