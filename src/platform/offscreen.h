// A display-less stand-in for the library's drivers, used by the recorder and
// the tests: the system without a display, a keyboard and a timer that never
// report anything (key[] and the keyboard buffer are the caller's to fill),
// and a memory bitmap as the screen behind a driver that reports its size.
#pragma once

// After install_allegro(SYSTEM_NONE, ...): gives the system the keyboard,
// timer and locks it lacks, so that install_keyboard succeeds.
void offer_offscreen_drivers();

// Makes a w x h memory bitmap the screen, in the 5-6-5 layout X11 gives a
// 16-bit display; 0 x 0 only drops the old screen. False when no bitmap.
bool set_offscreen_mode(int w, int h);
