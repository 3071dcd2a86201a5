// Checks that an asset file is safe to hand to the library's loaders, and the
// checked loads. load_tga and load_sample believe every header field: a size
// that lies makes them allocate gigabytes or overflow a size computation, a
// long colour map overruns a stack buffer, a run that crosses the end of a
// row writes past the bitmap, and a short file still yields a picture. The
// checks walk each file the way its loader will and refuse it, with a reason
// a viewer can act on, before the loader sees anything it would mishandle.
// The music the show reads itself: load_sample knows only the plainest of
// the layouts that WAV writers use.
#pragma once

#include <allegro.h>

#include <cstdint>
#include <string>

// The largest picture and the longest music accepted: well beyond the show's
// own, small enough that no size computation in the library overflows.
constexpr int largest_image_side = 4096;
constexpr int64_t largest_sound_bytes = int64_t(256) << 20;

// Why the TGA file at path cannot be an image of at least need_w x need_h,
// or "" when load_tga reads it whole and safely.
std::string tga_file_problem(const char *path, int need_w, int need_h);

// Why the WAV file at path cannot be the music, or "" when it holds 8- or
// 16-bit mono or stereo PCM sound in a RIFF layout that sox reads.
std::string wav_file_problem(const char *path);

// The reason load_checked_tga gives for a file that passed the check when
// there was not enough memory to load its picture.
constexpr char no_memory_for_image[] = "There is not enough memory for its picture";

// load_tga of the file once it passed the check; else nullptr, with the
// reason (one line, no line feed) in problem.
BITMAP *load_checked_tga(const char *path, int need_w, int need_h, RGB *palette,
                         std::string &problem);

// The sound of the file once it passed the check, as a sample the library
// made and plays (what load_sample would give for the plainest layout);
// else nullptr, with the reason in problem.
SAMPLE *load_checked_wav(const char *path, std::string &problem);
