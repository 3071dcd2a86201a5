// The drivers this layer plugs into the library, shared only inside
// src/platform/: the system driver of system.cpp hands them out in its lists.
#pragma once

#include <allegro.h>

#include <cstdarg>
#include <cstdint>
#include <filesystem>
#include <string>

// The library's ids for the drivers below, shared by each driver and the
// list that offers it.
constexpr int sdl_display_id = AL_ID('S', 'D', 'L', '2');
constexpr int sdl_keyboard_id = AL_ID('S', 'D', 'L', 'K');
constexpr int sdl_sound_id = AL_ID('S', 'D', 'L', 'A');
constexpr int offscreen_display_id = AL_ID('O', 'F', 'F', 'S');

// True when the driver's flips and retrace waits keep the show's time
// themselves; else show_page and wait_retrace wait for the show's clock.
extern bool display_keeps_time;

// The folder of the running program, or an empty path when unknown.
std::filesystem::path program_folder();

// CLOCK_MONOTONIC in nanoseconds, and a sleep that signals do not cut short
// (platform.cpp).
int64_t monotonic_ns();
void sleep_ns(int64_t duration_ns);

// The whole of a printf-style message, however long (platform.cpp).
std::string format_message(const char *format, va_list args);

// The show's star field comes from rand(), which it never seeds; libraries
// that draw from it too (PulseAudio's client names its folders with it)
// would change the field. Between these two calls they draw from a sequence
// of their own.
void lend_random_sequence();
void take_back_random_sequence();

// The SDL2 window that presents the show's pages (sdl_display.cpp).
extern GFX_DRIVER sdl_display;
// Opens SDL's video; false, with SDL's reason in allegro_error, without a display.
bool open_sdl_video();
// Takes every waiting window and keyboard event; called once a frame.
void pump_display_events();

// A display that does not answer within this time at start-up, or that goes
// away later, ends the show with one line on stderr and status 1
// (x11_watch.cpp): the first call before connecting, the second after,
// saying whether an X display was connected.
constexpr unsigned display_answer_seconds = 10;
void watch_display_start();
void watch_display(bool connected);

// Keys from SDL's events into key[] and the keyboard buffer (sdl_keyboard.cpp).
extern KEYBOARD_DRIVER sdl_keyboard;
union SDL_Event;
void take_key_event(const SDL_Event &event);

// Allegro's mixer played through SDL's audio device (sdl_sound.cpp).
extern DIGI_DRIVER sdl_sound;

// A 16-bit page of video memory, which is plain memory here, and its end.
BITMAP *create_video_page(int w, int h);
void destroy_video_page(BITMAP *bmp);

// The display-less stand-in: a memory screen of the size asked for, pages it
// copies onto that screen when shown (offscreen.cpp).
extern GFX_DRIVER offscreen_display;
