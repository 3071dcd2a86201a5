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
//   load_sample      also notes the file a sample came from
//   play_sample      also reports the start to sample_started
#pragma once

// Called when the show starts a sample: the file it was loaded from (empty
// if it was not loaded from a file) and whether it loops.
extern void (*sample_started)(const char *path, bool loop);
