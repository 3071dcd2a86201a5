// The thin layer between the show and the operating system's display.
// Everything that depends on what the graphics driver can or cannot do
// (page flipping, retrace waits, path separators) is decided here, so the
// show code above it makes the same calls on every system.
#pragma once

#include <allegro.h>

#include <cstdint>

// Sets 1024x768 full screen, falling back to a 1024x768 window.
// Returns false when neither mode can be set.
bool set_show_mode();

// Decides, from what the active driver offers, whether pages are video
// bitmaps shown by flipping or memory bitmaps copied to the screen.
// Called once after the mode is set, before any page is requested.
void choose_page_kind();

// True when pages are video bitmaps shown by the driver's own flip.
bool pages_flip_in_hardware();

// One full-screen page (SCREEN_W x SCREEN_H) of the kind chosen above, or NULL.
BITMAP *create_page();

// A small bitmap for sprites: video memory where the driver has it, else memory.
BITMAP *create_sprite_bitmap(int width, int height);

// Makes the page the one the viewer sees, then waits for the next refresh.
void show_page(BITMAP *page);

// Waits for the next display refresh.
void wait_retrace();

// "dat/<name>" with this system's separator, in a buffer the caller owns.
void asset_path(const char *name, char *out, int out_size);

// Pacing of page shows and retrace waits to absolute deadlines.
// A frame that comes late starts a new schedule instead of making the
// following frames rush to catch up.
struct frame_pacer {
  int64_t period_ns;
  int64_t next_deadline_ns;  // 0 before the first refresh
};

// The time to sleep before the refresh that happens at `now_ns`, and the
// pacer moved on to the deadline after it.
int64_t pace_refresh(frame_pacer &pacer, int64_t now_ns);

// Refresh period of the active display: its reported rate, else 60 Hz.
int64_t display_period_ns();

// Test and recording seams.
extern bool pacing_enabled;          // false: never sleep
extern int64_t pages_shown;          // count of show_page calls
extern int64_t retrace_waits;        // count of wait_retrace calls
// Called after every page shown and every retrace wait, with the bitmap the
// viewer sees at that moment (the screen, or the page just flipped to).
extern void (*refresh_observer)(BITMAP *visible);
// Replaces how pages are made (for tests that need a page to be missing).
extern BITMAP *(*page_maker)();

// Signals from outside. The library's own handlers for these shut it down
// from inside the handler, under a frame being drawn; the show's only note
// the request, and each scene ends at its next Escape test instead.
#include <csignal>

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

// True once the show has been asked to end from outside.
bool stop_requested();
