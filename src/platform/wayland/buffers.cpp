// Shared-memory buffers on the show's own Wayland surface. SDL has no pixels
// of its own for a Wayland window: without a graphics card it would draw
// through an OpenGL that the processor emulates, at four times the cost of
// X11's shared memory. These buffers cost what X11's do: the picture is
// scaled into one, and the compositor takes it as it is.
#include <SDL_syswm.h>
#include <sys/mman.h>
#include <unistd.h>
#include <wayland-client.h>

#include <array>
#include <cstdint>
#include <cstring>

#include "platform/sdl/sdl.h"

struct window_buffer {
  wl_buffer *buffer;
  SDL_Surface *pixels;  // over the buffer's shared memory
  bool held;            // by the compositor, until it releases it
};

static wl_display *display;
static wl_surface *surface;
static wl_event_queue *queue;  // the buffers' events, apart from SDL's
static wl_shm *shm;
static std::array<window_buffer, window_buffer_count> buffers;
static int buffers_w, buffers_h;
static void *memory;
static size_t memory_size;
static int handed_out;

static void take_global(void *, wl_registry *registry, uint32_t name, const char *interface, uint32_t)
{
  if (std::strcmp(interface, wl_shm_interface.name) == 0)
    shm = static_cast<wl_shm *>(wl_registry_bind(registry, name, &wl_shm_interface, 1));
}

static void drop_global(void *, wl_registry *, uint32_t) {}

static const wl_registry_listener registry_listener = {take_global, drop_global};

static void released(void *buffer, wl_buffer *)
{
  static_cast<window_buffer *>(buffer)->held = false;
}

static const wl_buffer_listener buffer_listener = {released};

static void drop_buffers()
{
  for (window_buffer &b : buffers) {
    if (b.buffer)
      wl_buffer_destroy(b.buffer);
    SDL_FreeSurface(b.pixels);
    b = {};
  }
  if (memory)
    munmap(memory, memory_size);
  memory = nullptr;
  buffers_w = buffers_h = 0;
}

static bool make_buffers(int w, int h)
{
  const int pitch = w * 4;
  const size_t size = size_t(pitch) * size_t(h);
  memory_size = size * buffers.size();
  const int fd = memfd_create("starloom-frames", MFD_CLOEXEC);
  if (fd < 0)
    return false;
  void *mapped = ftruncate(fd, off_t(memory_size)) == 0
                     ? mmap(nullptr, memory_size, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0)
                     : MAP_FAILED;
  if (mapped == MAP_FAILED) {
    close(fd);
    return false;
  }
  memory = mapped;
  wl_shm_pool *pool = wl_shm_create_pool(shm, fd, int32_t(memory_size));
  close(fd);
  for (size_t i = 0; i < buffers.size(); i++) {
    window_buffer &b = buffers[i];
    void *pixels = static_cast<unsigned char *>(memory) + size * i;
    b.buffer = wl_shm_pool_create_buffer(pool, int32_t(size * i), w, h, pitch, WL_SHM_FORMAT_XRGB8888);
    wl_buffer_add_listener(b.buffer, &buffer_listener, &b);
    b.pixels = SDL_CreateRGBSurfaceWithFormatFrom(pixels, w, h, 32, pitch, SDL_PIXELFORMAT_RGB888);
    b.held = false;
  }
  wl_shm_pool_destroy(pool);
  buffers_w = w;
  buffers_h = h;
  for (const window_buffer &b : buffers)
    if (!b.pixels) {
      drop_buffers();
      return false;
    }
  return true;
}

void close_window_buffers()
{
  drop_buffers();
  if (shm)
    wl_proxy_destroy(reinterpret_cast<wl_proxy *>(shm));
  if (queue)
    wl_event_queue_destroy(queue);
  shm = nullptr;
  queue = nullptr;
  display = nullptr;
  surface = nullptr;
}

bool open_window_buffers(SDL_Window *window)
{
  SDL_SysWMinfo info;
  SDL_VERSION(&info.version);
  if (!SDL_GetWindowWMInfo(window, &info) || info.subsystem != SDL_SYSWM_WAYLAND)
    return false;
  display = info.info.wl.display;
  surface = info.info.wl.surface;
  queue = wl_display_create_queue(display);
  auto *on_queue = static_cast<wl_display *>(wl_proxy_create_wrapper(display));
  wl_proxy_set_queue(reinterpret_cast<wl_proxy *>(on_queue), queue);
  wl_registry *registry = wl_display_get_registry(on_queue);
  wl_proxy_wrapper_destroy(on_queue);
  wl_registry_add_listener(registry, &registry_listener, nullptr);
  wl_display_roundtrip_queue(display, queue);
  wl_registry_destroy(registry);
  if (shm)
    return true;
  SDL_SetError("The Wayland display offers no shared memory");
  close_window_buffers();
  return false;
}

// SDL's event pump reads the compositor's events; the releases among them
// are taken here.
SDL_Surface *next_window_buffer(int w, int h, int &number)
{
  wl_display_dispatch_queue_pending(display, queue);
  if (w != buffers_w || h != buffers_h) {
    drop_buffers();
    if (w <= 0 || h <= 0 || !make_buffers(w, h))
      return nullptr;
  }
  for (size_t i = 0; i < buffers.size(); i++)
    if (!buffers[i].held) {
      handed_out = int(i);
      number = int(i);
      return buffers[i].pixels;
    }
  return nullptr;
}

void show_window_buffer(const SDL_Rect &changed)
{
  window_buffer &b = buffers[size_t(handed_out)];
  wl_surface_attach(surface, b.buffer, 0, 0);
  wl_surface_damage_buffer(surface, changed.x, changed.y, changed.w, changed.h);
  wl_surface_commit(surface);
  b.held = true;
  wl_display_flush(display);
}
