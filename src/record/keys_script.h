// The recorder's keyboard: a script of key events at numbered frames, such
// as "40:s,2000:hold 4,2060:release 4,3145:ESC".
//   N:c           types the letter or digit c (queued for the show to read)
//   N:hold K      holds key K: a letter, a digit, SPACE or ESC
//   N:release K   lets go of key K
//   N:ESC         holds Escape: it ends every scene still to come, so the show
//                 finishes (use hold/release ESC to cut one scene short)
// Frames count from 1, the first picture recorded; an event at frame N takes
// effect once frame N has been recorded, before the show draws frame N+1.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

enum class key_action { type, hold, release };

struct key_event {
  int64_t frame;
  key_action action;
  int scancode;  // the library's KEY_ number
  int ascii;     // the character typed; 0 for hold and release
};

// Without keys, the show reaches free flight at this frame: 50 black frames,
// 250 of the title card, 321 of the logo and 1325 of the text crawl.
constexpr int64_t free_flight_first_frame = 1947;
constexpr int64_t default_flight_frames = 1200;
// The whole show, 20 seconds of free flight, then Escape.
constexpr char default_keys_script[] = "3146:ESC";

// The events of `script` in its order, or nothing with `error` saying which
// item is wrong and why. Frames must not go back.
std::optional<std::vector<key_event>> parse_keys_script(std::string_view script,
                                                        std::string &error);

// The frame from which Escape or Space stays held to the end of the events,
// which ends the show; 0 when the events leave both released.
int64_t ending_frame(const std::vector<key_event> &events);
