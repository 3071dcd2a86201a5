// Free flight on a real X server with pacing off: how many whole frames a
// second the show can draw and copy to the X11 screen.
#include <benchmark/benchmark.h>

#include <unistd.h>

#include <cstdio>
#include <cstdlib>

#include "field/points.h"
#include "platform/platform.h"
#include "show/assets.h"
#include "show/flight.h"
#include "show/pages.h"

namespace {

// The loop's own frame: drawing, and the flip's copy to the X11 screen.
void flight_frame_on_x11(benchmark::State &state)
{
  int flight_frame = 4984;
  for (auto _ : state)
    run_flight_frame(flight_frame);
  state.counters["frames_per_second"] =
      benchmark::Counter(double(state.iterations()), benchmark::Counter::kIsRate);
  state.SetLabel(gfx_driver->name);
}

// The flip's copy alone: a full-screen memory page to the X11 screen.
void page_copy_to_x11(benchmark::State &state)
{
  for (auto _ : state)
    blit(flip_pages[0], screen, 0, 0, 0, 0, SCREEN_W, SCREEN_H);
}

}  // namespace

int main(int argc, char **argv)
{
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv))
    return 1;
  if (!std::getenv("DISPLAY")) {
    std::fprintf(stderr, "No X display (try xvfb-run -a -s \"-screen 0 1024x768x16\")\n");
    return 1;
  }
  if (chdir(SOURCE_DIR) != 0 || !start_display() || !load_assets())
    return 1;
  pacing_enabled = false;
  populate_field();

  for (auto *b : {benchmark::RegisterBenchmark("x11/flight_frame", flight_frame_on_x11),
                  benchmark::RegisterBenchmark("x11/page_copy", page_copy_to_x11)})
    b->Unit(benchmark::kMicrosecond)->UseRealTime();
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
