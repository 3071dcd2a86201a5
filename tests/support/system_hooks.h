// Seams in the library's system driver for headless tests (after
// start_headless): a keyboard that works without X, and a watch on the
// bitmaps the code under test makes and destroys.
#pragma once

#include <allegro.h>

#include <vector>

// Installs the library's keyboard with a stand-in driver, so the keyboard
// buffer works (simulate_keypress, keypressed, readkey). No key is ever
// pressed by it: key[] and the buffer are the test's to fill.
// (Under SYSTEM_NONE install_keyboard alone fails: there is no driver.)
// Returns whether the library took it.
bool install_stand_in_keyboard();

// From now on, records every bitmap made by create_bitmap and every bitmap
// (sub-bitmaps included) given to destroy_bitmap, emptying both lists first.
// The call of create_bitmap numbered failing_creation (from 1; 0: none)
// fails as an allocator does, with ENOMEM; creations_asked counts them all.
void watch_bitmaps(int failing_creation = 0);
extern int creations_asked;
struct made_bitmap {
  BITMAP *bmp;
  int w, h;  // kept here, as the bitmap may be gone when they are checked
};
extern std::vector<made_bitmap> bitmaps_made;
extern std::vector<BITMAP *> bitmaps_destroyed;
