#include "record/offscreen.h"

#include <allegro.h>

#include <string>
#include <utility>
#include <vector>

void (*sample_started)(const char *path, bool loop) = nullptr;

static std::vector<std::pair<const SAMPLE *, std::string>> sample_files;

extern "C" {

SAMPLE *__real_load_sample(const char *filename);
int __real_play_sample(const SAMPLE *spl, int vol, int pan, int freq, int loop);

SAMPLE *__wrap_load_sample(const char *filename)
{
  SAMPLE *spl = __real_load_sample(filename);
  if (spl)
    sample_files.emplace_back(spl, filename);
  return spl;
}

int __wrap_play_sample(const SAMPLE *spl, int vol, int pan, int freq, int loop)
{
  if (sample_started) {
    const char *path = "";
    for (const auto &[loaded, file] : sample_files)
      if (loaded == spl)
        path = file.c_str();
    sample_started(path, loop != 0);
  }
  return __real_play_sample(spl, vol, pan, freq, loop);
}
}
