// show-record: plays the show without a display, as fast as it can draw, and
// records every picture the viewer would see to a video with the music, or
// to numbered PNG files.
#include <allegro.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#include "platform/offscreen/offscreen.h"
#include "platform/platform.h"
#include "record/encoder.h"
#include "record/keys_script.h"
#include "record/offscreen.h"
#include "show/sequence.h"

static constexpr char synopsis[] = "show-record [--keys SCRIPT] [--output FILE] [--frames DIR] [--help]";
static constexpr char usage[] =  // a printf format
    "Usage: %s\n"
    "\n"
    "Plays the show without a display and records every picture it shows, at 60\n"
    "frames a second, with the music from the moment the show starts it. Finds\n"
    "dat/ as the show does; needs ffmpeg.\n"
    "\n"
    "  --keys SCRIPT  key events at frame numbers, separated by commas:\n"
    "                   N:c          type the letter or digit c\n"
    "                   N:hold K     hold key K (a letter, a digit, SPACE or ESC)\n"
    "                   N:release K  let go of key K\n"
    "                   N:ESC        hold Escape: ends the show\n"
    "                 Frames count from 1; an event at frame N acts after that\n"
    "                 frame. Without keys free flight begins at frame %lld.\n"
    "                 The script must end the show (Escape or Space left held).\n"
    "                 Default: \"%s\", the whole show and %lld s of free flight.\n"
    "  --output FILE  the video, in the format its name says (default show.mkv)\n"
    "  --frames DIR   also, or with no --output instead, write DIR/000001.png...\n"
    "  --help         this text\n";

static encoder_plan plan;
static std::vector<key_event> events;
static size_t next_event;
static int64_t frames_done;
static int64_t frames_expected;
static bool encoder_broken;
static music_track music;
static bool music_lost;
static int64_t music_frame = -1;
static std::chrono::steady_clock::time_point started_at;

static void apply_event(const key_event &event)
{
  if (event.action == key_action::type)
    simulate_keypress((event.scancode << 8) | event.ascii);
  else
    key[event.scancode] = event.action == key_action::hold;
}

static void report_progress()
{
  double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - started_at).count();
  fprintf(stderr, "\rframe %lld of %lld, %.0f fps ", static_cast<long long>(frames_done),
          static_cast<long long>(std::max(frames_expected, frames_done)),
          elapsed > 0 ? double(frames_done) / elapsed : 0.0);
}

// Every page shown and every retrace wait: one video frame, then the keys
// due at this frame, so the show sees them before it draws the next one.
static void record_frame(BITMAP *visible)
{
  frames_done++;
  if (frames_done == 1 && !start_encoder(plan, visible->w, visible->h)) {
    encoder_broken = true;
    fprintf(stderr, "show-record: cannot run ffmpeg; is it installed?\n");
  } else if (!encoder_broken && !send_frame(visible)) {
    encoder_broken = true;
    fprintf(stderr, "\nshow-record: ffmpeg takes no more frames; stopping the show\n");
  }
  // Escape and Space held end the show within a few frames.
  if (encoder_broken) {
    key[KEY_ESC] = 1;
    key[KEY_SPACE] = 1;
    return;
  }
  for (; next_event < events.size() && events[next_event].frame == frames_done; next_event++)
    apply_event(events[next_event]);
  if (frames_done % 30 == 0)
    report_progress();
}

// The video carries the very samples the show plays, whatever file layout
// they were read from.
static void note_music(const SAMPLE *sample, bool loop)
{
  if (music_frame >= 0)
    return;
  music_frame = frames_done;
  if (!plan.video.empty() && !write_music(sample, loop, music_draft(plan), music)) {
    music_lost = true;
    fprintf(stderr, "\nshow-record: cannot write the music beside %s\n", plan.video.c_str());
  }
}

// Reads the options into plan and the key events; false with a message when
// the command line is wrong.
static bool read_options(int argc, char **argv, bool &help)
{
  std::string script = default_keys_script;
  for (int i = 1; i < argc; i++) {
    std::string option = argv[i];
    if (option == "--help" || option == "-h") {
      help = true;
      return true;
    }
    if (option != "--keys" && option != "--output" && option != "--frames") {
      fprintf(stderr, "show-record: unknown option '%s'\nUsage: %s; --help explains them\n", argv[i],
              synopsis);
      return false;
    }
    if (i + 1 == argc) {
      fprintf(stderr, "show-record: %s needs a value\n", argv[i]);
      return false;
    }
    std::string value = argv[++i];
    if (option == "--keys")
      script = value;
    else if (option == "--output")
      plan.video = value;
    else
      plan.frames_dir = value;
  }
  if (plan.video.empty() && plan.frames_dir.empty())
    plan.video = "show.mkv";

  std::string error;
  auto parsed = parse_keys_script(script, error);
  if (!parsed) {
    fprintf(stderr, "show-record: %s\n", error.c_str());
    return false;
  }
  events = std::move(*parsed);
  frames_expected = ending_frame(events);
  if (frames_expected == 0) {
    fprintf(stderr, "show-record: the keys never end the show; end them with N:ESC\n");
    return false;
  }
  return true;
}

// Makes the final video from a whole draft, with the music if the show
// played it, and removes the draft.
static bool finish_video(bool draft_whole)
{
  bool muxed = draft_whole && !music_lost &&
               run_command(mux_command(plan, music, music_frame, frames_done));
  std::error_code ignored;
  std::filesystem::remove(video_draft(plan), ignored);
  std::filesystem::remove(music_draft(plan), ignored);
  return muxed;
}

int main(int argc, char **argv)
{
  bool help = false;
  if (!read_options(argc, argv, help))
    return 2;
  if (help) {
    printf(usage, synopsis, static_cast<long long>(free_flight_first_frame), default_keys_script,
           static_cast<long long>(default_flight_frames / video_rate));
    return 0;
  }
  std::error_code error;
  if (!plan.frames_dir.empty() && !std::filesystem::create_directories(plan.frames_dir, error) &&
      error) {
    fprintf(stderr, "show-record: cannot make %s: %s\n", plan.frames_dir.c_str(),
            error.message().c_str());
    return 1;
  }

  // A write to an ffmpeg that has gone must fail, not end the recorder.
  signal(SIGPIPE, SIG_IGN);
  program_name = "starloom-record";
  use_offscreen_drivers();
  refresh_observer = record_frame;
  sample_started = note_music;
  started_at = std::chrono::steady_clock::now();
  int show_status = run_show();
  refresh_observer = nullptr;
  if (frames_done > 0) {
    report_progress();
    fputc('\n', stderr);
  }
  // Start-up failed; a stop signal still ends the show normally, and what
  // it showed until then is kept.
  if (show_status == 1)
    return 1;

  bool recorded = finish_encoder() && !encoder_broken;
  if (!plan.video.empty())
    recorded = finish_video(recorded);
  if (!recorded) {
    fprintf(stderr, "show-record: ffmpeg failed; the recording is not complete\n");
    return 1;
  }
  fprintf(stderr, "%lld frames recorded", static_cast<long long>(frames_done));
  if (music_frame >= 0)
    fprintf(stderr, "; the music starts after frame %lld", static_cast<long long>(music_frame));
  fputc('\n', stderr);
  return show_status;
}
END_OF_MAIN()
