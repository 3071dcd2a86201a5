// The show played frame by frame, as the frame test holds it to
// tests/frame_hashes.txt: in the native unit test and in the browser alike.
#pragma once

#include <allegro.h>

#include <cstddef>
#include <cstdint>

// Refreshes before free flight's first frame, and the free-flight frames
// the test plays; Escape is held at the last of them.
constexpr int64_t flight_starts_after = 1946;
constexpr int flight_frames = 600;

// A hash of the bitmap's pixels. Each step is a bijection of the running
// hash and of the word, so a change in any one word always changes it.
uint64_t picture_hash(BITMAP *bmp);

// Which part of the show a refresh belongs to, by its number from 1.
const char *scene_of(size_t refresh);

// Free-flight keys by the loop's frame from 1: every steering key held
// alone and with its opposite, a screenshot, the overlay switched on by V,
// off by C (the screen kept), on by V and off by V (the screen cleared),
// then Escape at the last frame.
void press_flight_keys(int frame);
