// The library's drivers of ours on SDL2, shared by the systems that run
// them: the system driver (system.cpp) hands them to the library in its
// driver lists; the drivers never call back into it.
#pragma once

#include <allegro.h>

#include <cstdint>

// The library's ids for the drivers below, shared by each driver and the
// list that offers it.
constexpr int sdl_display_id = AL_ID('S', 'D', 'L', '2');
constexpr int sdl_keyboard_id = AL_ID('S', 'D', 'L', 'K');
constexpr int sdl_sound_id = AL_ID('S', 'D', 'L', 'A');

// The drivers the system driver hands out, and how it shows a message box
// (NULL: the library prints the message). The SDL drivers are the default;
// the display-less stand-in (offscreen/) hands in its own before start-up.
struct driver_lists {
  const char *name;
  _DRIVER_INFO *gfx;
  _DRIVER_INFO *keyboard;
  _DRIVER_INFO *digi;  // without a driver the library falls back to its silent one
  bool opens_sdl_video;
  void (*message)(const char *text);
};
void hand_out_drivers(const driver_lists &lists);

// The SDL2 window that presents the show's pages (display.cpp).
extern GFX_DRIVER sdl_display;
// Opens SDL's video; false, with SDL's reason in allegro_error, without a display.
bool open_sdl_video();
// Takes every waiting window and keyboard event; called once a frame.
void pump_display_events();

// The window's icon: the logo as the asset generator draws it
// (package/starloom.rgba), window_icon_size pixels square, four bytes a pixel
// (red, green, blue, alpha), rows from the top. The build compiles it in.
constexpr int window_icon_size = 128;
extern const unsigned char window_icon_rgba[window_icon_size * window_icon_size * 4];

// Keys from SDL's events into key[] and the keyboard buffer (keyboard.cpp).
extern KEYBOARD_DRIVER sdl_keyboard;
union SDL_Event;
void take_key_event(const SDL_Event &event);

// Allegro's mixer played through SDL's audio device (sound.cpp): buffers of
// this many frames of 16-bit stereo, on the device open now (0 while none is;
// an SDL_AudioDeviceID).
extern DIGI_DRIVER sdl_sound;
constexpr int sound_channels = 2;
constexpr int sound_buffer_frames = 1024;
extern uint32_t sound_device;
// True once a call into SDL's sound was left waiting on a sound server that
// stopped answering: nothing may call SDL's sound again, SDL_Quit included.
extern bool sound_left_to_server;

// A 16-bit page of video memory, which is plain memory here, and its end
// (video_pages.cpp).
BITMAP *create_video_page(int w, int h);
void destroy_video_page(BITMAP *bmp);

// ---------------------------------------------------------------------------
// What the drivers need from the system they run on; its own folder supplies
// it (posix/ and x11/ on Linux, web/ in a browser).

// Descriptors 0, 1 and 2 open, to /dev/null where they were closed (as some
// launchers start programs): the first connection opened would take one of
// them, and whatever is printed would then go into that connection.
void open_standard_descriptors();

// The show's star field comes from rand(), which it never seeds; libraries
// that draw from it too (PulseAudio's client names its folders with it)
// would change the field. Between these two calls they draw from a sequence
// of their own.
void lend_random_sequence();
void take_back_random_sequence();

// A display that does not answer within this time at start-up, or that goes
// away later, ends the show with one line on stderr and status 1: the first
// call before connecting, the second after, saying whether an X display was
// connected.
constexpr unsigned display_answer_seconds = 10;
void watch_display_start();
void watch_display(bool connected);

// The system's message box, shown until the viewer closes it; false when
// there is none to show.
bool show_message_box(const char *text);

// SDL's video driver for this system's display: x11, or wayland in a session
// that has only a Wayland display (x11/); the page's canvas (web/).
const char *display_video_driver();

// True where the window is a canvas in a web page (web/): the page scales it
// to the browser's window and switches it to full screen, so the window
// keeps the picture's own size.
bool window_in_page();

// Keeps the system's sound library from writing every failed probe of a
// device to stderr (ALSA's on Linux), before SDL's audio starts.
void quieten_sound_probes();

// True where the system hands the mixer's buffers to the device itself, from
// the show's own loop (web/: a browser calls SDL's audio callback between
// the show's frames, where the mixer must not run); false where SDL's audio
// thread pulls them (posix/).
extern const bool sound_fed_by_system;
