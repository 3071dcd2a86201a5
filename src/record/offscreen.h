// The show's sample calls as the recorder sees them. The recorder plays the
// show on the display-less drivers (platform/offscreen.h), and is linked with
// the linker's --wrap for each call below, so that it learns when the music
// starts:
//   load_sample      also notes the file a sample came from
//   play_sample      also reports the start to sample_started
#pragma once

// Called when the show starts a sample: the file it was loaded from (empty
// if it was not loaded from a file) and whether it loops.
extern void (*sample_started)(const char *path, bool loop);
