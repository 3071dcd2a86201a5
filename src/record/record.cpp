// The recorder: plays the show without a display, as fast as it can draw,
// and records every picture the viewer would see to a video with the music,
// or to numbered PNG files.
#include <allegro.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#include "platform/offscreen/offscreen.h"
#include "platform/platform.h"
#include "record/drafts.h"
#include "record/encoder.h"
#include "record/keys_script.h"
#include "record/offscreen.h"
#include "record/options.h"
#include "show/sequence.h"

static constexpr char synopsis[] =
    "[--keys SCRIPT] [--output FILE] [--frames DIR] [--scale N | --fit WxH]\n"
    "       [--lossless | --quality CRF] [--from F] [--to F] [--help] [--version]";
static constexpr char usage[] =  // a printf format
    "Usage: %s %s\n"
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
    "                 The script must end the show (Escape or Space left held)\n"
    "                 unless --to ends the recording. Default: \"%s\", the\n"
    "                 whole show and %lld s of free flight.\n"
    "  --output FILE  the video: FILE.mkv (Matroska, FLAC sound), .mp4 or .mov\n"
    "                 (AAC sound); default show.mkv. H.264 tagged BT.709, its\n"
    "                 colour 4:4:4, or 4:2:0 where the picture is at least\n"
    "                 twice its size\n"
    "  --frames DIR   also, or with no --output instead, DIR/000001.png...\n"
    "  --scale N      every pixel an N x N block, sharp (N from 1 to %d)\n"
    "  --fit WxH      the largest picture that fits WxH, centred on black: sharp\n"
    "                 at whole multiples, smooth between. 1080p, 1440p and 2160p\n"
    "                 stand for 1920x1080, 2560x1440 and 3840x2160\n"
    "  --lossless     FFV1 video and FLAC sound in Matroska: the show's very\n"
    "                 pixels and samples, for editing\n"
    "  --quality CRF  x264's constant rate factor, 0 (best) to 51 (default %d)\n"
    "  --from F       record from frame F on; the show still plays from its start\n"
    "  --to F         record up to frame F, then end the show\n"
    "  --version      the recorder's name and version\n"
    "  --help         this text\n"
    "\n"
    "Ctrl+C, SIGTERM or SIGHUP end the recording early: what was recorded is kept.\n";

// How often progress is told, in frames.
static constexpr int64_t progress_frames = 30;

// The installed name, which usage and messages give wherever it was started from.
static const std::string program = "starloom-record";
static record_options options;
static std::vector<key_event> events;
static size_t next_event;
static int64_t frames_shown;
static int64_t frames_recorded;
static int64_t last_to_record;  // the last frame the keys or --to let the show reach; 0 unknown
static bool encoder_started;
static bool recording_broken;
static bool recording_over;  // --to reached, or a stop signal came
static music_track music;
static bool music_started;
static std::chrono::steady_clock::time_point told_at;
static int64_t told_frame;
static bool progress_on_line;  // the progress line waits for its end

// Ends the progress line, for a message of its own.
static void end_progress_line()
{
  if (progress_on_line)
    fputc('\n', stderr);
  progress_on_line = false;
}

static void say(const std::string &message)
{
  end_progress_line();
  fprintf(stderr, "%s: %s\n", program.c_str(), message.c_str());
}

// What a failed recording says of the file under the output name.
static std::string untouched()
{
  return options.video.empty() ? "" : "; " + options.video + " is left as it was";
}

static void apply_event(const key_event &event)
{
  if (event.action == key_action::type)
    simulate_keypress((event.scancode << 8) | event.ascii);
  else
    key[event.scancode] = event.action == key_action::hold;
}

// Frames done, the frame rate since the last report, and the time left
// while the end is known.
static void report_progress()
{
  const auto now = std::chrono::steady_clock::now();
  const double seconds = std::chrono::duration<double>(now - told_at).count();
  const double rate = seconds > 0 ? double(frames_shown - told_frame) / seconds : 0.0;
  told_at = now;
  told_frame = frames_shown;
  char text[96];
  if (last_to_record >= frames_shown && rate > 0)
    snprintf(text, sizeof text, "frame %lld of %lld, %.0f fps, %.0f s left", (long long)frames_shown,
             (long long)last_to_record, rate, double(last_to_record - frames_shown) / rate);
  else
    snprintf(text, sizeof text, "frame %lld, %.0f fps", (long long)frames_shown, rate);
  fprintf(stderr, "\r%-48s", text);
  progress_on_line = true;
}

// At the first frame, once the picture's size is known: the draft folder,
// the conversion and ffmpeg.
static bool start_recording(BITMAP *visible)
{
  const picture_layout layout = layout_of(options, visible->w, visible->h);
  const pixel_format format = pipe_format(options, layout);
  std::string error;
  if (!options.video.empty() && !make_draft_folder(options.video, error)) {
    say(error + untouched());
    return false;
  }
  prepare_conversion(format, visible->w, visible->h, layout.scale);
  if (!start_encoder(encoder_command(options, layout, format, visible->w * layout.scale,
                                     visible->h * layout.scale, draft_file("video.nut")))) {
    say("cannot run ffmpeg (is it installed?)" + untouched());
    return false;
  }
  return true;
}

// Every page shown and every retrace wait: one video frame when it is in the
// range recorded, then the keys due at this frame, so the show sees them
// before it draws the next one.
static void record_frame(BITMAP *visible)
{
  frames_shown++;
  if (frames_shown == 1) {
    encoder_started = start_recording(visible);
    recording_broken = !encoder_started;
  }
  recording_over = recording_over || stop_signal != 0;
  if (!recording_broken && !recording_over && frames_shown >= options.first_frame) {
    if (send_frame(visible)) {
      frames_recorded++;
    } else {
      recording_broken = true;
      say("ffmpeg takes no more frames; stopping the show");
    }
  }
  recording_over = recording_over || frames_shown == options.last_frame;
  // Escape and Space held end the show within a few frames.
  if (recording_broken || recording_over) {
    key[KEY_ESC] = 1;
    key[KEY_SPACE] = 1;
    return;
  }
  for (; next_event < events.size() && events[next_event].frame == frames_shown; next_event++)
    apply_event(events[next_event]);
  if (frames_shown % progress_frames == 0)
    report_progress();
}

// The video carries the very samples the show plays, whatever file layout
// they were read from: copied now, as the show frees them before it ends.
static void note_music(const SAMPLE *sample, bool loop)
{
  if (music_started)
    return;
  music_started = true;
  music.bits = sample->bits;
  music.channels = sample->stereo ? 2 : 1;
  music.rate = sample->freq;
  music.loop = loop;
  music.start_frame = frames_shown;
  const auto *data = static_cast<const uint8_t *>(sample->data);
  music.data.assign(data, data + size_t(sample->len) * size_t(music.channels) * size_t(music.bits / 8));
}

// The options and the keys; false with a message when the command line is wrong.
static bool read_command_line(int argc, char **argv, option_outcome &outcome)
{
  options = default_options();
  std::string error;
  outcome = read_options(std::vector<std::string>(argv + 1, argv + argc), options, error);
  if (outcome == option_outcome::record) {
    auto parsed = parse_keys_script(options.keys, error);
    if (parsed)
      events = std::move(*parsed);
    else
      outcome = option_outcome::wrong;
  }
  if (outcome == option_outcome::wrong) {
    say(error + "\nUsage: " + program + " " + synopsis + "\n--help explains them");
    return false;
  }
  const int64_t ending = ending_frame(events);
  if (outcome == option_outcome::record && ending == 0 && options.last_frame == 0) {
    say("the keys never end the show; end them with N:ESC, or give --to");
    return false;
  }
  last_to_record = ending && options.last_frame ? std::min(ending, options.last_frame)
                                                : std::max(ending, options.last_frame);
  return true;
}

// The range recorded, as a message says it.
static std::string frames_kept()
{
  const int64_t last = options.first_frame + frames_recorded - 1;
  return frames_recorded == 1 ? "frame " + std::to_string(last)
                              : "frames " + std::to_string(options.first_frame) + " to " +
                                    std::to_string(last);
}

// Turns the draft into the video under its name, with the sound of the
// frames recorded; false with a message.
static bool finish_video()
{
  const std::string final = draft_file(options.video_container == container::matroska ? "final.mkv"
                                       : options.video_container == container::mp4 ? "final.mp4"
                                                                                   : "final.mov");
  std::string error;
  if (!mux_video(mux_command(options, music, draft_file("video.nut"), final), music,
                 options.first_frame, options.first_frame + frames_recorded - 1, error) ||
      !publish(final, options.video, error)) {
    say(error + untouched());
    return false;
  }
  return true;
}

// After the show: the encoder finished, the video made, the drafts gone,
// one line said; the exit status.
static int finish_recording()
{
  int status = stop_signal ? 128 + stop_signal : 0;
  std::string error;
  if (!encoder_started) {
    status = 1;
  } else if (!finish_encoder(error) || recording_broken) {
    say((error.empty() ? "ffmpeg stopped taking frames" : error) + untouched());
    status = 1;
  } else if (frames_recorded == 0) {
    say((stop_signal ? "stopped by " + signal_name(stop_signal)
                     : "the show ended at frame " + std::to_string(frames_shown)) +
        " before frame " + std::to_string(options.first_frame) + ": nothing recorded" + untouched());
    status = stop_signal ? status : 1;
  } else if (!options.video.empty() && !finish_video()) {
    status = 1;
  } else if (stop_signal) {
    say("stopped by " + signal_name(stop_signal) + ": " + frames_kept() + " kept" +
        (options.video.empty() ? "" : " in " + options.video + " with the sound"));
  } else {
    end_progress_line();
    fprintf(stderr, "%lld frames recorded", (long long)frames_recorded);
    if (music_started)
      fprintf(stderr, "; the music starts after frame %lld", (long long)music.start_frame);
    fputc('\n', stderr);
  }
  remove_drafts();
  return status;
}

int main(int argc, char **argv)
{
  program_name = program.c_str();
  option_outcome outcome;
  if (!read_command_line(argc, argv, outcome))
    return 2;
  if (outcome == option_outcome::help) {
    printf(usage, program.c_str(), synopsis, (long long)free_flight_first_frame, default_keys_script,
           (long long)(default_flight_frames / video_rate), largest_scale, default_quality);
    return 0;
  }
  if (outcome == option_outcome::version) {
    printf("%s (%s) %s\n", program.c_str(), show_name, SHOW_VERSION);
    return 0;
  }
  std::string error;
  if (!options.video.empty() && !video_writable(options.video, error)) {
    say(error);
    return 1;
  }
  std::error_code failed;
  if (!options.frames_dir.empty()) {
    options.frames_dir = std::filesystem::absolute(options.frames_dir, failed).string();
    if (!failed && !std::filesystem::create_directories(options.frames_dir, failed) && failed) {
      say("cannot make " + options.frames_dir + ": " + failed.message());
      return 1;
    }
  }

  // A write to an ffmpeg that has gone must fail, not end the recorder.
  signal(SIGPIPE, SIG_IGN);
  use_offscreen_drivers();
  refresh_observer = record_frame;
  sample_started = note_music;
  told_at = std::chrono::steady_clock::now();
  const int show_status = run_show();
  refresh_observer = nullptr;
  // Start-up failed, and the show said why.
  if (show_status == 1)
    return 1;
  return finish_recording();
}
END_OF_MAIN()
