// The show's display: an SDL2 window that presents the 1024x768 picture as
// large as the window or the desktop allows, aspect kept, on black bars.
// To the library it is a page-flipping graphics driver: pages are video
// bitmaps in memory it owns, show_video_bitmap presents one, and vsync waits
// for the next tick of the show's clock and presents the screen.
#include <SDL.h>
#include <allegro.h>
#include <allegro/internal/aintern.h>

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "platform/sdl/sdl.h"
#include "platform/platform.h"

static SDL_Window *window;
static SDL_Renderer *renderer;
static SDL_Texture *texture;
static Uint32 widened_format;           // a 32-bit texture filled from the 16-bit rows, or 0
static SDL_Rect picture;                // where the picture lands in the output
static SDL_ScaleMode picture_scaling = SDL_ScaleModeLinear;
static bool picture_fills_output;       // no bars around it to clear
static unsigned char *screen_pixels;    // the screen's own rows, before any page is shown
static BITMAP *visible;                 // the bitmap presented last
static bool close_requested;

bool open_sdl_video()
{
  // The show handles signals itself; a show in full screen stays up when the
  // viewer switches to another window.
  SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
  SDL_SetHint(SDL_HINT_VIDEO_MINIMIZE_ON_FOCUS_LOSS, "0");
  SDL_SetHint(SDL_HINT_APP_NAME, show_name);
  // The window's class is the installed program's name wherever it was
  // started from, so desktops match it to starloom.desktop. A class set
  // in the environment stays.
  SDL_setenv("SDL_VIDEO_X11_WMCLASS", program_name, 0);
  SDL_setenv("SDL_VIDEO_WAYLAND_WMCLASS", program_name, 0);
  // Without a graphics card, SDL's software renderer draws straight into
  // the X server's shared memory, at a quarter of the cost of a software
  // OpenGL.
  SDL_SetHint(SDL_HINT_FRAMEBUFFER_ACCELERATION, "0");
  // In a browser the show's clock gives the page its turn between frames;
  // SDL would give it one more after every present.
  SDL_SetHint(SDL_HINT_EMSCRIPTEN_ASYNCIFY, "0");
  // Only a display that is there: probing for a missing Wayland prints to stderr.
  if (!SDL_GetHint(SDL_HINT_VIDEODRIVER))
    SDL_SetHint(SDL_HINT_VIDEODRIVER, display_video_driver());
  lend_random_sequence();
  watch_display_start();
  const int failed = SDL_InitSubSystem(SDL_INIT_VIDEO);
  take_back_random_sequence();
  const char *driver = failed ? nullptr : SDL_GetCurrentVideoDriver();
  watch_display(driver && std::strcmp(driver, "x11") == 0);
  if (failed) {
    ustrzcpy(allegro_error, ALLEGRO_ERROR_SIZE, SDL_GetError());
    return false;
  }
  // SDL falls back to drivers that show nothing when there is no display.
  for (const char *shows : {"x11", "wayland", "emscripten"})
    if (driver && std::strcmp(driver, shows) == 0)
      return true;
  SDL_QuitSubSystem(SDL_INIT_VIDEO);
  ustrzcpy(allegro_error, ALLEGRO_ERROR_SIZE, "No display");
  return false;
}

// The monitor under the pointer, where the viewer started the show.
static int starting_display()
{
  int x, y;
  SDL_GetGlobalMouseState(&x, &y);
  const SDL_Point pointer = {x, y};
  for (int i = 0; i < SDL_GetNumVideoDisplays(); i++) {
    SDL_Rect bounds;
    if (SDL_GetDisplayBounds(i, &bounds) == 0 && SDL_PointInRect(&pointer, &bounds))
      return i;
  }
  return 0;
}

// As large as fits, aspect kept; a whole multiple when the output holds at
// least twice the picture each way, so its pixels stay sharp.
static void fit_picture()
{
  int out_w, out_h;
  if (SDL_GetRendererOutputSize(renderer, &out_w, &out_h) != 0 || out_w <= 0 || out_h <= 0)
    return;
  const int w = sdl_display.w, h = sdl_display.h;
  SDL_ScaleMode scaling = SDL_ScaleModeLinear;
  if (out_w >= 2 * w && out_h >= 2 * h) {
    const int times = std::min(out_w / w, out_h / h);
    picture.w = w * times;
    picture.h = h * times;
    scaling = SDL_ScaleModeNearest;
  } else if (int64_t(out_w) * h <= int64_t(out_h) * w) {
    picture.w = out_w;
    picture.h = int(int64_t(out_w) * h / w);
  } else {
    picture.w = int(int64_t(out_h) * w / h);
    picture.h = out_h;
  }
  picture.x = (out_w - picture.w) / 2;
  picture.y = (out_h - picture.h) / 2;
  picture_fills_output = picture.w == out_w && picture.h == out_h;
  if (scaling != picture_scaling) {
    picture_scaling = scaling;
    SDL_SetTextureScaleMode(texture, scaling);
  }
}

// 5-6-5 to 8-8-8 by repeating each field's top bits, which a 16-bit
// display's conversion undoes exactly; red in the third byte (XRGB) or the
// first (XBGR).
template <int red_shift>
static void widen_row(const uint16_t *__restrict from, uint32_t *__restrict to, int n)
{
  constexpr int blue_shift = 16 - red_shift;
  for (int x = 0; x < n; x++) {
    const uint32_t p = from[x];
    const uint32_t r = p >> 11, g = (p >> 5) & 63, b = p & 31;
    to[x] = ((r << 3 | r >> 2) << red_shift) | ((g << 2 | g >> 4) << 8) | ((b << 3 | b >> 2) << blue_shift);
  }
}

template <int red_shift>
static void widen_rows(BITMAP *bmp, unsigned char *pixels, int pitch)
{
  const int w = bmp->w, h = bmp->h;  // locals, so the stores cannot move them
  for (int y = 0; y < h; y++)
    widen_row<red_shift>(reinterpret_cast<const uint16_t *>(bmp->line[y]),
                         reinterpret_cast<uint32_t *>(pixels + size_t(y) * size_t(pitch)), w);
}

static void widen_into_texture(BITMAP *bmp)
{
  void *pixels;
  int pitch;
  if (SDL_LockTexture(texture, nullptr, &pixels, &pitch) != 0)
    return;
  if (widened_format == SDL_PIXELFORMAT_RGB888)
    widen_rows<16>(bmp, static_cast<unsigned char *>(pixels), pitch);
  else
    widen_rows<0>(bmp, static_cast<unsigned char *>(pixels), pitch);
  SDL_UnlockTexture(texture);
}

static void present(BITMAP *bmp)
{
  visible = bmp;
  if (widened_format)
    widen_into_texture(bmp);
  else
    SDL_UpdateTexture(texture, nullptr, bmp->line[0], int(bmp->line[1] - bmp->line[0]));
  if (!picture_fills_output) {
    SDL_SetRenderDrawColor(renderer, 0, 0, 0, 255);
    SDL_RenderClear(renderer);
  }
  SDL_RenderCopy(renderer, texture, nullptr, &picture);
  SDL_RenderPresent(renderer);
}

static bool in_full_screen()
{
  return SDL_GetWindowFlags(window) & SDL_WINDOW_FULLSCREEN;
}

// Back from full screen, the window takes the picture's own size again.
static void set_full_screen(bool full)
{
  if (SDL_SetWindowFullscreen(window, full ? SDL_WINDOW_FULLSCREEN_DESKTOP : 0) != 0)
    return;
  SDL_ShowCursor(full ? SDL_DISABLE : SDL_ENABLE);
  if (!full) {
    const int where = SDL_WINDOWPOS_CENTERED_DISPLAY(SDL_GetWindowDisplayIndex(window));
    SDL_SetWindowSize(window, sdl_display.w, sdl_display.h);
    SDL_SetWindowPosition(window, where, where);
  }
}

// The logo, for the task bar and the window switcher.
static void set_window_icon(SDL_Window *w)
{
  SDL_Surface *icon = SDL_CreateRGBSurfaceWithFormatFrom(const_cast<unsigned char *>(window_icon_rgba),
                                                         window_icon_size, window_icon_size, 32,
                                                         window_icon_size * 4, SDL_PIXELFORMAT_RGBA32);
  if (!icon)
    return;
  SDL_SetWindowIcon(w, icon);
  SDL_FreeSurface(icon);
}

// Full screen covers the monitor the show starts on: through the window
// manager, and by the window's own size and place where there is none. A
// page scales and switches its canvas itself, so there the window keeps the
// picture's size: resizable, SDL would resize the canvas to the page's.
static SDL_Window *create_window(int w, int h)
{
  if (window_in_page())
    return SDL_CreateWindow(show_name, 0, 0, w, h, 0);
  const int display = starting_display();
  SDL_Rect bounds;
  if (start_windowed || SDL_GetDisplayBounds(display, &bounds) != 0) {
    const int where = SDL_WINDOWPOS_CENTERED_DISPLAY(display);
    return SDL_CreateWindow(show_name, where, where, w, h, SDL_WINDOW_RESIZABLE);
  }
  SDL_ShowCursor(SDL_DISABLE);
  return SDL_CreateWindow(show_name, bounds.x, bounds.y, bounds.w, bounds.h,
                          SDL_WINDOW_RESIZABLE | SDL_WINDOW_FULLSCREEN_DESKTOP);
}

// An OpenGL that the processor emulates (llvmpipe, softpipe) costs several
// times what SDL's own software renderer costs for the same picture.
static bool renders_on_the_processor(SDL_Renderer *candidate)
{
  SDL_RendererInfo info;
  if (SDL_GetRendererInfo(candidate, &info) != 0 || std::strncmp(info.name, "opengl", 6) != 0)
    return false;
  constexpr unsigned gl_renderer = 0x1F01;
  using get_string_fn = const unsigned char *(*)(unsigned);
  auto get_string = reinterpret_cast<get_string_fn>(SDL_GL_GetProcAddress("glGetString"));
  const char *name = get_string ? reinterpret_cast<const char *>(get_string(gl_renderer)) : nullptr;
  return name && (std::strstr(name, "llvmpipe") || std::strstr(name, "softpipe") ||
                  std::strstr(name, "Software"));
}

// Accelerated and in step with the display's refresh where there is a
// graphics card; else SDL's software renderer, paced by the show's clock.
static SDL_Renderer *create_renderer()
{
  SDL_Renderer *accelerated = SDL_CreateRenderer(window, -1, SDL_RENDERER_ACCELERATED | SDL_RENDERER_PRESENTVSYNC);
  if (accelerated && !renders_on_the_processor(accelerated))
    return accelerated;
  if (accelerated)
    SDL_DestroyRenderer(accelerated);
  return SDL_CreateRenderer(window, -1, SDL_RENDERER_SOFTWARE);
}

// A graphics card takes the 16-bit picture as it is. SDL's software renderer
// scales quickly only between pictures of the window's own format, and
// copies them fastest, so where the window is 32-bit (a 24-bit desktop, a
// page's canvas) it gets the picture widened to that format.
static SDL_Texture *create_texture(int w, int h)
{
  SDL_RendererInfo info;
  const SDL_Surface *window_surface =
      SDL_GetRendererInfo(renderer, &info) == 0 && (info.flags & SDL_RENDERER_SOFTWARE)
          ? SDL_GetWindowSurface(window)
          : nullptr;
  const Uint32 window_format = window_surface ? window_surface->format->format : 0;
  widened_format =
      window_format == SDL_PIXELFORMAT_RGB888 || window_format == SDL_PIXELFORMAT_BGR888 ? window_format : 0;
  return SDL_CreateTexture(renderer, widened_format ? widened_format : Uint32(SDL_PIXELFORMAT_RGB565),
                           SDL_TEXTUREACCESS_STREAMING, w, h);
}

static BITMAP *open_window(int w, int h, int v_w, int v_h, int depth)
{
  if (depth != 16 || (v_w && v_w != w) || (v_h && v_h != h)) {
    ustrzcpy(allegro_error, ALLEGRO_ERROR_SIZE, "Only a 16-bit picture without a virtual screen");
    return nullptr;
  }
  sdl_display.w = w;
  sdl_display.h = h;
  lend_random_sequence();
  window = create_window(w, h);
  if (window) {
    set_window_icon(window);
    renderer = create_renderer();
  }
  if (renderer)
    texture = create_texture(w, h);
  take_back_random_sequence();
  screen_pixels = texture ? new unsigned char[size_t(w) * size_t(h) * 2] : nullptr;
  if (!screen_pixels) {
    ustrzcpy(allegro_error, ALLEGRO_ERROR_SIZE, SDL_GetError());
    if (window)
      SDL_DestroyWindow(window);
    window = nullptr;
    renderer = nullptr;
    texture = nullptr;
    return nullptr;
  }
  SDL_SetTextureScaleMode(texture, picture_scaling);
  fit_picture();
  // Characters come from the keys themselves; an input method in between
  // would hold back the first keys typed.
  SDL_StopTextInput();
  close_requested = false;
  _rgb_r_shift_16 = 11;
  _rgb_g_shift_16 = 5;
  _rgb_b_shift_16 = 0;
  BITMAP *bmp = _make_bitmap(w, h, uintptr_t(screen_pixels), &sdl_display, 16, w * 2);
  visible = bmp;
  return bmp;
}

static void close_window(BITMAP *)
{
  SDL_DestroyWindow(window);  // with its renderer and texture
  window = nullptr;
  renderer = nullptr;
  texture = nullptr;
  delete[] screen_pixels;
  screen_pixels = nullptr;
  visible = nullptr;
}

static void take_window_event(const SDL_Event &event)
{
  switch (event.window.event) {
    case SDL_WINDOWEVENT_SIZE_CHANGED:
    case SDL_WINDOWEVENT_EXPOSED:
      fit_picture();
      if (visible)
        present(visible);
      break;
    case SDL_WINDOWEVENT_CLOSE:
      close_requested = true;
      break;
  }
}

static bool switches_screen_mode(const SDL_KeyboardEvent &key)
{
  const SDL_Keycode k = key.keysym.sym;
  return k == SDLK_F11 || ((k == SDLK_RETURN || k == SDLK_KP_ENTER) && (key.keysym.mod & KMOD_ALT));
}

void pump_display_events()
{
  SDL_Event event;
  while (SDL_PollEvent(&event)) {
    switch (event.type) {
      case SDL_QUIT:
        close_requested = true;
        break;
      case SDL_WINDOWEVENT:
        take_window_event(event);
        break;
      case SDL_KEYDOWN:
        if (switches_screen_mode(event.key)) {
          if (!event.key.repeat)
            set_full_screen(!in_full_screen());
          break;
        }
        take_key_event(event);
        break;
      case SDL_KEYUP:
        if (!switches_screen_mode(event.key))
          take_key_event(event);
        break;
    }
  }
}

bool window_close_requested()
{
  return close_requested;
}

static void next_tick()
{
  pump_display_events();
  wait_for_show_tick();
}

static void wait_and_present_screen()
{
  next_tick();
  present(screen);
}

// After a flip the screen's rows are the shown page's rows, as on a display
// whose screen is its front buffer: what is drawn on the screen between
// scenes, and what a screenshot reads from it, is what the viewer sees.
static void show_on_screen(BITMAP *page)
{
  for (int y = 0; y < page->h; y++)
    screen->line[y] = page->line[y];
}

static void show_own_rows()
{
  const int pitch = screen->w * 2;
  for (int y = 0; y < screen->h; y++)
    screen->line[y] = screen_pixels + size_t(y) * size_t(pitch);
}

static int flip_to(BITMAP *page)
{
  show_on_screen(page);
  next_tick();
  present(page);
  return 0;
}

static void destroy_page(BITMAP *page)
{
  if (screen && screen->line[0] == page->line[0])
    show_own_rows();
  if (visible == page)
    visible = screen;
  destroy_video_page(page);
}

static GFX_DRIVER make_sdl_display()
{
  GFX_DRIVER driver = {};
  driver.id = sdl_display_id;
  driver.name = driver.desc = driver.ascii_name = "SDL2";
  driver.init = open_window;
  driver.exit = close_window;
  driver.vsync = wait_and_present_screen;
  driver.create_video_bitmap = create_video_page;
  driver.destroy_video_bitmap = destroy_page;
  driver.show_video_bitmap = flip_to;
  driver.linear = TRUE;
  return driver;
}

GFX_DRIVER sdl_display = make_sdl_display();
