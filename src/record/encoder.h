// The recorder's output through ffmpeg: frames go down a pipe as raw RGB,
// into a video file, numbered PNG files or both; the music is muxed in after.
#pragma once

#include <allegro.h>

#include <string>
#include <vector>

constexpr int video_rate = 60;

struct encoder_plan {
  std::string video;       // the final video file, or empty for none
  std::string frames_dir;  // the folder for PNG frames, or empty for none
};

// Where the video goes before the music is added: beside the final file.
std::string video_draft(const encoder_plan &plan);

// The ffmpeg command that reads w x h frames from its standard input.
std::vector<std::string> encoder_command(const encoder_plan &plan, int w, int h);

// The music as the show plays it: the loaded sample's own data, in the
// library's form (unsigned samples, 16-bit ones in the machine's order).
struct music_track {
  std::string raw_file;  // empty when the show started no music
  int bits = 0;
  int channels = 0;
  int rate = 0;
  bool loop = false;
};

// Where the music's samples wait for the final video: beside it.
std::string music_draft(const encoder_plan &plan);

// Writes the sample's data to `path` and describes it in `track`; false when
// the file cannot be written whole.
bool write_music(const SAMPLE *sample, bool loop, const std::string &path, music_track &track);

// The ffmpeg command that makes the final video from the draft, with the
// music starting after `music_frame` frames when there is music, looped or
// not, and everything cut to `frames` frames.
std::vector<std::string> mux_command(const encoder_plan &plan, const music_track &music,
                                     long long music_frame, long long frames);

// Starts ffmpeg for frames of the given size; false when it cannot be run.
bool start_encoder(const encoder_plan &plan, int w, int h);

// Sends a 16-bit picture of the size given to start_encoder; false once
// ffmpeg no longer takes frames. Allocates nothing.
bool send_frame(BITMAP *picture);

// Ends the stream and waits for ffmpeg; true when it finished cleanly.
bool finish_encoder();

// Runs a command to its end; true when it exited with status 0.
bool run_command(const std::vector<std::string> &command);
