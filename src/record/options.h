// The recorder's command line: what to record, into which files, at which
// size and quality, and the picture's place in the output frame.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// The containers the recorder writes video with sound into, by file name
// extension.
enum class container { matroska, mp4, quicktime };

// x264's constant rate factor when --quality is not given: the title's
// coloured letters stay within about a level of the show's, single star
// pixels keep their brightness.
constexpr int default_quality = 16;
// The largest whole-number scale and output frame: beyond them H.264's
// levels end.
constexpr int largest_scale = 6;
constexpr int largest_fit_w = 7680;
constexpr int largest_fit_h = 4320;

struct record_options {
  std::string keys;        // the key script
  std::string video;       // the final video file, or empty for none
  container video_container = container::matroska;
  std::string frames_dir;  // the folder for PNG frames, or empty for none
  int scale = 1;           // --scale: every pixel an N x N block
  int fit_w = 0;           // --fit: the output frame, 0 x 0 for none
  int fit_h = 0;
  bool lossless = false;   // FFV1 and FLAC in Matroska
  int quality = default_quality;
  int64_t first_frame = 1;  // the frames recorded, counted from 1
  int64_t last_frame = 0;   // 0: to the end of the show
};

enum class option_outcome { record, help, version, wrong };

// Reads the arguments after the program's name into `options` (which starts
// as default_options gives it). `wrong` comes with `error` saying what.
option_outcome read_options(const std::vector<std::string> &args, record_options &options,
                            std::string &error);

// The options when none are given: the whole show into show.mkv.
record_options default_options();

// The container an output file name asks for by its extension; false when
// it is none the recorder writes.
bool container_of(const std::string &file, container &kind);

// Where the show's w x h picture goes in the output frame, and how it gets
// there: pixels repeated a whole number of times by the recorder, then, for
// a --fit between whole multiples, smoothed by ffmpeg to its final size.
struct picture_layout {
  int scale;           // the whole multiple the recorder repeats pixels by
  int smooth_from;     // 0, or the whole multiple ffmpeg blows up to before smoothing down
  int picture_w;       // the picture in the output frame
  int picture_h;
  int frame_w;         // the output frame
  int frame_h;
  int x;               // the picture's top left corner in it
  int y;
  bool subsampled;     // 4:2:0: every picture pixel still holds a colour sample of its own
};

// The layout for the options and a show picture of w x h pixels.
picture_layout layout_of(const record_options &options, int w, int h);
