#include <gtest/gtest.h>

#include <allegro.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <tuple>

#include "headless.h"
#include "record/encoder.h"
#include "record/options.h"
#include "record/pixels.h"

namespace {

option_outcome read(std::vector<std::string> args, record_options &options, std::string &error)
{
  options = default_options();
  return read_options(args, options, error);
}

TEST(RecordOptions, ReadsWhatEachOptionAsksFor)
{
  using args = std::vector<std::string>;
  record_options o;
  std::string error;
  ASSERT_EQ(read({}, o, error), option_outcome::record) << error;
  EXPECT_EQ(std::tuple(o.video, o.scale, o.fit_w, o.lossless, o.quality, o.first_frame, o.last_frame),
            std::tuple(std::string("show.mkv"), 1, 0, false, default_quality, int64_t(1), int64_t(0)));
  ASSERT_EQ(read(args{"--frames", "f"}, o, error), option_outcome::record) << error;
  EXPECT_TRUE(o.video.empty()) << "--frames alone writes no video";
  ASSERT_EQ(read(args{"--output", "a.MP4", "--scale", "3", "--quality", "0", "--from", "5", "--to", "5"},
                 o, error), option_outcome::record) << error;
  EXPECT_EQ(std::tuple(o.video_container, o.scale, o.quality, o.first_frame, o.last_frame),
            std::tuple(container::mp4, 3, 0, int64_t(5), int64_t(5)));
  ASSERT_EQ(read(args{"--output", "-x.mov", "--fit", "2160p", "--lossless", "--output", "b.mkv"}, o,
                 error), option_outcome::record) << error;
  EXPECT_EQ(std::tuple(o.video, o.video_container, o.fit_w, o.fit_h, o.lossless),
            std::tuple(std::string("b.mkv"), container::matroska, 3840, 2160, true)) << "the last --output counts";
  ASSERT_EQ(read(args{"--fit", "640x480"}, o, error), option_outcome::record) << error;
  EXPECT_EQ(std::pair(o.fit_w, o.fit_h), std::pair(640, 480));
  EXPECT_EQ(read(args{"--to", "3", "--help", "--bogus"}, o, error), option_outcome::help);
  EXPECT_EQ(read(args{"--version"}, o, error), option_outcome::version);
}

TEST(RecordOptions, RefusesWhatCannotBeRecordedSayingWhy)
{
  const std::pair<std::vector<std::string>, const char *> cases[] = {  // args, part of the message
      {{"--bogus"}, "unknown option '--bogus'"},
      {{"--output"}, "--output needs a value"},
      {{"--output", ""}, "an empty file name"},
      {{"--frames", ""}, "an empty folder name"},
      {{"--output", "keep.webm"}, "name it .mkv (Matroska), .mp4 or .mov"},
      {{"--output", "keep.avi"}, ".mkv (Matroska), .mp4 or .mov"},
      {{"--output", "show.mkv.txt"}, ".mkv (Matroska), .mp4 or .mov"},
      {{"--output", "show"}, ".mkv (Matroska), .mp4 or .mov"},
      {{"--output", ".mkv"}, ".mkv (Matroska), .mp4 or .mov"},
      {{"--output", "a.mp4", "--lossless"}, "--lossless writes Matroska"},
      {{"--lossless", "--quality", "10"}, "--lossless has none"},
      {{"--frames", "f", "--quality", "10"}, "--frames alone writes none"},
      {{"--frames", "f", "--lossless"}, "--frames alone writes none"},
      {{"--scale", "0"}, "a whole number from 1 to 6"},
      {{"--scale", "7"}, "a whole number from 1 to 6"},
      {{"--scale", "2.5"}, "a whole number"},
      {{"--scale", "2", "--fit", "1080p"}, "give one"},
      {{"--fit", "1080"}, "WxH"},
      {{"--fit", "1921x1080"}, "both even"},
      {{"--fit", "7682x4320"}, "up to 7680x4320"},
      {{"--fit", "x1080"}, "WxH"},
      {{"--quality", "52"}, "0 (best) to 51"},
      {{"--quality", "-1"}, "0 (best) to 51"},
      {{"--from", "0"}, "counted from 1"},
      {{"--to", "10x"}, "a frame number"},
      {{"--from", "20", "--to", "10"}, "--to 10 comes before --from 20"},
  };
  for (const auto &[args, message] : cases) {
    record_options o;
    std::string error;
    EXPECT_EQ(read(args, o, error), option_outcome::wrong) << args[0];
    EXPECT_NE(error.find(message), std::string::npos) << args[0] << " gave: " << error;
  }
}

TEST(RecordLayout, ThePictureFitsWholeOrSmoothCentredOnBlack)
{
  struct expected {
    const char *fit;
    int scale, smooth_from, picture_w, picture_h, frame_w, frame_h, x, y;
    bool subsampled;
  };
  const expected cases[] = {
      {"", 1, 0, 1024, 768, 1024, 768, 0, 0, false},
      {"2160p", 1, 3, 2880, 2160, 3840, 2160, 480, 0, true},
      {"1440p", 1, 2, 1920, 1440, 2560, 1440, 320, 0, false},
      {"1080p", 1, 2, 1440, 1080, 1920, 1080, 240, 0, false},
      {"2048x1536", 2, 0, 2048, 1536, 2048, 1536, 0, 0, true},
      {"3200x2304", 3, 0, 3072, 2304, 3200, 2304, 64, 0, true},
      {"3072x2400", 3, 0, 3072, 2304, 3072, 2400, 0, 48, true},
      {"800x600", 1, 1, 800, 600, 800, 600, 0, 0, false},
      {"1024x1000", 1, 0, 1024, 768, 1024, 1000, 0, 116, false},
      {"1000x1000", 1, 1, 1000, 750, 1000, 1000, 0, 124, false},
  };
  for (const expected &e : cases) {
    record_options options = default_options();
    std::string error;
    if (*e.fit) {
      ASSERT_EQ(read_options({"--fit", e.fit}, options, error), option_outcome::record) << error;
    }
    const picture_layout l = layout_of(options, 1024, 768);
    EXPECT_EQ(std::tuple(l.scale, l.smooth_from, l.picture_w, l.picture_h, l.frame_w, l.frame_h, l.x, l.y,
                         l.subsampled),
              std::tuple(e.scale, e.smooth_from, e.picture_w, e.picture_h, e.frame_w, e.frame_h, e.x, e.y,
                         e.subsampled))
        << e.fit;
  }
  record_options options = default_options();
  for (int scale = 1; scale <= largest_scale; scale++) {
    options.scale = scale;
    const picture_layout l = layout_of(options, 1024, 768);
    EXPECT_EQ(std::tuple(l.scale, l.smooth_from, l.frame_w, l.frame_h, l.subsampled),
              std::tuple(scale, 0, 1024 * scale, 768 * scale, scale >= 2));
  }
}

TEST(RecordEncoder, SmoothsPadsAndConvertsOnlyWhatThePipeDoesNotCarry)
{
  record_options options = default_options();
  std::string error;
  ASSERT_EQ(read_options({"--fit", "2160p", "--frames", "/tmp/100%/x", "--output", "o.mkv"}, options, error), option_outcome::record);
  const picture_layout layout = layout_of(options, 1024, 768);
  ASSERT_EQ(pipe_format(options, layout), pixel_format::rgb24) << "PNG files need the show's RGB";
  const auto command = encoder_command(options, layout, pixel_format::rgb24, 1024, 768, "/d/video.nut");
  auto after = [&](const std::string &word, size_t from = 0) {
    auto at = std::find(command.begin() + long(from), command.end(), word);
    return at < command.end() - 1 ? at[1] : std::string();
  };
  const std::string shape =
      "scale=3072:2304:flags=neighbor:threads=0,scale=2880:2160:flags=area:threads=0,"
      "pad=3840:2160:480:0:color=black";
  EXPECT_EQ(after("-vf"), shape + ",scale=out_color_matrix=bt709:out_range=tv:flags=accurate_rnd+full_chroma_int");
  const size_t video_at = size_t(std::find(command.begin(), command.end(), "-vf") - command.begin());
  EXPECT_EQ(after("-pix_fmt", video_at), "yuv420p");
  EXPECT_EQ(after("-colorspace"), "bt709");
  EXPECT_EQ(after("-color_range"), "tv");
  const size_t frames_at = size_t(std::find(command.begin(), command.end(), "/d/video.nut") - command.begin());
  EXPECT_EQ(after("-vf", frames_at), shape) << "the PNG files stay RGB";
  EXPECT_EQ(command.back(), "/tmp/100%%/x/%06d.png");
  EXPECT_EQ(after("-start_number"), "1");

  const std::pair<std::vector<std::string>, pixel_format> formats[] = {
      {{}, pixel_format::yuv444p},
      {{"--scale", "2"}, pixel_format::yuv420p},
      {{"--scale", "3"}, pixel_format::yuv420p},
      {{"--fit", "2160p"}, pixel_format::yuv444p},  // smoothed before its colour is subsampled
      {{"--lossless"}, pixel_format::bgr0},
      {{"--lossless", "--frames", "f", "--output", "o.mkv"}, pixel_format::bgr0},
  };
  for (const auto &[args, format] : formats) {
    options = default_options();
    ASSERT_EQ(read_options(args, options, error), option_outcome::record) << error;
    EXPECT_EQ(int(pipe_format(options, layout_of(options, 1024, 768))), int(format)) << ffmpeg_name(format);
  }
}

// The BT.709 decoding a player does, back to 8-bit RGB.
std::array<double, 3> decoded(const std::array<uint8_t, 4> &yuv)
{
  const double y = (yuv[0] - 16) * 255.0 / 219, cb = (yuv[1] - 128) * 255.0 / 224,
               cr = (yuv[2] - 128) * 255.0 / 224;
  const double r = y + 1.5748 * cr, b = y + 1.8556 * cb;
  return {r, (y - 0.2126 * r - 0.0722 * b) / 0.7152, b};
}

TEST(RecordPixels, EverySixteenBitColourDecodesAsTheShowDrewIt)
{
  start_headless();
  const auto yuv = component_table(pixel_format::yuv444p);
  int worst = 0;
  double total = 0;
  for (int pixel = 0; pixel < 65536; pixel++) {
    const auto rgb = decoded(yuv[size_t(pixel)]);
    for (auto [value, drawn] : {std::pair(rgb[0], getr16(pixel)), std::pair(rgb[1], getg16(pixel)),
                                std::pair(rgb[2], getb16(pixel))}) {
      const int off = std::abs(int(std::lround(value)) - drawn);
      worst = std::max(worst, off);
      total += off;
    }
  }
  EXPECT_LE(worst, 2) << "levels off after decoding";
  EXPECT_LT(total / (3 * 65536), 0.5) << "levels off on average";
  // BT.709's own limited-range values of black, white and the primaries.
  const std::pair<int, std::array<uint8_t, 4>> known[] = {
      {makecol16(0, 0, 0), {16, 128, 128, 0}},     {makecol16(255, 255, 255), {235, 128, 128, 0}},
      {makecol16(255, 0, 0), {63, 102, 240, 0}},   {makecol16(0, 255, 0), {173, 42, 26, 0}},
      {makecol16(0, 0, 255), {32, 240, 118, 0}},
  };
  for (const auto &[pixel, value] : known)
    EXPECT_EQ(yuv[size_t(pixel)], value) << pixel;
  const int orange = makecol16(255, 130, 8);
  EXPECT_EQ(component_table(pixel_format::bgr0)[size_t(orange)],
            (std::array<uint8_t, 4>{uint8_t(getb16(orange)), uint8_t(getg16(orange)), uint8_t(getr16(orange)), 0}));
  EXPECT_EQ(component_table(pixel_format::rgb24)[size_t(orange)],
            (std::array<uint8_t, 4>{uint8_t(getr16(orange)), uint8_t(getg16(orange)), uint8_t(getb16(orange)), 0}));
}

// A small picture whose every pixel has a colour of its own.
BITMAP *distinct_picture(int w, int h)
{
  BITMAP *picture = create_bitmap(w, h);
  for (int y = 0; y < h; y++)
    for (int x = 0; x < w; x++)
      putpixel(picture, x, y, makecol16(40 * x + 7, 30 * y + 5, 200 - 20 * x));
  return picture;
}

TEST(RecordPixels, ScaledPixelsAreSharpBlocksAndKeepTheirOwnColour)
{
  start_headless();
  constexpr int w = 6, h = 4;
  BITMAP *picture = distinct_picture(w, h);
  const auto yuv = component_table(pixel_format::yuv444p);
  for (auto [format, scale] : {std::pair(pixel_format::yuv444p, 1), std::pair(pixel_format::yuv444p, 3),
                               std::pair(pixel_format::yuv420p, 2), std::pair(pixel_format::yuv420p, 3)}) {
    prepare_conversion(format, w, h, scale);
    const int out_w = w * scale, out_h = h * scale, step = format == pixel_format::yuv420p ? 2 : 1;
    const int colour_w = out_w / step, colour_h = out_h / step;
    ASSERT_EQ(converted_size(), size_t(out_w * out_h + 2 * colour_w * colour_h)) << scale;
    const uint8_t *luma = convert_frame(picture), *cb = luma + out_w * out_h, *cr = cb + colour_w * colour_h;
    for (int y = 0; y < out_h; y++)
      for (int x = 0; x < out_w; x++)
        ASSERT_EQ(luma[y * out_w + x], yuv[size_t(getpixel(picture, x / scale, y / scale))][0])
            << "scale " << scale << " at " << x << "," << y;
    // Every colour sample is the colour of the first pixel it covers, and
    // every pixel has at least one sample that covers no other.
    std::vector<int> samples(w * h);
    for (int y = 0; y < colour_h; y++)
      for (int x = 0; x < colour_w; x++) {
        const int px = x * step / scale, py = y * step / scale;
        const auto &own = yuv[size_t(getpixel(picture, px, py))];
        EXPECT_EQ(std::pair(cb[y * colour_w + x], cr[y * colour_w + x]), std::pair(own[1], own[2]))
            << "scale " << scale << " at " << x << "," << y;
        if ((x * step + step - 1) / scale == px && (y * step + step - 1) / scale == py)
          samples[py * w + px]++;
      }
    EXPECT_EQ(std::count(samples.begin(), samples.end(), 0), 0) << "a pixel lost its colour at scale " << scale;
  }
  destroy_bitmap(picture);
}

TEST(RecordPixels, PackedRgbAtScaleAndAPictureThatChangesBack)
{
  start_headless();
  constexpr int w = 5, h = 3;
  BITMAP *first = distinct_picture(w, h), *second = filled_bitmap(w, h, makecol16(255, 0, 0));
  for (auto [format, bytes] : {std::pair(pixel_format::bgr0, 4), std::pair(pixel_format::rgb24, 3)})
    for (int scale : {1, 2}) {
      const auto table = component_table(format);
      prepare_conversion(format, w, h, scale);
      ASSERT_EQ(converted_size(), size_t(w * h * scale * scale * bytes));
      // Each call gives its own picture, also one equal to the one before.
      for (BITMAP *picture : {first, first, second, second, first}) {
        const uint8_t *out = convert_frame(picture);
        for (int y = 0; y < h * scale; y++)
          for (int x = 0; x < w * scale; x++)
            ASSERT_EQ(std::memcmp(out + (y * w * scale + x) * bytes,
                                  table[size_t(getpixel(picture, x / scale, y / scale))].data(), size_t(bytes)), 0)
                << ffmpeg_name(format) << " at " << x << "," << y << ", scale " << scale;
      }
    }
  destroy_bitmap(first);
  destroy_bitmap(second);
}

TEST(RecordSound, SilenceThenTheMusicLoopedOrOnceFromAnyFrame)
{
  // At 60 samples a second a frame lasts one sample: music 1 2 3, started
  // after frame 2; silence is 128 in the library's unsigned 8-bit samples.
  music_track music;
  music.data = {1, 2, 3};
  music.bits = 8;
  music.channels = 1;
  music.rate = 60;
  music.start_frame = 2;
  const std::tuple<bool, int64_t, int64_t, std::vector<uint8_t>> cases[] = {  // loop, first, count, sound
      {true, 0, 10, {128, 128, 1, 2, 3, 1, 2, 3, 1, 2}},
      {false, 0, 7, {128, 128, 1, 2, 3, 128, 128}},
      {true, 6, 4, {2, 3, 1, 2}},
      {false, 3, 1, {2}},
      {true, 1, 0, {}},
  };
  std::vector<uint8_t> sound;
  for (const auto &[loop, first, count, expected] : cases) {
    music.loop = loop;
    sound_between(music, first, count, sound);
    EXPECT_EQ(sound, expected) << "loop " << loop << " from " << first;
  }
  // No music: the silence of 16-bit stereo, for as long as the frames last.
  music_track none;
  EXPECT_EQ(samples_in_frames(none, 3146), 3146 * 735);
  sound_between(none, 0, 2, sound);
  const uint16_t silence = 0x8000;
  for (size_t i = 0; i < 4; i++)
    EXPECT_EQ(std::memcmp(sound.data() + 2 * i, &silence, 2), 0);
  // 16-bit stereo from the middle of a loop, whole sample frames.
  music_track stereo;
  stereo.data = {1, 0, 2, 0, 3, 0, 4, 0};  // two frames of two 16-bit samples
  stereo.start_frame = 0;
  stereo.loop = true;
  sound_between(stereo, 3, 2, sound);
  EXPECT_EQ(sound, (std::vector<uint8_t>{3, 0, 4, 0, 1, 0, 2, 0}));
}

}  // namespace
