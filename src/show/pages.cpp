#include "show/pages.h"

#include <cstdio>

#include "platform/platform.h"
#include "show/assets.h"

int back_page_index;
BITMAP *flip_pages[2];
BITMAP *background_page;
BITMAP *reserve_pages[2];

// The library's shutdown is registered with atexit, so returning from main
// after a failure still closes the display.
static bool start_library()
{
  hold_stop_signals();
  if (!start_system())
    return false;
  install_keyboard();
  install_timer();
  set_color_depth(16);
  catch_stop_signals();
  return true;
}

void report_in_text_mode(const char *message)
{
  set_gfx_mode(GFX_TEXT, 0, 0, 0, 0);
  startup_message("%s", message);
}

bool start_display()
{
  back_page_index = 1;
  if (!start_library())
    return false;
  if (!set_show_mode()) {
    startup_message("Cannot set the 1024x768 16-bit display mode, full screen or windowed\n%s\n",
                    allegro_error);
    return false;
  }

  // A page-flipping driver can flip only the first screen-sized pages asked
  // for (DirectX: three, the first being the visible screen itself), so the
  // flip pages come first and the others take the memory after them.
  flip_pages[0] = create_page();
  flip_pages[1] = create_page();
  reserve_pages[0] = create_page();
  reserve_pages[1] = create_page();
  background_page = create_page();
  if (!reserve_pages[0] || !reserve_pages[1] || !background_page) {
    report_in_text_mode("Not enough video memory (need a few 1024x768 screens in 16 & 32 bpp)\n");
    return false;
  }
  if (!flip_pages[0] || !flip_pages[1]) {
    report_in_text_mode("Not enough video memory (need next two 1024x768 pages in 32 bpp)\n");
    return false;
  }
  clear_bitmap(flip_pages[0]);
  clear_bitmap(flip_pages[1]);
  return true;
}

BITMAP *begin_flip()
{
  BITMAP *page = flip_pages[back_page_index];
  acquire_bitmap(page);
  return page;
}

void end_flip()
{
  BITMAP *page = flip_pages[back_page_index];
  release_bitmap(page);
  show_page(page);
  back_page_index = 1 - back_page_index;
}

void shut_down()
{
  destroy_sample(music);
  destroy_bitmap(reserve_pages[0]);
  destroy_bitmap(reserve_pages[1]);
  destroy_bitmap(background_page);
  destroy_bitmap(flip_pages[0]);
  destroy_bitmap(flip_pages[1]);
  // Closing the library puts back the handlers it found at start-up.
  hold_stop_signals();
  allegro_exit();
  catch_stop_signals();
}
