// The library's drivers of ours on SDL2, shared by the systems that run
// them: the system driver (system.cpp) hands them to the library in its
// driver lists; the drivers never call back into it.
#pragma once

#include <SDL.h>
#include <allegro.h>

#include <array>
#include <cstdint>
#include <string>

#include "platform/platform.h"

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
// Opens SDL's video; false without a display, with a line saying why (the
// display's name and SDL's reason) in allegro_error.
bool open_sdl_video();
// Takes every waiting window and keyboard event; called once a frame.
void pump_display_events();

// The window's icon: the logo as the asset generator draws it
// (package/starloom.rgba), window_icon_size pixels square, four bytes a pixel
// (red, green, blue, alpha), rows from the top. The build compiles it in.
constexpr int window_icon_size = 128;
extern const unsigned char window_icon_rgba[window_icon_size * window_icon_size * 4];

// How the window shows the picture. A graphics card's OpenGL scales it in
// step with the display's refresh; without one the processor scales it into
// the window's own pixels (SDL's where its driver has them, X11's shared
// memory; else the system's buffers on the window's surface, Wayland's).
// An OpenGL that the processor emulates costs several times as much, and is
// kept for a desktop whose pixels the processor's path cannot write.
enum class presenting { none, card_opengl, window_pixels, processor_opengl };

// What a probe of OpenGL, made apart from the show, found.
enum class opengl_finding { none, on_card, on_processor };

// The ways to try in turn: with SDL_RENDER_DRIVER set (render_driver not
// NULL), only what it names ("software": the window's pixels; any other:
// that OpenGL); else as above, each only where the probe found it.
std::array<presenting, 3> presenting_order(opengl_finding found, const char *render_driver);

// Where the picture lands in the output, and whether it is a whole multiple
// (scaled sharp, pixel for pixel) or a smooth scale.
struct picture_fit {
  SDL_Rect rect;
  bool sharp;
};

// As large as fits in out_w x out_h, aspect kept, centred; a whole multiple
// when the output holds at least twice the picture each way. No wider than
// `widest` (0: no limit), so a slow display can be given a smaller picture.
picture_fit fit_picture(int out_w, int out_h, int pic_w, int pic_h, int widest);

// The widest picture to try after `fit` cost too much to present: one whole
// multiple less, or three quarters of a smooth scale, never below the
// picture's own width; 0 when nothing smaller helps.
int narrower_picture(const picture_fit &fit, int pic_w);

// A picture that costs the processor more than a third of a tick to present
// gets smaller: the display's server then takes up to twice as long again
// to copy what was sent (an X server copies each pixel into its own screen),
// and the tick is lost. Judged by the median of this many presents in a
// row, so that the odd present held up by a busy machine does not count;
// and by the processor's time, which a busy machine stretches far less than
// the time on the clock.
constexpr int64_t presenting_budget_ns = show_tick_ns / 3;
constexpr int presents_measured = 10;

struct present_costs {
  std::array<int64_t, presents_measured> ns;
  int count;
};
// Counts one present's processor time; true when the median of the last
// presents_measured presents is over the budget. Each full count starts a
// fresh one.
bool presents_too_slow(present_costs &costs, int64_t present_ns);

// Draws the 16-bit picture into target at fit.rect, scaled, and paints the
// rest of target black when `with_bars`. False when target's pixel format
// cannot be written (pixels.cpp).
bool draw_into_surface(SDL_Surface *target, BITMAP *picture, const picture_fit &fit, bool with_bars);

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
// it (posix/, x11/ and wayland/ on Linux, web/ in a browser).

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
// call before connecting (and again before the window is made), the second
// after, saying whether an X display was connected.
constexpr unsigned display_answer_seconds = 10;
void watch_display_start();
void watch_display(bool connected);

// A display that says no before SDL connects to it: a Wayland compositor
// that offers no seat (SDL would crash there). False, with the reason.
bool display_can_take_the_show(const char *video_driver, std::string &why);

// From now on an X error about the show's window ends the show as a lost
// display; errors about anything else, a probe's say, are passed over.
void watch_window(SDL_Window *window);

// True once the connection to the window's display has broken where SDL
// does not say so itself (it takes a Wayland compositor that ended for a
// request to quit).
bool display_connection_broken(SDL_Window *window);

// Ends the show at once as a lost display: one line on stderr, `why` after
// the program's name, and status 1.
[[noreturn]] void leave_lost_display(const char *why);

// The system's message box, shown until the viewer closes it; false when
// there is none to show.
bool show_message_box(const char *text);

// Runs `probe` in a process of its own, before the show connects to
// anything, so that a library crashing in it cannot take the show along.
// The probe writes its finding to the descriptor it is given.
void start_probe(void (*probe)(int out));
// What the probe wrote, once it ended; false when it crashed, was killed, or
// did not end within display_answer_seconds.
bool probe_finding(std::string &said);

// The system's own buffers on the window's surface, for a window whose
// driver has no pixels of its own (wayland/). False when there are none.
bool open_window_buffers(SDL_Window *window);
// A buffer of w x h to fill, and its number (0 to window_buffer_count - 1,
// each keeping what was last drawn into it); NULL while the display still
// holds every buffer.
constexpr int window_buffer_count = 3;
SDL_Surface *next_window_buffer(int w, int h, int &number);
// Shows the buffer last handed out; only `changed` differs from before.
void show_window_buffer(const SDL_Rect &changed);
void close_window_buffers();

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
