// The sound in a browser: the library's mixer fills buffers from the show's
// own loop and queues them on SDL's device, whose audio callback, which the
// browser calls between the show's frames, only plays what is queued.
#include <SDL.h>
#include <allegro.h>
#include <allegro/internal/aintern.h>

#include <array>

#include "platform/sdl/sdl.h"
#include "platform/web/web.h"

int64_t sound_buffers_queued;

const bool sound_fed_by_system = true;

// Four buffers are 93 ms of music: enough for a frame that comes late, and
// little enough that the music starts when the show starts it.
static constexpr uint32_t buffers_ahead = 4;
static std::array<int16_t, sound_buffer_frames * sound_channels> mixed;

void feed_sound()
{
  if (!sound_device)
    return;
  while (SDL_GetQueuedAudioSize(sound_device) < buffers_ahead * sizeof mixed) {
    _mix_some_samples(uintptr_t(mixed.data()), 0, TRUE);
    if (SDL_QueueAudio(sound_device, mixed.data(), sizeof mixed) != 0)
      return;
    sound_buffers_queued++;
  }
}

// A browser's sound says nothing about the devices it does not have.
void quieten_sound_probes() {}
