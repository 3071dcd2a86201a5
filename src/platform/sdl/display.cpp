// The show's display: an SDL2 window that presents the 1024x768 picture as
// large as the window or the desktop allows, aspect kept, on black bars.
// To the library it is a page-flipping graphics driver: pages are video
// bitmaps in memory it owns, show_video_bitmap presents one, and vsync waits
// for the next tick of the show's clock and presents the screen.
#include <SDL.h>
#include <allegro.h>
#include <allegro/internal/aintern.h>
#include <unistd.h>

#include <array>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>

#include "platform/sdl/sdl.h"
#include "platform/platform.h"

static SDL_Window *window;
static presenting way;                  // how the picture reaches the window
static SDL_Renderer *renderer;          // OpenGL's, where it presents
static SDL_Texture *texture;
static bool on_window_buffers;          // the window's pixels are the system's buffers
static int output_w, output_h;          // what the fit is for
static picture_fit fit;
static int widest_picture;              // 0, or narrower where presenting wider cost too much
static present_costs costs;
static unsigned fit_number;             // a new one for every fit, so each buffer repaints its bars
static std::array<unsigned, window_buffer_count> bars_painted_for;
static unsigned char *screen_pixels;    // the screen's own rows, before any page is shown
static BITMAP *visible;                 // the bitmap presented last
static bool close_requested;
static bool on_x11;                     // SDL shows on an X display
static bool opengl_probed;
static opengl_finding opengl_found;
static std::string opengl_problem;      // why there is no OpenGL, where the probe found none

// An OpenGL that the processor emulates (llvmpipe, softpipe) costs several
// times what the processor's own drawing costs for the same picture.
static bool renders_on_the_processor()
{
  constexpr unsigned gl_renderer = 0x1F01;
  using get_string_fn = const unsigned char *(*)(unsigned);
  auto get_string = reinterpret_cast<get_string_fn>(SDL_GL_GetProcAddress("glGetString"));
  const char *name = get_string ? reinterpret_cast<const char *>(get_string(gl_renderer)) : nullptr;
  return name && (std::strstr(name, "llvmpipe") || std::strstr(name, "softpipe") ||
                  std::strstr(name, "Software"));
}

// Runs apart from the show (start_probe): whether an OpenGL context can be
// made here, and on what. It writes "card", "processor", or "none " and
// SDL's reason. A context is enough to tell, and costs a fraction of what
// SDL's renderer costs on top (its shaders, compiled by an emulated OpenGL).
static void probe_opengl(int out)
{
  SDL_Window *probe_window = SDL_InitSubSystem(SDL_INIT_VIDEO) == 0
                                 ? SDL_CreateWindow("", 0, 0, 64, 64, SDL_WINDOW_OPENGL | SDL_WINDOW_HIDDEN)
                                 : nullptr;
  SDL_GLContext context = probe_window ? SDL_GL_CreateContext(probe_window) : nullptr;
  const std::string said = !context                     ? std::string("none ") + SDL_GetError()
                           : renders_on_the_processor() ? "processor"
                                                        : "card";
  (void)!write(out, said.data(), said.size());
}

static void take_opengl_finding()
{
  opengl_probed = true;
  opengl_found = opengl_finding::none;
  std::string said;
  if (!probe_finding(said))
    opengl_problem = "its probe failed: " + said;
  else if (said == "card")
    opengl_found = opengl_finding::on_card;
  else if (said == "processor")
    opengl_found = opengl_finding::on_processor;
  else
    opengl_problem = said.substr(said.find(' ') + 1);
}

// Names the display that cannot take the show, and why, in allegro_error:
// the display's own refusal, or what SDL answered when it tried to connect.
static void say_no_display(const char *driver, const char *refusal, const char *sdl_answer)
{
  const bool wayland = driver && std::strncmp(driver, "wayland", 7) == 0;
  const char *name = std::getenv(wayland ? "WAYLAND_DISPLAY" : "DISPLAY");
  const char *kind = wayland ? "Wayland" : "X";
  name = name ? name : "wayland-0";
  if (!wayland && !std::getenv("DISPLAY"))
    std::snprintf(allegro_error, ALLEGRO_ERROR_SIZE, "no display to show on: neither DISPLAY nor WAYLAND_DISPLAY is set");
  else if (refusal)
    std::snprintf(allegro_error, ALLEGRO_ERROR_SIZE, "cannot show on the %s display %s: %s", kind, name, refusal);
  else
    std::snprintf(allegro_error, ALLEGRO_ERROR_SIZE, "cannot connect to the %s display %s (SDL: %s)", kind, name,
                  sdl_answer);
}

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
  // Without a graphics card the processor writes the window's own pixels:
  // never through an OpenGL that it emulates, at four times the cost.
  SDL_SetHint(SDL_HINT_FRAMEBUFFER_ACCELERATION, "0");
  // In a browser the show's clock gives the page its turn between frames;
  // SDL would give it one more after every present.
  SDL_SetHint(SDL_HINT_EMSCRIPTEN_ASYNCIFY, "0");
  // Only a display that is there: probing for a missing Wayland prints to stderr.
  if (!SDL_GetHint(SDL_HINT_VIDEODRIVER))
    SDL_SetHint(SDL_HINT_VIDEODRIVER, display_video_driver());
  const char *wanted = SDL_GetHint(SDL_HINT_VIDEODRIVER);
  watch_display_start();
  std::string refusal;
  if (!display_can_take_the_show(wanted, refusal)) {
    watch_display(false);
    say_no_display(wanted, refusal.c_str(), nullptr);
    return false;
  }
  // OpenGL is tried apart, as its libraries can fail in ways that end a
  // process; the show connects meanwhile.
  if (!SDL_GetHint(SDL_HINT_RENDER_DRIVER))
    start_probe(probe_opengl);
  lend_random_sequence();
  const int failed = SDL_InitSubSystem(SDL_INIT_VIDEO);
  take_back_random_sequence();
  const char *driver = failed ? nullptr : SDL_GetCurrentVideoDriver();
  on_x11 = driver && std::strcmp(driver, "x11") == 0;
  watch_display(on_x11);
  if (failed) {
    say_no_display(wanted, nullptr, SDL_GetError());
    return false;
  }
  // SDL falls back to drivers that show nothing when there is no display.
  for (const char *shows : {"x11", "wayland", "emscripten"})
    if (std::strcmp(driver, shows) == 0)
      return true;
  SDL_QuitSubSystem(SDL_INIT_VIDEO);
  say_no_display(wanted, nullptr, "no driver of SDL's shows on it");
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

// The picture as large as the output allows, or no wider than a slow
// display was found to present in time; a new output size tries the whole
// size again.
static void fit_to(int w, int h)
{
  if (w != output_w || h != output_h)
    widest_picture = 0;
  output_w = w;
  output_h = h;
  fit = fit_picture(w, h, sdl_display.w, sdl_display.h, widest_picture);
  fit_number++;
  costs = {};
  if (texture)
    SDL_SetTextureScaleMode(texture, fit.sharp ? SDL_ScaleModeNearest : SDL_ScaleModeLinear);
}

static void fit_to_output()
{
  int w = 0, h = 0;
  if (!renderer)
    SDL_GetWindowSize(window, &w, &h);
  else if (SDL_GetRendererOutputSize(renderer, &w, &h) != 0)
    w = h = 0;
  fit_to(w, h);
}

static void present_with_opengl(BITMAP *bmp)
{
  SDL_UpdateTexture(texture, nullptr, bmp->line[0], int(bmp->line[1] - bmp->line[0]));
  SDL_SetRenderDrawColor(renderer, 0, 0, 0, 255);
  SDL_RenderClear(renderer);
  SDL_RenderCopy(renderer, texture, nullptr, &fit.rect);
  SDL_RenderPresent(renderer);
}

// The bars stay in the window's pixels from one present to the next, so
// only the picture is drawn and sent, but for the first present into each
// buffer after a new fit.
static void present_in_window_pixels(BITMAP *bmp)
{
  int number = 0;
  SDL_Surface *target =
      on_window_buffers ? next_window_buffer(output_w, output_h, number) : SDL_GetWindowSurface(window);
  if (!target)
    return;
  if (target->w != output_w || target->h != output_h)
    fit_to(target->w, target->h);
  const bool bars = bars_painted_for[size_t(number)] != fit_number;
  if (!draw_into_surface(target, bmp, fit, bars))
    return;
  bars_painted_for[size_t(number)] = fit_number;
  const SDL_Rect whole = {0, 0, target->w, target->h};
  const SDL_Rect &changed = bars ? whole : fit.rect;
  if (on_window_buffers)
    show_window_buffer(changed);
  else
    SDL_UpdateWindowSurfaceRects(window, &changed, 1);
}

// Where the processor presents, a picture that costs it too much to keep
// the show's pace (a very large screen) gets smaller, rather than every
// scene slower.
static void present(BITMAP *bmp)
{
  visible = bmp;
  const std::clock_t started = std::clock();
  if (renderer)
    present_with_opengl(bmp);
  else
    present_in_window_pixels(bmp);
  const auto spent_ns = int64_t(double(std::clock() - started) * 1e9 / CLOCKS_PER_SEC);
  if (way == presenting::card_opengl || !presents_too_slow(costs, spent_ns))
    return;
  const int narrower = narrower_picture(fit, sdl_display.w);
  if (narrower > 0) {
    widest_picture = narrower;
    fit_to(output_w, output_h);
  }
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

static bool open_window_pixels()
{
  if (SDL_GetWindowSurface(window))
    return true;
  const std::string why = SDL_GetError();
  on_window_buffers = open_window_buffers(window);
  if (!on_window_buffers)
    SDL_SetError("%s", why.c_str());
  return on_window_buffers;
}

static bool open_opengl(int w, int h)
{
  renderer = SDL_CreateRenderer(window, -1, SDL_RENDERER_ACCELERATED | SDL_RENDERER_PRESENTVSYNC);
  texture = renderer ? SDL_CreateTexture(renderer, SDL_PIXELFORMAT_RGB565, SDL_TEXTUREACCESS_STREAMING, w, h)
                     : nullptr;
  if (texture)
    return true;
  if (renderer)
    SDL_DestroyRenderer(renderer);
  renderer = nullptr;
  return false;
}

// The first way that can be made, of those presenting_order gives; where
// none can, problem says what each one tried answered.
static presenting start_presenting(int w, int h, std::string &problem)
{
  const char *render_driver = SDL_GetHint(SDL_HINT_RENDER_DRIVER);
  std::string opengl_answer = render_driver ? "" : opengl_problem, pixels_answer;
  for (presenting candidate : presenting_order(render_driver ? opengl_finding::none : opengl_found, render_driver)) {
    if (candidate == presenting::none)
      break;
    const bool pixels = candidate == presenting::window_pixels;
    if (pixels ? open_window_pixels() : open_opengl(w, h))
      return candidate;
    (pixels ? pixels_answer : opengl_answer) = SDL_GetError();
  }
  auto told = [](const std::string &answer) { return answer.empty() ? std::string("not tried") : answer; };
  problem = "Nothing can draw the picture here. OpenGL: " + told(opengl_answer) +
            "; the window's own pixels: " + told(pixels_answer);
  return presenting::none;
}

static void close_window(BITMAP *)
{
  watch_window(nullptr);
  if (on_window_buffers)
    close_window_buffers();
  on_window_buffers = false;
  if (window)
    SDL_DestroyWindow(window);  // with its renderer and texture
  window = nullptr;
  renderer = nullptr;
  texture = nullptr;
  way = presenting::none;
  delete[] screen_pixels;
  screen_pixels = nullptr;
  visible = nullptr;
}

static BITMAP *open_window(int w, int h, int v_w, int v_h, int depth)
{
  if (depth != 16 || (v_w && v_w != w) || (v_h && v_h != h)) {
    ustrzcpy(allegro_error, ALLEGRO_ERROR_SIZE, "Only a 16-bit picture without a virtual screen");
    return nullptr;
  }
  sdl_display.w = w;
  sdl_display.h = h;
  // Before the window appears, so that its first picture follows at once.
  if (!SDL_GetHint(SDL_HINT_RENDER_DRIVER) && !opengl_probed)
    take_opengl_finding();
  lend_random_sequence();
  // A compositor that ends while the window is made leaves SDL waiting for
  // it for ever.
  watch_display_start();
  window = create_window(w, h);
  watch_display(on_x11);
  if (window)
    set_window_icon(window);
  std::string problem;
  way = window ? start_presenting(w, h, problem) : presenting::none;
  take_back_random_sequence();
  screen_pixels = way != presenting::none ? new unsigned char[size_t(w) * size_t(h) * 2] : nullptr;
  if (!screen_pixels) {
    ustrzcpy(allegro_error, ALLEGRO_ERROR_SIZE, window ? problem.c_str() : SDL_GetError());
    close_window(nullptr);
    return nullptr;
  }
  watch_window(window);
  output_w = output_h = 0;
  fit_to_output();
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

static void take_window_event(const SDL_Event &event)
{
  switch (event.window.event) {
    case SDL_WINDOWEVENT_SIZE_CHANGED:
    case SDL_WINDOWEVENT_EXPOSED:
      fit_to_output();
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
        if (display_connection_broken(window))
          leave_lost_display("the connection to the display was lost\n");
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
