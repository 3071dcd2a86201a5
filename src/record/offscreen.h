// The show's library calls as the recorder answers them. The recorder is
// linked with the linker's --wrap for each call below, so the show's code
// runs unchanged while the library starts with no display, no keyboard of
// its own and no sound card:
//   install_allegro  the system without a display, with a keyboard and timer
//                    that never report anything (key[] and the buffer are
//                    the recorder's to fill)
//   set_gfx_mode     a stand-in driver of the size asked for, and a memory
//                    bitmap as the screen (GFX_TEXT drops it again)
//   install_sound    the library's silent driver
//   play_sample      also reports the start to sample_started
#pragma once

#include <allegro.h>

// Called when the show starts a sample, with the sample and whether it loops.
extern void (*sample_started)(const SAMPLE *sample, bool loop);
