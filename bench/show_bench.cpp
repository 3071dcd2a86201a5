// What every shown frame of each scene costs, on memory bitmaps behind the
// tests' stand-in display, with the real dat/ pictures and no pacing, as a
// multiple of the floor: one full-screen 1024x768x16 copy between two memory
// bitmaps, measured in the same run and in the same way.
//
// A frame's own work is everything between two presents except the copy
// that presents it: the stand-in screen is 1x1 while the scenes run, so
// show_page's copy to it clips to nothing, and the crawl's copy of its
// canvas into the page is timed apart. Each scene runs whole, several
// times; each frame keeps its fastest run, and the figures are the median
// and the maximum over all frames.
//
// Warm: frames follow each other at once, as in an unpaced run. Cold: the
// caches are flushed before every frame (and before every floor copy), as
// the paced show meets them after its sleep until the next refresh.
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "field/points.h"
#include "headless.h"
#include "platform/platform.h"
#include "scenes/crawl.h"
#include "scenes/logo.h"
#include "show/assets.h"
#include "show/flight.h"
#include "show/pages.h"
#include "show/sequence.h"

namespace {

constexpr int crawl_iterations = 2651;
constexpr int flight_frames = 600;
constexpr int floor_copies = 200;

bool cold;

int64_t cpu_ns()
{
  timespec t;
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return int64_t(t.tv_sec) * 1'000'000'000 + t.tv_nsec;
}

// Twice the last-level cache of the machines measured, written through.
std::vector<uint64_t> flush_area(8 << 20);

void flush_caches()
{
  for (uint64_t &w : flush_area)
    w++;
}

// Called where a frame's work begins: flushes when cold, then starts the clock.
int64_t frame_begins()
{
  if (cold)
    flush_caches();
  return cpu_ns();
}

// Per frame, the fastest of the runs so far.
using frame_times = std::vector<int64_t>;

void keep_fastest(frame_times &best, const frame_times &run)
{
  if (best.empty()) {
    best = run;
    return;
  }
  for (size_t i = 0; i < std::min(best.size(), run.size()); i++)
    best[i] = std::min(best[i], run[i]);
}

frame_times floor_copies_timed()
{
  frame_times t;
  for (int i = 0; i < floor_copies; i++) {
    const int64_t start = frame_begins();
    blit(backdrop_canvas, flip_pages[0], 0, 0, 0, 0, SCREEN_W, SCREEN_H);
    t.push_back(cpu_ns() - start);
  }
  return t;
}

// Times between presents, through the platform's observer.
frame_times between_presents;
int64_t last_present;
int presents_wanted;

void note_present(BITMAP *)
{
  between_presents.push_back(cpu_ns() - last_present);
  key[KEY_ESC] = int(between_presents.size()) >= presents_wanted;
  last_present = frame_begins();
}

frame_times presents_of(void (*scene)(), int wanted)
{
  between_presents.clear();
  presents_wanted = wanted;
  key[KEY_ESC] = 0;
  refresh_observer = note_present;
  last_present = frame_begins();
  scene();
  refresh_observer = nullptr;
  key[KEY_ESC] = 0;
  return between_presents;
}

frame_times logo_frames()
{
  return presents_of(logo_scene, 1 << 30);
}

frame_times flight_frames_timed()
{
  return presents_of(free_flight_loop, flight_frames);
}

// The crawl's shown frames: own work (the show iteration's panel steps and
// the compose iteration after it) and, apart, the copy of the canvas into
// the page that presents the frame.
frame_times crawl_copies;
int64_t crawl_copy_start;

void note_crawl_present(BITMAP *)
{
  crawl_copies.push_back(cpu_ns() - crawl_copy_start);
  last_present = frame_begins();
}

frame_times crawl_frames()
{
  frame_times work;
  crawl_copies.clear();
  refresh_observer = note_crawl_present;
  last_present = frame_begins();
  start_crawl();
  for (int i = 1; i <= crawl_iterations; i++) {
    if (i % 2 == 0) {
      crawl_copy_start = cpu_ns();
      work.push_back(crawl_copy_start - last_present);
    }
    run_crawl_iteration(i);
  }
  refresh_observer = nullptr;
  return work;
}

struct figure {
  std::string name;
  frame_times best;
  int first_frame = 1;  // the number of best[0]
};

void print(const figure &f, double floor_us)
{
  std::vector<int64_t> sorted = f.best;
  std::sort(sorted.begin(), sorted.end());
  const double median = sorted[sorted.size() / 2] / 1000.0;
  const double max = sorted.back() / 1000.0;
  const size_t at_max = size_t(std::max_element(f.best.begin(), f.best.end()) - f.best.begin());
  std::printf("%-44s %6zu %10.1f %10.1f %8.2f %8.2f %8zu\n", f.name.c_str(), sorted.size(), median,
              max, median / floor_us, max / floor_us, at_max + size_t(f.first_frame));
}

double median_us(frame_times t)
{
  std::sort(t.begin(), t.end());
  return t[t.size() / 2] / 1000.0;
}

// Per frame and figure, for a closer look: "figure,frame,ns".
FILE *csv;

void write_csv(const figure &f)
{
  if (!csv)
    return;
  for (size_t i = 0; i < f.best.size(); i++)
    std::fprintf(csv, "%s %s,%zu,%lld\n", cold ? "cold" : "warm", f.name.c_str(),
                 i + size_t(f.first_frame), static_cast<long long>(f.best[i]));
}

void run_all(int runs)
{
  // The stand-in's own screen, kept for the floor's pages and swapped for
  // a 1x1 one while the scenes present.
  BITMAP *const full_screen = screen;
  BITMAP *const tiny_screen = create_bitmap(1, 1);

  figure floor{"floor, full-screen copy", {}};
  figure logo{"logo", {}}, crawl{"crawl, own work", {}};
  figure crawl_shown{"crawl, with the copy", {}};
  figure crawl_copy{"crawl, the copy alone", {}};
  figure flight{"free flight", {}};
  for (int run = 0; run < runs; run++) {
    keep_fastest(floor.best, floor_copies_timed());
    screen = tiny_screen;
    keep_fastest(logo.best, logo_frames());
    const frame_times work = crawl_frames();
    frame_times shown = work;
    for (size_t i = 0; i < shown.size(); i++)
      shown[i] += crawl_copies[i];
    keep_fastest(crawl.best, work);
    keep_fastest(crawl_copy.best, crawl_copies);
    keep_fastest(crawl_shown.best, shown);
    keep_fastest(flight.best, flight_frames_timed());
    screen = full_screen;
  }
  const double floor_us = median_us(floor.best);
  std::printf("\n%s: %d runs, the fastest of them per frame; x = over the floor's median\n",
              cold ? "COLD (caches flushed before every frame)" : "WARM", runs);
  std::printf("%-44s %6s %10s %10s %8s %8s %8s\n", "figure", "frames", "median_us", "max_us",
              "median_x", "max_x", "at_frame");
  print(floor, floor_us);
  // The first frame of a scene also carries the scene's entry: shown apart.
  for (figure *f : {&logo, &crawl, &crawl_shown, &crawl_copy, &flight}) {
    write_csv(*f);
    print({f->name + ", frame 1 and entry", {f->best.front()}}, floor_us);
    print({f->name + ", frames 2-" + std::to_string(f->best.size()),
           frame_times(f->best.begin() + 1, f->best.end()), 2},
          floor_us);
  }
}

}  // namespace

int main(int argc, char **argv)
{
  int runs = 3;
  bool warm_wanted = true, cold_wanted = true;
  for (int i = 1; i < argc; i++) {
    const std::string option = argv[i];
    if (option == "--runs" && i + 1 < argc)
      runs = std::max(1, std::atoi(argv[++i]));
    else if (option == "--warm")
      cold_wanted = false;
    else if (option == "--cold")
      warm_wanted = false;
    else if (option == "--csv" && i + 1 < argc)
      csv = std::fopen(argv[++i], "w");
    else {
      std::fprintf(stderr, "Usage: show_bench [--runs N] [--warm | --cold] [--csv FILE]\n");
      return 2;
    }
  }

  start_headless();
  create_headless_pages();
  if (chdir(SOURCE_DIR) != 0 || !load_assets()) {
    std::fprintf(stderr, "Cannot load the show's assets from %s/dat\n", SOURCE_DIR);
    return 1;
  }
  populate_field();
  crawl_centre_x = SCREEN_W / 2;

  if (warm_wanted) {
    cold = false;
    run_all(runs);
  }
  if (cold_wanted) {
    cold = true;
    run_all(runs);
  }
  if (csv)
    std::fclose(csv);
  return 0;
}
