// The recorder's output through ffmpeg: frames go down a pipe in the
// encoder's own pixel format into a draft video, numbered PNG files or both;
// then the draft and the music, fed down a pipe sample by sample, make the
// final video. Every ffmpeg runs in a process group of its own, so that a
// terminal's Ctrl+C reaches the recorder alone, which then ends the video.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "record/options.h"
#include "record/pixels.h"

constexpr int video_rate = 60;

// What the pipe carries: the video encoder's own format, or the show's RGB
// where a lossless video or PNG files need it exact.
pixel_format pipe_format(const record_options &options, const picture_layout &layout);

// The ffmpeg command that reads w x h frames (the show's picture scaled by
// layout.scale) from its standard input, for the draft video `draft` when
// options.video is set and the PNG files of options.frames_dir.
std::vector<std::string> encoder_command(const record_options &options, const picture_layout &layout,
                                         pixel_format format, int w, int h, const std::string &draft);

// The music as the show plays it: the loaded sample's own data, in the
// library's form (unsigned samples, 16-bit ones in the machine's order).
struct music_track {
  std::vector<uint8_t> data;  // whole sample frames; empty when the show started no music
  int bits = 16;              // the form of the silence when there is no music
  int channels = 2;
  int rate = 44100;
  bool loop = false;
  int64_t start_frame = 0;    // the frames shown before the show started it
};

// The number of the track's samples that the first `frames` frames last.
int64_t samples_in_frames(const music_track &music, int64_t frames);

// `count` samples of the sound, from the sample at `first` (counted from the
// show's first frame) on: silence before the music starts, then the music,
// looped or once. Into `out`, resized to fit.
void sound_between(const music_track &music, int64_t first, int64_t count, std::vector<uint8_t> &out);

// The ffmpeg command that makes `final` from the draft video and the sound
// on its standard input.
std::vector<std::string> mux_command(const record_options &options, const music_track &music,
                                     const std::string &draft, const std::string &final);

// Starts ffmpeg to read frames as prepare_conversion set them up; false when
// it cannot be run.
bool start_encoder(const std::vector<std::string> &command);

// Sends the picture, converted; false once ffmpeg no longer takes frames.
// Allocates nothing.
bool send_frame(BITMAP *picture);

// Ends the stream and waits for ffmpeg; true when it finished cleanly, else
// with how it ended in `why`.
bool finish_encoder(std::string &why);

// "SIGINT" and so on, or "signal N".
std::string signal_name(int number);

// Runs the mux command, feeding it the sound of frames `first` to `last`
// (counted from 1); true when it finished cleanly, else with `why`.
bool mux_video(const std::vector<std::string> &command, const music_track &music, int64_t first,
               int64_t last, std::string &why);
