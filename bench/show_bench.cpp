// What one frame of each scene costs, on memory bitmaps behind the tests'
// stand-in display, with no pacing. Pages are memory bitmaps here as on X11.
// Every figure is also given as a multiple of the floor: a bare full-screen
// copy between two memory bitmaps, measured in the same run.
//
// Showing a page is the display's share of a frame: on X11 a full-screen
// copy to the screen, with a hardware flip no copy at all. Frames are timed
// both ways, screen_copy:1 and screen_copy:0; for the second the screen is a
// 1x1 bitmap during the timed loop, so the copy clips to nothing.
#include <benchmark/benchmark.h>

#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "field/points.h"
#include "field/renderer.h"
#include "headless.h"
#include "scenes/crawl.h"
#include "scenes/logo.h"
#include "show/assets.h"
#include "show/flight.h"
#include "show/pages.h"
#include "show/sequence.h"

namespace {

constexpr char floor_name[] = "floor/full_screen_blit";
constexpr char ratio_counter[] = "x_floor";

// --- The floor

void full_screen_blit(benchmark::State &state)
{
  BITMAP *from = backdrop_canvas;
  BITMAP *to = flip_pages[0];
  for (auto _ : state)
    blit(from, to, 0, 0, 0, 0, SCREEN_W, SCREEN_H);
}

// The same copy round the show's five pages (7.5 MB), so that, as in a frame,
// the bitmaps copied are not the ones copied just before.
void full_screen_blit_round_pages(benchmark::State &state)
{
  const std::array<BITMAP *, 5> pages = {reserve_pages[0], reserve_pages[1], background_page,
                                         flip_pages[0], flip_pages[1]};
  size_t from = 0;
  for (auto _ : state) {
    const size_t to = (from + 1) % pages.size();
    blit(pages[from], pages[to], 0, 0, 0, 0, SCREEN_W, SCREEN_H);
    from = to;
  }
}

void full_screen_clear(benchmark::State &state)
{
  for (auto _ : state)
    clear_bitmap(flip_pages[0]);
}

void set_screen_copy(int64_t on)
{
  // The first call finds the stand-in's own screen.
  static BITMAP *const full_screen = screen;
  static BITMAP *const tiny_screen = create_bitmap(1, 1);
  screen = on ? full_screen : tiny_screen;
}

// --- The star field and free flight

void field_alone(benchmark::State &state)
{
  BITMAP *page = flip_pages[0];
  clear_bitmap(page);
  for (auto _ : state)
    draw_field(page);
}

// The loop's own frame, with the roll at its full rate: clear, roll, field, flip.
void flight_frame(benchmark::State &state)
{
  int flight_frame = 4984;
  set_screen_copy(state.range(0));
  for (auto _ : state)
    run_flight_frame(flight_frame);
  set_screen_copy(1);
}

// --- The logo scene

constexpr int logo_area_x = 190;
constexpr int logo_area_y = 250;

// Frame state.range(0) of the scene, set up as the scene sets itself up.
void logo_frame(benchmark::State &state)
{
  const logo_scratch scratch = {create_bitmap(logo_width, logo_height),
                                create_bitmap(logo_width, logo_height),
                                create_bitmap(logo_width, logo_height)};
  BITMAP *page = flip_pages[back_page_index];
  clear_bitmap(page);
  draw_field(page);
  blit(page, background_page, 0, 0, 0, 0, SCREEN_W, SCREEN_H);
  blit(page, scratch.backdrop, logo_area_x, logo_area_y, 0, 0, logo_width, logo_height);
  clear_bitmap(scratch.layer);
  const int black = makecol16(0, 0, 0);

  logo_motion before{};
  while (before.logo_frame < state.range(0) - 1)
    run_logo_frame(before, scratch, black);
  set_screen_copy(state.range(1));
  for (auto _ : state) {
    logo_motion motion = before;
    run_logo_frame(motion, scratch, black);
  }
  set_screen_copy(1);
  destroy_bitmap(scratch.backdrop);
  destroy_bitmap(scratch.layer);
  destroy_bitmap(scratch.composite);
}

// --- The text crawl

// Iteration state.range(0) of the scene, after all the ones before it.
void crawl_iteration(benchmark::State &state)
{
  const int iteration = int(state.range(0));
  start_crawl();
  for (int i = 1; i < iteration; i++)
    run_crawl_iteration(i);
  std::array<crawl_panel, panel_count> before;
  std::copy(std::begin(crawl_panels), std::end(crawl_panels), before.begin());
  set_screen_copy(state.range(1));
  for (auto _ : state) {
    std::copy(before.begin(), before.end(), std::begin(crawl_panels));
    run_crawl_iteration(iteration);
  }
  set_screen_copy(1);
}

// --- Start-up

void six_images_loaded(benchmark::State &state)
{
  constexpr std::array<const char *, 6> files = {"star2.tga",  "logo.tga",   "txt1_2.tga",
                                                 "txt2_2.tga", "txt3_3.tga", "dawno.tga"};
  std::array<BITMAP *, 6> images;
  for (auto _ : state) {
    for (size_t i = 0; i < files.size(); i++)
      images[i] = load_tga((std::string("dat/") + files[i]).c_str(), nullptr);
    state.PauseTiming();
    for (BITMAP *image : images) {
      if (!image) {
        state.SkipWithError("an image did not load");
        return;
      }
      destroy_bitmap(image);
    }
    state.ResumeTiming();
  }
}

void drop_assets()
{
  for (int k = 0; k < panel_count; k++) {
    destroy_bitmap(panel_slanted[k]);
    destroy_bitmap(panel_squashed[k]);
    destroy_bitmap(text_panels[k]);
  }
  for (BITMAP *sprite : star_sprites)
    destroy_bitmap(sprite);
  for (BITMAP *bmp : {backdrop_canvas, star_strip, logo_image, title_image, frame_canvas})
    destroy_bitmap(bmp);
  destroy_sample(music);
}

// The whole of start-up's loading. Without a sound driver here, the music
// is read but no sound system starts. Each run's assets replace the last.
void all_assets_loaded(benchmark::State &state)
{
  for (auto _ : state) {
    state.PauseTiming();
    drop_assets();
    state.ResumeTiming();
    if (!load_assets())
      state.SkipWithError("load_assets failed");
  }
}

// The console table with one more column: each CPU time over the floor's,
// taken from the floor's run of the same kind (a single run, or the same
// statistic over repetitions). CPU time, as the machine may be shared.
class floor_ratio_reporter : public benchmark::ConsoleReporter {
 public:
  floor_ratio_reporter()
      : ConsoleReporter(isatty(STDOUT_FILENO) ? OO_Color : OO_None) {}

  void ReportRuns(const std::vector<Run> &runs) override
  {
    std::vector<Run> with_ratio = runs;
    for (Run &run : with_ratio) {
      // A spread is no time to compare.
      if (run.aggregate_name == "stddev" || run.aggregate_name == "cv")
        continue;
      if (run.run_name.function_name == floor_name)
        floor_us[run.aggregate_name] = run.GetAdjustedCPUTime();
      if (auto floor = floor_us.find(run.aggregate_name); floor != floor_us.end())
        run.counters[ratio_counter] = run.GetAdjustedCPUTime() / floor->second;
    }
    ConsoleReporter::ReportRuns(with_ratio);
  }

 private:
  std::map<std::string, double> floor_us;
};

void register_all()
{
  // With --benchmark_repetitions, the fastest repetition is the one least
  // disturbed by whatever else the machine runs.
  auto add = [](const char *name, void (*run)(benchmark::State &)) {
    return benchmark::RegisterBenchmark(name, run)
        ->Unit(benchmark::kMicrosecond)
        ->ComputeStatistics("min", [](const std::vector<double> &v) {
          return *std::min_element(v.begin(), v.end());
        });
  };
  add(floor_name, full_screen_blit);
  add("floor/full_screen_blit_round_pages", full_screen_blit_round_pages);
  add("floor/full_screen_clear", full_screen_clear);
  add("field/draw_field", field_alone);
  add("flight/frame", flight_frame)->ArgName("screen_copy")->Arg(1)->Arg(0);
  // 1: full size; 2: the largest that is shrunk; 170: faded.
  add("logo/frame", logo_frame)->ArgNames({"frame", "screen_copy"})->ArgsProduct({{1, 2, 170}, {1, 0}});
  // Odd iterations compose and show nothing. 10 and 11: no panel yet; 800 and
  // 801: all three on screen.
  add("crawl/iteration", crawl_iteration)
      ->ArgNames({"iteration", "screen_copy"})
      ->Args({10, 1})
      ->Args({10, 0})
      ->Args({11, 1})
      ->Args({800, 1})
      ->Args({800, 0})
      ->Args({801, 1});
  add("startup/six_images", six_images_loaded);
  add("startup/load_assets", all_assets_loaded);
}

}  // namespace

int main(int argc, char **argv)
{
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv))
    return 1;

  start_headless();
  create_headless_pages();
  if (chdir(SOURCE_DIR) != 0 || !load_assets()) {
    std::fprintf(stderr, "Cannot load the show's assets from %s/dat\n", SOURCE_DIR);
    return 1;
  }
  populate_field();
  crawl_centre_x = SCREEN_W / 2;

  register_all();
  floor_ratio_reporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  return 0;
}
