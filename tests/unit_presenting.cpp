// How the window presents the picture: the ways tried in turn, where the
// picture lands on outputs of every size, when a slow display gets a smaller
// one, and the processor's drawing into the window's own pixels.
#include <gtest/gtest.h>

#include <SDL.h>

#include <cstdint>
#include <cstring>
#include <utility>

#include "headless.h"
#include "platform/sdl/sdl.h"

namespace {

using enum presenting;

TEST(PresentingOrder, AGraphicsCardFirstTheProcessorsOwnPixelsNextAndAnEmulatedOpenGLLast)
{
  struct row {
    opengl_finding found;
    const char *render_driver;
    std::array<presenting, 3> order;
  } rows[] = {
      {opengl_finding::on_card, nullptr, {card_opengl, window_pixels, none}},
      {opengl_finding::on_processor, nullptr, {window_pixels, processor_opengl, none}},
      {opengl_finding::none, nullptr, {window_pixels, none, none}},
      // SDL_RENDER_DRIVER names the one way, whatever the probe found.
      {opengl_finding::none, "software", {window_pixels, none, none}},
      {opengl_finding::on_processor, "opengl", {card_opengl, none, none}},
      {opengl_finding::on_card, "opengles2", {card_opengl, none, none}},
  };
  for (const row &r : rows)
    EXPECT_EQ(presenting_order(r.found, r.render_driver), r.order)
        << int(r.found) << " " << (r.render_driver ? r.render_driver : "(no SDL_RENDER_DRIVER)");
}

TEST(FitPicture, AsLargeAsFitsCentredAndSharpFromTwiceThePictureEachWay)
{
  struct row {
    int out_w, out_h, widest;
    SDL_Rect rect;
    bool sharp;
  } rows[] = {
      {1024, 768, 0, {0, 0, 1024, 768}, true},
      {1920, 1080, 0, {240, 0, 1440, 1080}, false},
      {800, 600, 0, {0, 0, 800, 600}, false},
      {1024, 1000, 0, {0, 116, 1024, 768}, true},
      {2560, 1600, 0, {256, 32, 2048, 1536}, true},
      {2047, 1536, 0, {0, 0, 2047, 1535}, false},  // not quite twice: smooth
      {3840, 2160, 0, {896, 312, 2048, 1536}, true},
      {7680, 4320, 0, {1280, 240, 5120, 3840}, true},
      // A slow display's limit: the largest whole multiple within it, or a
      // smooth scale of that width.
      {7680, 4320, 4096, {1792, 624, 4096, 3072}, true},
      {7680, 4320, 3000, {2816, 1392, 2048, 1536}, true},
      {7680, 4320, 1024, {3328, 1776, 1024, 768}, true},
      {1920, 1080, 1080, {420, 135, 1080, 810}, false},
      {0, 0, 0, {0, 0, 1024, 768}, true},  // an output of unknown size
  };
  for (const row &r : rows) {
    const picture_fit fit = fit_picture(r.out_w, r.out_h, 1024, 768, r.widest);
    const SDL_Rect &got = fit.rect;
    EXPECT_TRUE(got.x == r.rect.x && got.y == r.rect.y && got.w == r.rect.w && got.h == r.rect.h &&
                fit.sharp == r.sharp)
        << r.out_w << "x" << r.out_h << " widest " << r.widest << ": " << got.w << "x" << got.h << " at "
        << got.x << "," << got.y << (fit.sharp ? " sharp" : " smooth");
  }
}

TEST(NarrowerPicture, StepsDownWholeMultiplesOrSmoothScalesToThePicturesOwnSize)
{
  std::vector<int> widths;
  int widest = 0;
  do {
    const picture_fit fit = fit_picture(7680, 4320, 1024, 768, widest);
    widths.push_back(fit.rect.w);
    widest = narrower_picture(fit, 1024);
  } while (widest > 0 && widths.size() < 10);
  EXPECT_EQ(widths, (std::vector<int>{5120, 4096, 3072, 2048, 1024}));

  widths.clear();
  widest = 0;
  do {
    const picture_fit fit = fit_picture(1920, 1080, 1024, 768, widest);
    widths.push_back(fit.rect.w);
    widest = narrower_picture(fit, 1024);
  } while (widest > 0 && widths.size() < 10);
  EXPECT_EQ(widths, (std::vector<int>{1440, 1080, 1024}));

  EXPECT_EQ(narrower_picture(fit_picture(800, 600, 1024, 768, 0), 1024), 0) << "nothing below a small screen";
}

TEST(PresentsTooSlow, TheMedianOfTenPresentsOverTheBudgetAndNotTheOddSlowOne)
{
  constexpr int64_t slow = presenting_budget_ns + 1, quick = presenting_budget_ns / 4;
  struct row {
    int slow_ones;
    int64_t slow_ns;
    bool too_slow;
  } rows[] = {
      {10, slow, true},
      {6, slow, true},
      {5, slow, false},                  // the median is then the faster half's slowest
      {4, 100 * presenting_budget_ns, false},  // a few stalls, however long
      {0, slow, false},
  };
  for (const row &r : rows) {
    present_costs costs = {};
    for (int i = 0; i < presents_measured - 1; i++)
      ASSERT_FALSE(presents_too_slow(costs, i < r.slow_ones ? r.slow_ns : quick)) << "judged before ten";
    EXPECT_EQ(presents_too_slow(costs, r.slow_ones == presents_measured ? r.slow_ns : quick), r.too_slow)
        << r.slow_ones << " slow presents of ten";
    EXPECT_EQ(costs.count, 0) << "the next ten are counted afresh";
  }
}

// A picture with a different colour in every pixel, so that any pixel put
// in the wrong place shows.
class WindowPixels : public testing::Test {
 protected:
  static constexpr int w = 8, h = 6;
  BITMAP *picture = nullptr;

  void SetUp() override
  {
    start_headless(w, h);
    picture = create_bitmap(w, h);
    for (int y = 0; y < h; y++)
      for (int x = 0; x < w; x++)
        putpixel(picture, x, y, makecol16(x * 32, y * 40, 255 - x * 20 - y * 10));
  }
  void TearDown() override { destroy_bitmap(picture); }

  // The picture's pixel as 8-bit red, green and blue, widened as the display widens it.
  static uint32_t widened(int pixel)
  {
    auto widen = [](int v, int bits) { return uint32_t(v << (8 - bits) | v >> (2 * bits - 8)); };
    return widen(pixel >> 11, 5) << 16 | widen((pixel >> 5) & 63, 6) << 8 | widen(pixel & 31, 5);
  }

  // A pixel of the target as 8-bit red, green and blue: 5-6-5 widened as
  // above, 10-bit narrowed (SDL reads neither so).
  static uint32_t read(SDL_Surface *s, int x, int y)
  {
    const unsigned char *at = static_cast<unsigned char *>(s->pixels) + y * s->pitch + x * s->format->BytesPerPixel;
    uint32_t v = 0;
    std::memcpy(&v, at, size_t(s->format->BytesPerPixel));
    if (s->format->format == SDL_PIXELFORMAT_RGB565)
      return widened(int(v));
    if (s->format->format == SDL_PIXELFORMAT_ARGB2101010)
      return (v >> 22 & 255) << 16 | (v >> 12 & 255) << 8 | (v >> 2 & 255);
    uint8_t r, g, b;
    SDL_GetRGB(v, s->format, &r, &g, &b);
    return uint32_t(r) << 16 | uint32_t(g) << 8 | b;
  }
};

constexpr uint32_t window_formats[] = {SDL_PIXELFORMAT_RGB565, SDL_PIXELFORMAT_RGB888, SDL_PIXELFORMAT_BGR888,
                                       SDL_PIXELFORMAT_ARGB2101010};

TEST_F(WindowPixels, OwnSizeAndWholeMultiplesArePixelForPixelInEveryFormat)
{
  for (uint32_t format : window_formats)
    for (auto [out_w, out_h] : {std::pair{w, h + 3}, std::pair{2 * w + 4, 2 * h}, std::pair{3 * w, 3 * h + 1}}) {
      SDL_Surface *target = SDL_CreateRGBSurfaceWithFormat(0, out_w, out_h, 32, format);
      ASSERT_NE(target, nullptr);
      const picture_fit fit = fit_picture(out_w, out_h, w, h, 0);
      ASSERT_TRUE(fit.sharp);
      ASSERT_TRUE(draw_into_surface(target, picture, fit, true)) << SDL_GetPixelFormatName(format);
      const int times = fit.rect.w / w;
      int wrong = 0;
      for (int y = 0; y < out_h; y++)
        for (int x = 0; x < out_w; x++) {
          const int px = x - fit.rect.x, py = y - fit.rect.y;
          const bool inside = px >= 0 && py >= 0 && px < fit.rect.w && py < fit.rect.h;
          const uint32_t expected = inside ? widened(getpixel(picture, px / times, py / times)) : 0;
          wrong += read(target, x, y) != expected;
        }
      EXPECT_EQ(wrong, 0) << SDL_GetPixelFormatName(format) << " " << out_w << "x" << out_h;
      SDL_FreeSurface(target);
    }
}

TEST_F(WindowPixels, SmoothScaleKeepsAFlatPictureFlatInEveryFormat)
{
  clear_to_color(picture, makecol16(200, 100, 40));
  for (uint32_t format : window_formats) {
    SDL_Surface *target = SDL_CreateRGBSurfaceWithFormat(0, 12, 12, 32, format);
    const picture_fit fit = fit_picture(12, 12, w, h, 0);
    ASSERT_FALSE(fit.sharp);
    ASSERT_TRUE(draw_into_surface(target, picture, fit, true));
    int wrong = 0;
    for (int y = fit.rect.y; y < fit.rect.y + fit.rect.h; y++)
      for (int x = fit.rect.x; x < fit.rect.x + fit.rect.w; x++)
        wrong += read(target, x, y) != widened(getpixel(picture, 0, 0));
    EXPECT_EQ(wrong, 0) << SDL_GetPixelFormatName(format) << ", picture at " << fit.rect.w << "x" << fit.rect.h;
    EXPECT_EQ(read(target, 0, 0), 0u) << "the bar above the picture";
    SDL_FreeSurface(target);
  }
}

// After the first present into a buffer, only the picture is drawn: what
// lies around it is left as it is.
TEST_F(WindowPixels, WithoutBarsOnlyThePicturesPlaceChanges)
{
  SDL_Surface *target = SDL_CreateRGBSurfaceWithFormat(0, 2 * w + 6, 2 * h, 32, SDL_PIXELFORMAT_RGB888);
  SDL_FillRect(target, nullptr, 0x123456);  // 8-8-8: as read()
  const picture_fit fit = fit_picture(target->w, target->h, w, h, 0);
  ASSERT_TRUE(draw_into_surface(target, picture, fit, false));
  EXPECT_EQ(read(target, 0, 0), 0x123456u);
  EXPECT_EQ(read(target, target->w - 1, target->h - 1), 0x123456u);
  EXPECT_EQ(read(target, fit.rect.x, fit.rect.y), widened(getpixel(picture, 0, 0)));
  ASSERT_TRUE(draw_into_surface(target, picture, fit, true));
  EXPECT_EQ(read(target, 0, 0), 0u);
  EXPECT_EQ(read(target, target->w - 1, target->h - 1), 0u);
  SDL_FreeSurface(target);
}

// A fit made for another size (the window changed in between) must not
// write outside the pixels it is given.
TEST_F(WindowPixels, AFitLargerThanTheTargetIsRefused)
{
  SDL_Surface *target = SDL_CreateRGBSurfaceWithFormat(0, w, h, 32, SDL_PIXELFORMAT_RGB888);
  EXPECT_FALSE(draw_into_surface(target, picture, fit_picture(2 * w, 2 * h, w, h, 0), true));
  EXPECT_FALSE(draw_into_surface(target, picture, fit_picture(w + 2, h, w, h, 0), true));
  SDL_FreeSurface(target);
}

}  // namespace
