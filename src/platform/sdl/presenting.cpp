// How the window presents the picture: the ways it tries, where the picture
// lands, and when it gets smaller because presenting it costs too much.
#include <algorithm>
#include <cstdint>
#include <cstring>

#include "platform/platform.h"
#include "platform/sdl/sdl.h"

std::array<presenting, 3> presenting_order(opengl_finding found, const char *render_driver)
{
  using enum presenting;
  if (render_driver)
    return {std::strcmp(render_driver, "software") == 0 ? window_pixels : card_opengl, none, none};
  switch (found) {
    case opengl_finding::on_card:
      return {card_opengl, window_pixels, none};
    case opengl_finding::on_processor:
      return {window_pixels, processor_opengl, none};
    case opengl_finding::none:
      break;
  }
  return {window_pixels, none, none};
}

picture_fit fit_picture(int out_w, int out_h, int pic_w, int pic_h, int widest)
{
  picture_fit fit = {{0, 0, pic_w, pic_h}, true};
  if (out_w <= 0 || out_h <= 0)
    return fit;
  const int room_w = widest > 0 ? std::min(out_w, widest) : out_w;
  SDL_Rect &r = fit.rect;
  if (room_w >= 2 * pic_w && out_h >= 2 * pic_h) {
    const int times = std::min(room_w / pic_w, out_h / pic_h);
    r.w = pic_w * times;
    r.h = pic_h * times;
  } else if (int64_t(room_w) * pic_h <= int64_t(out_h) * pic_w) {
    r.w = room_w;
    r.h = int(int64_t(room_w) * pic_h / pic_w);
  } else {
    r.w = int(int64_t(out_h) * pic_w / pic_h);
    r.h = out_h;
  }
  fit.sharp = r.w % pic_w == 0 && r.h == r.w / pic_w * pic_h;
  r.x = (out_w - r.w) / 2;
  r.y = (out_h - r.h) / 2;
  return fit;
}

int narrower_picture(const picture_fit &fit, int pic_w)
{
  const int w = fit.rect.w;
  if (w <= pic_w)
    return 0;
  if (fit.sharp)
    return w - pic_w;
  return std::max(pic_w, w * 3 / 4);
}

bool presents_too_slow(present_costs &costs, int64_t present_ns)
{
  costs.ns[size_t(costs.count++)] = present_ns;
  if (costs.count < presents_measured)
    return false;
  auto middle = costs.ns.begin() + (presents_measured - 1) / 2;
  std::nth_element(costs.ns.begin(), middle, costs.ns.end());
  costs.count = 0;
  return *middle > presenting_budget_ns;
}
