// libFuzzer target: any bytes, as an image file and as the music file,
// through the checks and loads the show makes at start-up. A crash, an
// overflow, a huge allocation, or a file the checks pass that then does not
// load whole is a finding. Built and run by scripts/fuzz.sh.
#include <allegro.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "asset_trial.h"

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
  install_allegro(SYSTEM_NONE, &errno, atexit);
  set_color_depth(16);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
  asset_trial trial = try_asset_bytes(data, size);
  if (!trial.broken.empty()) {
    fprintf(stderr, "asset trial broken: %s\n", trial.broken.c_str());
    abort();
  }
  return 0;
}
