// A display-less stand-in for the recorder and the tests: the library starts
// without a window, its keyboard never reports anything (key[] and the
// keyboard buffer are the caller's to fill), there is no sound, and the
// screen is a memory bitmap of the size the mode asks for.
#pragma once

// Called before start_system(): the library then starts on these drivers.
void use_offscreen_drivers();

// Starts the library on the stand-in, if it is not started yet, and sets a
// w x h 16-bit mode in the 5-6-5 layout of a real display. False when it cannot.
bool set_offscreen_mode(int w, int h);
