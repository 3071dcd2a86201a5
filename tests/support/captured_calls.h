// Library calls that the X11 tests capture through the linker's --wrap:
// messages instead of message boxes, a sound system and a desktop's size that
// can be made to fail, and the order in which bitmaps and samples are destroyed.
#pragma once

#include <allegro.h>

#include <string>
#include <vector>

struct captured_message {
  std::string text;
  bool in_text_mode;  // the graphics mode was already left when it was shown
};

extern std::vector<captured_message> messages;
extern bool fail_sound_install;
// SDL cannot tell the size of any monitor, as on a desktop it cannot read.
extern bool fail_display_bounds;
// Every destroyed bitmap or sample, in order ("bitmap"/"sample" + address).
extern std::vector<std::pair<std::string, const void *>> destroyed;
