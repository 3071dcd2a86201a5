#include "record/options.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <charconv>
#include <string_view>
#include <utility>

#include "record/keys_script.h"

static constexpr std::array<std::pair<std::string_view, container>, 3> extensions = {
    std::pair{std::string_view(".mkv"), container::matroska},
    std::pair{std::string_view(".mp4"), container::mp4},
    std::pair{std::string_view(".mov"), container::quicktime}};

struct named_size {
  std::string_view name;
  int w, h;
};
static constexpr std::array<named_size, 3> fit_names = {
    named_size{"1080p", 1920, 1080}, named_size{"1440p", 2560, 1440}, named_size{"2160p", 3840, 2160}};

record_options default_options()
{
  record_options options;
  options.keys = default_keys_script;
  return options;
}

bool container_of(const std::string &file, container &kind)
{
  std::string lower = file;
  std::transform(lower.begin(), lower.end(), lower.begin(),
                 [](unsigned char c) { return char(std::tolower(c)); });
  for (auto [extension, which] : extensions)
    if (lower.size() > extension.size() && lower.ends_with(extension)) {
      kind = which;
      return true;
    }
  return false;
}

// The whole of `text` as a number from `low` to `high`.
static bool read_number(std::string_view text, int64_t low, int64_t high, int64_t &number)
{
  auto [end, result] = std::from_chars(text.data(), text.data() + text.size(), number);
  return !text.empty() && result == std::errc() && end == text.data() + text.size() &&
         number >= low && number <= high;
}

// WxH with both even, or one of the names of fit_names.
static bool read_fit(std::string_view text, int &w, int &h)
{
  for (const named_size &size : fit_names)
    if (text == size.name) {
      w = size.w;
      h = size.h;
      return true;
    }
  size_t x = text.find('x');
  int64_t width, height;
  if (x == std::string_view::npos || !read_number(text.substr(0, x), 2, largest_fit_w, width) ||
      !read_number(text.substr(x + 1), 2, largest_fit_h, height) || width % 2 || height % 2)
    return false;
  w = int(width);
  h = int(height);
  return true;
}

// Checks what the options ask for as a whole, once all are read.
static bool consistent(record_options &options, bool scale_given, std::string &error)
{
  if (scale_given && options.fit_w) {
    error = "--scale and --fit both set the size; give one";
    return false;
  }
  if (options.last_frame && options.last_frame < options.first_frame) {
    error = "--to " + std::to_string(options.last_frame) + " comes before --from " +
            std::to_string(options.first_frame);
    return false;
  }
  if (options.video.empty())
    return true;
  if (!container_of(options.video, options.video_container)) {
    error = "cannot write video with sound into '" + options.video +
            "': name it .mkv (Matroska), .mp4 or .mov";
    return false;
  }
  if (options.lossless && options.video_container != container::matroska) {
    error = "--lossless writes Matroska: name the video .mkv";
    return false;
  }
  return true;
}

option_outcome read_options(const std::vector<std::string> &args, record_options &options,
                            std::string &error)
{
  bool quality_given = false, scale_given = false;
  for (size_t i = 0; i < args.size(); i++) {
    const std::string &option = args[i];
    if (option == "--help" || option == "-h")
      return option_outcome::help;
    if (option == "--version")
      return option_outcome::version;
    if (option == "--lossless") {
      options.lossless = true;
      continue;
    }
    static constexpr std::array<std::string_view, 8> with_value = {
        "--keys", "--output", "--frames", "--scale", "--fit", "--quality", "--from", "--to"};
    if (std::find(with_value.begin(), with_value.end(), option) == with_value.end()) {
      error = "unknown option '" + option + "'";
      return option_outcome::wrong;
    }
    if (i + 1 == args.size()) {
      error = option + " needs a value";
      return option_outcome::wrong;
    }
    const std::string &value = args[++i];
    int64_t number = 0;
    auto wrong = [&](const std::string &why) {
      error = option + " '" + value + "': " + why;
      return option_outcome::wrong;
    };
    if (option == "--keys") {
      options.keys = value;
    } else if (option == "--output") {
      if (value.empty())
        return wrong("an empty file name");
      options.video = value;
    } else if (option == "--frames") {
      if (value.empty())
        return wrong("an empty folder name");
      options.frames_dir = value;
    } else if (option == "--scale") {
      if (!read_number(value, 1, largest_scale, number))
        return wrong("a whole number from 1 to " + std::to_string(largest_scale));
      options.scale = int(number);
      scale_given = true;
    } else if (option == "--fit") {
      if (!read_fit(value, options.fit_w, options.fit_h))
        return wrong("WxH, both even, up to " + std::to_string(largest_fit_w) + "x" +
                     std::to_string(largest_fit_h) + ", or 1080p, 1440p or 2160p");
    } else if (option == "--quality") {
      if (!read_number(value, 0, 51, number))
        return wrong("x264's constant rate factor, 0 (best) to 51");
      options.quality = int(number);
      quality_given = true;
    } else if (!read_number(value, 1, INT64_MAX, number)) {
      return wrong("a frame number, counted from 1");
    } else {
      (option == "--from" ? options.first_frame : options.last_frame) = number;
    }
  }
  if (options.video.empty() && options.frames_dir.empty())
    options.video = "show.mkv";
  if (quality_given && options.lossless) {
    error = "--quality is for lossy video; --lossless has none to set";
    return option_outcome::wrong;
  }
  if ((quality_given || options.lossless) && options.video.empty()) {
    error = std::string(options.lossless ? "--lossless" : "--quality") +
            " is for the video, and --frames alone writes none: give --output";
    return option_outcome::wrong;
  }
  return consistent(options, scale_given, error) ? option_outcome::record : option_outcome::wrong;
}

// A size made even by rounding to the nearest even number.
static int even(int64_t numerator, int64_t denominator)
{
  return int((numerator + denominator) / (2 * denominator) * 2);
}

picture_layout layout_of(const record_options &options, int w, int h)
{
  picture_layout layout = {options.scale, 0, w * options.scale, h * options.scale, 0, 0, 0, 0, false};
  if (options.fit_w) {
    // Aspect kept: the side that meets the frame's edge first sets the size.
    if (int64_t(options.fit_w) * h <= int64_t(options.fit_h) * w) {
      layout.picture_w = options.fit_w;
      layout.picture_h = even(int64_t(h) * options.fit_w, w);
    } else {
      layout.picture_h = options.fit_h;
      layout.picture_w = even(int64_t(w) * options.fit_h, h);
    }
    const int whole = layout.picture_w / w;
    if (whole * w == layout.picture_w && whole * h == layout.picture_h) {
      layout.scale = whole;
    } else {
      layout.scale = 1;
      layout.smooth_from = std::max(1, (layout.picture_w + w - 1) / w);
    }
  }
  layout.frame_w = options.fit_w ? options.fit_w : layout.picture_w;
  layout.frame_h = options.fit_h ? options.fit_h : layout.picture_h;
  layout.x = (layout.frame_w - layout.picture_w) / 4 * 2;
  layout.y = (layout.frame_h - layout.picture_h) / 4 * 2;
  layout.subsampled = layout.picture_w >= 2 * w;
  return layout;
}
