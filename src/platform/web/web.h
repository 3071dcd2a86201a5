// What the browser's files of this folder share: the page around the show
// (page.js) and the sound queued from the show's loop.
#pragma once

#include <cstdint>

// Tops up the sound device's queue to a few buffers ahead of what it plays
// (sound.cpp); nothing while no device is open.
void feed_sound();

// Buffers the mixer has filled and queued since the page started.
extern int64_t sound_buffers_queued;
