#include "record/offscreen.h"

#include <allegro.h>

void (*sample_started)(const SAMPLE *sample, bool loop) = nullptr;

extern "C" {

int __real_play_sample(const SAMPLE *spl, int vol, int pan, int freq, int loop);

int __wrap_play_sample(const SAMPLE *spl, int vol, int pan, int freq, int loop)
{
  if (sample_started)
    sample_started(spl, loop != 0);
  return __real_play_sample(spl, vol, pan, freq, loop);
}
}
