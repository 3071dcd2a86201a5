// The show's display on a real X server: what presenting a page costs (the
// upload, the scale to the screen and the present), free flight's whole
// frame unpaced, and, paced by the show's clock, the time between presents.
#include <benchmark/benchmark.h>

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "field/points.h"
#include "platform/platform.h"
#include "show/assets.h"
#include "show/flight.h"
#include "show/pages.h"

namespace {

void present_page(benchmark::State &state)
{
  pacing_enabled = false;
  for (auto _ : state)
    show_page(flip_pages[0]);
  state.SetLabel(gfx_driver->name);
}

void flight_frame(benchmark::State &state)
{
  pacing_enabled = false;
  int frame = 4984;
  for (auto _ : state)
    run_flight_frame(frame);
  state.counters["frames_per_second"] =
      benchmark::Counter(double(state.iterations()), benchmark::Counter::kIsRate);
}

// 600 presents on the show's clock: the median and the 99th percentile of the
// intervals between them, which should both be one tick (16.7 ms).
void paced_intervals(benchmark::State &state)
{
  pacing_enabled = true;
  static std::vector<double> intervals;
  static std::chrono::steady_clock::time_point last;
  refresh_observer = [](BITMAP *) {
    auto now = std::chrono::steady_clock::now();
    intervals.push_back(std::chrono::duration<double, std::milli>(now - last).count());
    last = now;
  };
  int frame = 4984;
  double seconds = 0;
  for (auto _ : state) {
    intervals.clear();
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < 601; i++)
      run_flight_frame(frame);
    seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  }
  refresh_observer = nullptr;
  state.counters["ticks_per_second"] = 601 / seconds;
  intervals.erase(intervals.begin());
  std::sort(intervals.begin(), intervals.end());
  state.counters["median_ms"] = intervals[intervals.size() / 2];
  state.counters["p99_ms"] = intervals[intervals.size() * 99 / 100];
  state.counters["max_ms"] = intervals.back();
}

}  // namespace

int main(int argc, char **argv)
{
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv))
    return 1;
  if (!std::getenv("DISPLAY") && !std::getenv("WAYLAND_DISPLAY")) {
    std::fprintf(stderr, "No display (try xvfb-run -a -s \"-screen 0 1920x1080x24\")\n");
    return 1;
  }
  if (chdir(SOURCE_DIR) != 0 || !start_display() || !load_assets())
    return 1;
  populate_field();

  benchmark::RegisterBenchmark("present/page", present_page)->Unit(benchmark::kMicrosecond);
  benchmark::RegisterBenchmark("present/flight_frame", flight_frame)->Unit(benchmark::kMicrosecond);
  benchmark::RegisterBenchmark("present/paced_intervals", paced_intervals)
      ->Iterations(1)
      ->Unit(benchmark::kMillisecond);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
