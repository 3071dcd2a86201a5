#include "system_hooks.h"

#include <cerrno>

std::vector<made_bitmap> bitmaps_made;
std::vector<BITMAP *> bitmaps_destroyed;
int creations_asked;
static int creation_to_fail;

bool install_stand_in_keyboard()
{
  return install_keyboard() == 0;
}

// The library hands every creation to this hook when it is set; unset for
// the moment, the library makes the bitmap itself.
static BITMAP *watched_create(int depth, int w, int h)
{
  if (++creations_asked == creation_to_fail) {
    errno = ENOMEM;
    return nullptr;
  }
  auto hook = system_driver->create_bitmap;
  system_driver->create_bitmap = nullptr;
  BITMAP *bmp = create_bitmap_ex(depth, w, h);
  system_driver->create_bitmap = hook;
  if (bmp)
    bitmaps_made.push_back({bmp, w, h});
  return bmp;
}

// Returning FALSE lets the library go on and free the bitmap.
static int watched_destroy(BITMAP *bmp)
{
  bitmaps_destroyed.push_back(bmp);
  return FALSE;
}

void watch_bitmaps(int failing_creation)
{
  bitmaps_made.clear();
  bitmaps_destroyed.clear();
  creations_asked = 0;
  creation_to_fail = failing_creation;
  system_driver->create_bitmap = watched_create;
  system_driver->destroy_bitmap = watched_destroy;
}
