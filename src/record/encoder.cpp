#include "record/encoder.h"

#include <array>
#include <bit>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char **environ;

// x264 at a quality where the star field keeps its single pixels; yuv420p
// so that every common player takes it.
static constexpr const char *video_codec[] = {"-c:v", "libx264", "-preset", "veryfast",
                                              "-crf", "16", "-pix_fmt", "yuv420p"};

static pid_t encoder_pid = -1;
static int encoder_pipe = -1;
static int frame_w;
static int frame_h;
static std::vector<uint8_t> frame_rgb;
// The 8-bit components of every 16-bit pixel value, as the library reads them.
static std::array<std::array<uint8_t, 3>, 65536> rgb_of_pixel;

std::string video_draft(const encoder_plan &plan)
{
  return plan.video + ".draft.mkv";
}

std::vector<std::string> encoder_command(const encoder_plan &plan, int w, int h)
{
  std::vector<std::string> command = {"ffmpeg", "-hide_banner", "-loglevel", "error", "-y",
                                      "-f", "rawvideo", "-pix_fmt", "rgb24",
                                      "-s", std::to_string(w) + "x" + std::to_string(h),
                                      "-r", std::to_string(video_rate), "-i", "-"};
  if (!plan.video.empty()) {
    command.insert(command.end(), {"-map", "0:v"});
    command.insert(command.end(), std::begin(video_codec), std::end(video_codec));
    command.insert(command.end(), {"-f", "matroska", video_draft(plan)});
  }
  if (!plan.frames_dir.empty())
    command.insert(command.end(), {"-map", "0:v", "-c:v", "png", "-compression_level", "3", "-f",
                                   "image2", "-start_number", "1", plan.frames_dir + "/%06d.png"});
  return command;
}

static std::string seconds(long long frames)
{
  char text[32];
  snprintf(text, sizeof text, "%.6f", double(frames) / video_rate);
  return text;
}

std::string music_draft(const encoder_plan &plan)
{
  return plan.video + ".music.raw";
}

bool write_music(const SAMPLE *sample, bool loop, const std::string &path, music_track &track)
{
  track = {path, sample->bits, sample->stereo ? 2 : 1, sample->freq, loop};
  const size_t bytes = size_t(sample->len) * size_t(track.channels) * size_t(track.bits / 8);
  FILE *file = fopen(path.c_str(), "wb");
  if (!file)
    return false;
  const bool written = fwrite(sample->data, 1, bytes, file) == bytes;
  return fclose(file) == 0 && written;
}

// The sample's data as ffmpeg names its raw form.
static const char *raw_format(int bits)
{
  if (bits == 8)
    return "u8";
  return std::endian::native == std::endian::little ? "u16le" : "u16be";
}

std::vector<std::string> mux_command(const encoder_plan &plan, const music_track &music,
                                     long long music_frame, long long frames)
{
  std::vector<std::string> command = {"ffmpeg", "-hide_banner", "-loglevel", "error", "-nostdin",
                                      "-y", "-i", video_draft(plan)};
  if (!music.raw_file.empty()) {
    // Looped without end, delayed by the frames before the show started it
    // and cut with the video.
    if (music.loop)
      command.insert(command.end(), {"-stream_loop", "-1"});
    char delay[64];
    snprintf(delay, sizeof delay, "adelay=delays=%.3f:all=1", music_frame * 1000.0 / video_rate);
    command.insert(command.end(), {"-f", raw_format(music.bits), "-ar", std::to_string(music.rate),
                                   "-ac", std::to_string(music.channels), "-i", music.raw_file,
                                   "-map", "0:v", "-map", "1:a", "-af", delay});
  } else {
    command.insert(command.end(), {"-map", "0:v"});
  }
  command.insert(command.end(), {"-c:v", "copy", "-t", seconds(frames), plan.video});
  return command;
}

static std::vector<char *> argument_list(const std::vector<std::string> &command)
{
  std::vector<char *> args;
  for (const std::string &arg : command)
    args.push_back(const_cast<char *>(arg.c_str()));
  args.push_back(nullptr);
  return args;
}

static bool exited_cleanly(pid_t pid)
{
  int status;
  while (waitpid(pid, &status, 0) < 0)
    if (errno != EINTR)
      return false;
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

bool run_command(const std::vector<std::string> &command)
{
  pid_t pid;
  std::vector<char *> args = argument_list(command);
  if (posix_spawnp(&pid, args[0], nullptr, nullptr, args.data(), environ) != 0)
    return false;
  return exited_cleanly(pid);
}

bool start_encoder(const encoder_plan &plan, int w, int h)
{
  for (int pixel = 0; pixel < 65536; pixel++)
    rgb_of_pixel[pixel] = {uint8_t(getr16(pixel)), uint8_t(getg16(pixel)), uint8_t(getb16(pixel))};
  frame_w = w;
  frame_h = h;
  frame_rgb.assign(size_t(w) * h * 3, 0);

  int ends[2];
  if (pipe2(ends, O_CLOEXEC) != 0)
    return false;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, ends[0], STDIN_FILENO);
  std::vector<std::string> command = encoder_command(plan, w, h);
  std::vector<char *> args = argument_list(command);
  int failed = posix_spawnp(&encoder_pid, args[0], &actions, nullptr, args.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  close(ends[0]);
  if (failed) {
    close(ends[1]);
    encoder_pid = -1;
    return false;
  }
  encoder_pipe = ends[1];
  return true;
}

bool send_frame(BITMAP *picture)
{
  if (encoder_pipe < 0 || picture->w != frame_w || picture->h != frame_h)
    return false;
  uint8_t *out = frame_rgb.data();
  for (int y = 0; y < frame_h; y++) {
    const uint16_t *row = reinterpret_cast<const uint16_t *>(picture->line[y]);
    for (int x = 0; x < frame_w; x++, out += 3) {
      const auto &rgb = rgb_of_pixel[row[x]];
      out[0] = rgb[0];
      out[1] = rgb[1];
      out[2] = rgb[2];
    }
  }
  const uint8_t *data = frame_rgb.data();
  size_t left = frame_rgb.size();
  while (left > 0) {
    ssize_t written = write(encoder_pipe, data, left);
    if (written < 0 && errno == EINTR)
      continue;
    if (written <= 0)
      return false;
    data += written;
    left -= size_t(written);
  }
  return true;
}

bool finish_encoder()
{
  if (encoder_pid < 0)
    return false;
  close(encoder_pipe);
  encoder_pipe = -1;
  bool clean = exited_cleanly(encoder_pid);
  encoder_pid = -1;
  return clean;
}
