#include "record/encoder.h"

#include <algorithm>
#include <bit>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char **environ;

// Colour tags that players decode as the show drew it: BT.709 in limited
// range for the YUV video, the show's own sRGB for the lossless one.
static constexpr const char *yuv_tags[] = {"-colorspace", "bt709", "-color_primaries", "bt709",
                                           "-color_trc", "bt709", "-color_range", "tv"};
static constexpr const char *rgb_tags[] = {"-colorspace", "rgb", "-color_primaries", "bt709",
                                           "-color_trc", "iec61966-2-1", "-color_range", "pc"};
static constexpr const char *quiet_ffmpeg[] = {"ffmpeg", "-nostdin", "-hide_banner", "-loglevel",
                                               "error"};
// A pipe this large takes a frame's worth of rows at a time.
static constexpr int pipe_bytes = 1 << 20;

static pid_t encoder_pid = -1;
static int encoder_pipe = -1;

pixel_format pipe_format(const record_options &options, const picture_layout &layout)
{
  if (options.lossless)
    return pixel_format::bgr0;
  if (!options.frames_dir.empty())
    return pixel_format::rgb24;
  return layout.subsampled && !layout.smooth_from ? pixel_format::yuv420p : pixel_format::yuv444p;
}

static std::string size_text(int w, int h)
{
  return std::to_string(w) + "x" + std::to_string(h);
}

// The filters that take the piped picture to the output frame: blown up and
// smoothed down between whole multiples, then centred on black.
static std::string geometry(const picture_layout &layout, int w, int h)
{
  std::string chain;
  auto add = [&](const std::string &filter) { chain += (chain.empty() ? "" : ",") + filter; };
  // Each scaling spread over the cores, beside the encoder.
  if (layout.smooth_from > 1)
    add("scale=" + std::to_string(w * layout.smooth_from) + ":" +
        std::to_string(h * layout.smooth_from) + ":flags=neighbor:threads=0");
  if (layout.smooth_from > 0)
    add("scale=" + std::to_string(layout.picture_w) + ":" + std::to_string(layout.picture_h) +
        ":flags=area:threads=0");
  if (layout.frame_w != layout.picture_w || layout.frame_h != layout.picture_h)
    add("pad=" + std::to_string(layout.frame_w) + ":" + std::to_string(layout.frame_h) + ":" +
        std::to_string(layout.x) + ":" + std::to_string(layout.y) + ":color=black");
  return chain;
}

static void add_filters(std::vector<std::string> &command, const std::string &chain)
{
  if (!chain.empty())
    command.insert(command.end(), {"-vf", chain});
}

// The image2 pattern for numbered files in `folder`, whose own % signs
// must not be read as part of the pattern.
static std::string numbered_files(const std::string &folder)
{
  std::string pattern;
  for (char c : folder)
    pattern += c == '%' ? std::string("%%") : std::string(1, c);
  return pattern + "/%06d.png";
}

std::vector<std::string> encoder_command(const record_options &options, const picture_layout &layout,
                                         pixel_format format, int w, int h, const std::string &draft)
{
  std::vector<std::string> command(std::begin(quiet_ffmpeg), std::end(quiet_ffmpeg));
  command.insert(command.end(), {"-f", "rawvideo", "-pix_fmt", ffmpeg_name(format), "-s",
                                 size_text(w, h), "-framerate", std::to_string(video_rate), "-i",
                                 "pipe:0"});
  const std::string shape = geometry(layout, w / layout.scale, h / layout.scale);
  if (!options.video.empty()) {
    command.insert(command.end(), {"-map", "0:v"});
    if (options.lossless) {
      add_filters(command, shape);
      command.insert(command.end(), {"-pix_fmt", "bgr0", "-c:v", "ffv1", "-level", "3", "-g", "1",
                                     "-slices", "4", "-slicecrc", "1"});
      command.insert(command.end(), std::begin(rgb_tags), std::end(rgb_tags));
    } else {
      // The RGB that PNG files need is turned into YUV here, by the tagged matrix.
      std::string chain = shape;
      if (format == pixel_format::rgb24)
        chain += (chain.empty() ? "" : ",") +
                 std::string("scale=out_color_matrix=bt709:out_range=tv:flags=accurate_rnd+full_chroma_int");
      add_filters(command, chain);
      // x264's fastest preset: twice the size of its "veryfast", half the
      // time, and closer to the show's pixels, as it spends nothing on
      // what the eye would not see.
      command.insert(command.end(), {"-pix_fmt", layout.subsampled ? "yuv420p" : "yuv444p", "-c:v",
                                     "libx264", "-preset", "ultrafast", "-crf",
                                     std::to_string(options.quality)});
      command.insert(command.end(), std::begin(yuv_tags), std::end(yuv_tags));
    }
    command.insert(command.end(), {"-f", "nut", draft});
  }
  if (!options.frames_dir.empty()) {
    command.insert(command.end(), {"-map", "0:v"});
    add_filters(command, shape);
    command.insert(command.end(), {"-pix_fmt", "rgb24", "-c:v", "png", "-compression_level", "3",
                                   "-f", "image2", "-start_number", std::to_string(options.first_frame),
                                   numbered_files(options.frames_dir)});
  }
  return command;
}

int64_t samples_in_frames(const music_track &music, int64_t frames)
{
  return frames * music.rate / video_rate;
}

void sound_between(const music_track &music, int64_t first, int64_t count, std::vector<uint8_t> &out)
{
  const size_t frame_bytes = size_t(music.channels) * size_t(music.bits / 8);
  const int64_t length = int64_t(music.data.size() / frame_bytes);
  out.resize(size_t(count) * frame_bytes);
  uint8_t *to = out.data();
  const uint16_t silence = music.bits == 8 ? 0x80 : 0x8000;
  for (int64_t at = first - samples_in_frames(music, music.start_frame); count > 0;) {
    int64_t run = count;
    const bool playing = length > 0 && at >= 0 && (music.loop || at < length);
    if (playing) {
      const int64_t from = at % length;
      run = std::min(run, length - from);
      std::memcpy(to, music.data.data() + size_t(from) * frame_bytes, size_t(run) * frame_bytes);
    } else {
      if (at < 0)
        run = std::min(run, -at);
      for (size_t i = 0; i < size_t(run) * size_t(music.channels); i++) {
        if (music.bits == 8)
          to[i] = uint8_t(silence);
        else
          std::memcpy(to + 2 * i, &silence, 2);
      }
    }
    to += size_t(run) * frame_bytes;
    at += run;
    count -= run;
  }
}

// The sample's data as ffmpeg names its raw form.
static const char *raw_format(int bits)
{
  if (bits == 8)
    return "u8";
  return std::endian::native == std::endian::little ? "u16le" : "u16be";
}

std::vector<std::string> mux_command(const record_options &options, const music_track &music,
                                     const std::string &draft, const std::string &final)
{
  std::vector<std::string> command(std::begin(quiet_ffmpeg), std::end(quiet_ffmpeg));
  command.insert(command.end(), {"-i", draft, "-f", raw_format(music.bits), "-ar",
                                 std::to_string(music.rate), "-ac", std::to_string(music.channels),
                                 "-i", "pipe:0", "-map", "0:v", "-map", "1:a", "-c:v", "copy"});
  if (options.lossless)
    command.insert(command.end(), std::begin(rgb_tags), std::end(rgb_tags));
  else
    command.insert(command.end(), std::begin(yuv_tags), std::end(yuv_tags));
  if (options.video_container == container::matroska)
    command.insert(command.end(), {"-c:a", "flac", "-f", "matroska"});
  else
    // Players and video sites take AAC in these; the index goes first so
    // that they can start playing before the whole file is there.
    command.insert(command.end(), {"-c:a", "aac", "-b:a", "256k", "-movflags", "+faststart", "-f",
                                   options.video_container == container::mp4 ? "mp4" : "mov"});
  command.push_back(final);
  return command;
}

// Starts the command in a process group of its own, reading `input`; -1
// when it cannot be run.
static pid_t spawn(const std::vector<std::string> &command, int input)
{
  std::vector<char *> args;
  for (const std::string &arg : command)
    args.push_back(const_cast<char *>(arg.c_str()));
  args.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, input, STDIN_FILENO);
  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP);
  posix_spawnattr_setpgroup(&attributes, 0);
  pid_t pid;
  const int failed = posix_spawnp(&pid, args[0], &actions, &attributes, args.data(), environ);
  posix_spawnattr_destroy(&attributes);
  posix_spawn_file_actions_destroy(&actions);
  return failed ? -1 : pid;
}

// Starts the command on the read end of a new pipe; its write end, or -1.
static int start_piped(const std::vector<std::string> &command, pid_t &pid)
{
  int ends[2];
  if (pipe2(ends, O_CLOEXEC) != 0)
    return -1;
  fcntl(ends[1], F_SETPIPE_SZ, pipe_bytes);
  pid = spawn(command, ends[0]);
  close(ends[0]);
  if (pid < 0) {
    close(ends[1]);
    return -1;
  }
  return ends[1];
}

static bool write_all(int fd, const uint8_t *data, size_t left)
{
  while (left > 0) {
    const ssize_t written = write(fd, data, left);
    if (written < 0 && errno == EINTR)
      continue;
    if (written <= 0)
      return false;
    data += written;
    left -= size_t(written);
  }
  return true;
}

// Waits for the child; true when it exited with status 0, else how it ended.
static bool exited_cleanly(pid_t pid, std::string &why)
{
  int status;
  while (waitpid(pid, &status, 0) < 0)
    if (errno != EINTR) {
      why = "ffmpeg was lost";
      return false;
    }
  if (WIFEXITED(status) && WEXITSTATUS(status) == 0)
    return true;
  if (WIFSIGNALED(status))
    why = "ffmpeg was ended by " + signal_name(WTERMSIG(status));
  else
    why = "ffmpeg failed with status " + std::to_string(WEXITSTATUS(status));
  return false;
}

std::string signal_name(int number)
{
  const char *name = sigabbrev_np(number);
  return name ? "SIG" + std::string(name) : "signal " + std::to_string(number);
}

bool start_encoder(const std::vector<std::string> &command)
{
  encoder_pipe = start_piped(command, encoder_pid);
  return encoder_pipe >= 0;
}

bool send_frame(BITMAP *picture)
{
  return encoder_pipe >= 0 && write_all(encoder_pipe, convert_frame(picture), converted_size());
}

bool finish_encoder(std::string &why)
{
  if (encoder_pid < 0) {
    why = "ffmpeg did not run";
    return false;
  }
  close(encoder_pipe);
  encoder_pipe = -1;
  const bool clean = exited_cleanly(encoder_pid, why);
  encoder_pid = -1;
  return clean;
}

bool mux_video(const std::vector<std::string> &command, const music_track &music, int64_t first,
               int64_t last, std::string &why)
{
  pid_t pid;
  const int sound = start_piped(command, pid);
  if (sound < 0) {
    why = "ffmpeg could not be run";
    return false;
  }
  // A second at a time, so that the sound of a long recording is never whole in memory.
  const int64_t end = samples_in_frames(music, last);
  std::vector<uint8_t> chunk;
  bool fed = true;
  for (int64_t at = samples_in_frames(music, first - 1); fed && at < end; at += music.rate) {
    sound_between(music, at, std::min<int64_t>(music.rate, end - at), chunk);
    fed = write_all(sound, chunk.data(), chunk.size());
  }
  close(sound);
  const bool clean = exited_cleanly(pid, why);
  if (clean && !fed)
    why = "ffmpeg took only part of the sound";
  return clean && fed;
}
