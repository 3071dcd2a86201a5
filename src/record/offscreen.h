// The show's sample calls as the recorder sees them. The recorder plays the
// show on the display-less drivers (platform/offscreen/offscreen.h), and is linked with
// the linker's --wrap for the call below, so that it learns when the music
// starts:
//   play_sample      also reports the start to sample_started
#pragma once

#include <allegro.h>

// Called when the show starts a sample, with the sample and whether it loops.
extern void (*sample_started)(const SAMPLE *sample, bool loop);
