// The thin layer between the show and the system it runs on: the one
// interface the show, the scenes and the field use. The show makes the
// library's own calls (set_gfx_mode, create_video_bitmap, show_video_bitmap,
// vsync, install_keyboard, install_sound); the drivers that answer them live
// in this folder's subfolders, one for each system: sdl/ (a window of SDL2's
// that presents the pages scaled to any screen, its keyboard and its sound),
// posix/ and x11/ (Linux's services and its X display), windows/ (the
// library's own DirectX drivers), and offscreen/ (the display-less stand-in
// of the recorder and the tests).
#pragma once

#include <allegro.h>

#include <csignal>
#include <cstdint>
#include <cstdio>
#include <string>

// The show's name, as its window's title gives it.
constexpr char show_name[] = "STARLOOM";

// The installed program's name, which its usage, its --version, its window's
// class and every line it prints on its own give wherever it was started
// from: the show's, "starloom", unless the program is another (the recorder).
extern const char *program_name;

// Starts the library on this system's drivers (the display-less ones once
// use_offscreen_drivers() was called). False, with one line on stderr, when
// there is no display to show on.
bool start_system();

// Sets the 1024x768 16-bit picture: full screen at the desktop's resolution,
// or a window when start_windowed is set. Returns false when it cannot.
bool set_show_mode();

// Starts the library's sound: the system's device, or where there is none,
// silence, so the show plays without music. Non-zero when neither starts.
int start_show_sound();

// True: the show opens in an ordinary window rather than full screen.
extern bool start_windowed;

// One full-screen video page (SCREEN_W x SCREEN_H), or NULL.
BITMAP *create_page();

// A small bitmap for sprites: video memory where the driver has it, else memory.
BITMAP *create_sprite_bitmap(int width, int height);

// Shows the page (it stays the screen until the next one), on the show's clock.
void show_page(BITMAP *page);

// Waits for the next tick of the show's clock, showing the screen.
void wait_retrace();

// True once the viewer closed the show's window: the show then ends as if
// Escape were held.
bool window_close_requested();

// Where asset `name` is: "dat/<name>" when the working directory has a folder
// dat, as it always has; else in the first folder that exists beside the
// executable: <exe dir>/../share/starloom/dat (installed), <exe dir>/dat
// (a program in a build tree, which links it to the repository's). "" when there is none, with every folder
// looked in, "a, b or c", in `looked_in`.
std::string asset_path(const char *name, std::string &looked_in);

// Opens `name` for writing as a new file, made this moment. A plain file
// left under the name is removed first; anything else there (a link, a pipe,
// a folder) is left alone, and the result is NULL.
FILE *create_new_file(const char *name);

// Puts the file `from` in the place of `to`, replacing what was there. False
// when it cannot; `from` is then still there.
bool replace_file(const char *from, const char *to);

// Tells the user why the show cannot start (printf format): on a terminal,
// there alone, after the program's name, and the show then ends at once;
// else in the library's message box, where nobody reads stderr, and on
// stderr too where it is a file.
void startup_message(const char *format, ...) __attribute__((format(printf, 1, 2)));

// The show's clock: 60 ticks a second on absolute deadlines, whatever the
// display's own refresh rate, so every scene lasts the same everywhere.
constexpr int64_t show_tick_ns = 1'000'000'000 / 60;

// A frame that comes late starts a new schedule instead of making the
// following frames rush to catch up.
struct frame_pacer {
  int64_t period_ns;
  int64_t next_deadline_ns;  // 0 before the first tick
};

// The time to sleep before the tick that happens at `now_ns`, and the pacer
// moved on to the deadline after it.
int64_t pace_refresh(frame_pacer &pacer, int64_t now_ns);

// Sleeps until the show clock's next tick (not at all when pacing is off).
void wait_for_show_tick();

// Signals from outside. The library's own handlers for these shut it down
// from inside the handler, under a frame being drawn; the show's only note
// the request, and each scene ends at its next Escape test instead.

// The number of the signal that asked the show to end; 0 while none has.
extern volatile sig_atomic_t stop_signal;

// Before the library starts: notes which of SIGINT, SIGTERM, SIGHUP and
// SIGQUIT the show was started with ignored, and holds the others back until
// catch_stop_signals, so that none reaches the library's handlers.
void hold_stop_signals();

// Right after the library has started (and again after it closed): installs
// the show's handlers for SIGINT, SIGTERM, SIGHUP and SIGQUIT, leaving those
// ignored at start ignored, ignores SIGXFSZ, and lets held signals in.
void catch_stop_signals();

// True once the show has been asked to end from outside: by a signal, or by
// the viewer closing its window.
bool stop_requested();

// ---------------------------------------------------------------------------
// Seams for the tests, the recorder and the benchmarks only: the show itself
// never sets them, and they cost nothing while unset.

// false: the show's clock never sleeps, so frames come as fast as they draw.
extern bool pacing_enabled;
// Counts of show_page calls, of wait_retrace calls, and of pages the driver
// refused to show.
extern int64_t pages_shown;
extern int64_t retrace_waits;
extern int64_t flips_failed;
// Called after every page shown and every retrace wait, with the screen,
// which then holds what the viewer sees.
extern void (*refresh_observer)(BITMAP *visible);
// Replaces how pages are made (for tests that need a page to be missing).
extern BITMAP *(*page_maker)();
