// Digital sound: the library's own mixer, pulled by SDL's audio device on
// its own thread, one buffer at a time, instead of a thread of the library's
// that wakes every millisecond to feed ALSA; or, where the system feeds the
// device itself, queued by the system from the show's own loop.
#include <SDL.h>
#include <allegro.h>
#include <allegro/internal/aintern.h>

#include <pthread.h>

#include <atomic>
#include <cstdint>

#include "platform/sdl/sdl.h"
#include "platform/services.h"

static constexpr int sound_rate = 44100;

SDL_AudioDeviceID sound_device;
bool sound_left_to_server = false;

// A device without a clock of its own (ALSA's null device, or a file)
// takes buffers as fast as they come, and the mixer would run flat out.
// The music is never mixed further ahead of real time than this.
static constexpr int64_t most_ahead_ns = 200'000'000;
static int64_t first_buffer_ns;
static int64_t frames_mixed;
// SDL holds the device's lock around each call of the mixer and takes the
// same lock to pause the device before closing it: a mixer that sleeps there
// could keep the show from closing for seconds, so it stops keeping time once
// closing starts.
static std::atomic<bool> closing;

static void keep_to_real_time()
{
  if (closing)
    return;
  const int64_t now = monotonic_ns();
  if (frames_mixed == 0)
    first_buffer_ns = now;
  frames_mixed += sound_buffer_frames;
  sleep_ns(first_buffer_ns + frames_mixed * 1'000'000'000 / sound_rate - most_ahead_ns - now);
}

static void mix_into(void *, Uint8 *buffer, int)
{
  keep_to_real_time();
  _mix_some_samples(uintptr_t(buffer), 0, TRUE);
}

// SDL waits for a sound server's answers without end, and a server can stop
// answering (stopped, or hung) at any moment. So the device is opened and
// closed on a thread of its own, which the show waits for only so long: a
// thread still waiting then is left to the server, and the show goes on
// without music and never calls SDL's sound again.
static constexpr int64_t open_deadline_ns = 3'000'000'000;
static constexpr int64_t close_deadline_ns = 1'000'000'000;
static constexpr int64_t wait_step_ns = 5'000'000;
// Enough for SDL's and the sound libraries' opening, far from the 8 MiB a
// thread reserves by default, which counts against a tight memory limit.
static constexpr size_t call_stack_bytes = size_t(1) << 20;
// One call at a time: none starts once one was left to the server.
static bool (*call_work)();
static bool call_result;
static std::atomic<bool> call_finished;

static void *run_call(void *)
{
  call_result = call_work();
  call_finished.store(true, std::memory_order_release);
  return nullptr;
}

// The result of work(), or false when it has not returned within
// deadline_ns. Where no thread can be had (a system without threads, or one
// at its limit) it runs on this one.
static bool call_in_time(bool (*work)(), int64_t deadline_ns)
{
  if (sound_left_to_server)
    return false;
  call_work = work;
  call_finished = false;
  pthread_attr_t detached;
  pthread_attr_init(&detached);
  pthread_attr_setdetachstate(&detached, PTHREAD_CREATE_DETACHED);
  pthread_attr_setstacksize(&detached, call_stack_bytes);
  pthread_t thread;
  const bool started = pthread_create(&thread, &detached, run_call, nullptr) == 0;
  pthread_attr_destroy(&detached);
  if (!started)
    return work();
  const int64_t end = monotonic_ns() + deadline_ns;
  while (!call_finished.load(std::memory_order_acquire) && monotonic_ns() < end)
    sleep_ns(wait_step_ns);
  if (!call_finished.load(std::memory_order_acquire)) {
    sound_left_to_server = true;
    return false;
  }
  return call_result;
}

static SDL_AudioDeviceID opened_device;

static bool open_on_own_thread()
{
  quieten_sound_probes();
  if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0)
    return false;
  SDL_AudioSpec wanted = {};
  wanted.freq = sound_rate;
  wanted.format = AUDIO_S16SYS;
  wanted.channels = sound_channels;
  wanted.samples = sound_buffer_frames;
  wanted.callback = sound_fed_by_system ? nullptr : mix_into;
  // SDL converts to whatever the device takes, so the mixer always fills
  // buffers of exactly this shape.
  opened_device = SDL_OpenAudioDevice(nullptr, 0, &wanted, nullptr, 0);
  if (opened_device == 0) {
    SDL_QuitSubSystem(SDL_INIT_AUDIO);
    return false;
  }
  return true;
}

// The device opens paused: the mixer is not called before start_sound.
static bool open_device()
{
  lend_random_sequence();
  const bool opened = call_in_time(open_on_own_thread, open_deadline_ns);
  take_back_random_sequence();
  if (opened)
    sound_device = opened_device;
  return opened;
}

static SDL_AudioDeviceID closing_device;

static bool close_on_own_thread()
{
  SDL_CloseAudioDevice(closing_device);
  SDL_QuitSubSystem(SDL_INIT_AUDIO);
  return true;
}

// Pausing takes the lock SDL calls the mixer under, and the mixer is never
// called again after it: the library may free the mixer at once, even while
// the close itself is left to the server.
static void close_device()
{
  if (!sound_device)
    return;
  closing = true;
  SDL_PauseAudioDevice(sound_device, 1);
  closing_device = sound_device;
  sound_device = 0;
  call_in_time(close_on_own_thread, close_deadline_ns);
  closing = false;
}

// The device found stays open for start_sound, which the library calls next:
// a server is asked once, and waited for once.
static int detect_device(int input)
{
  return !input && (sound_device || open_device()) ? TRUE : FALSE;
}

static int start_sound(int input, int voices)
{
  if (input || (!sound_device && !open_device()))
    return -1;
  sdl_sound.voices = voices;
  // The library halves every voice by default, for mixes of many; the show
  // plays one, and plays it at the level of its file.
  set_volume_per_voice(0);
  if (_mixer_init(sound_buffer_frames * sound_channels, sound_rate, TRUE, TRUE, &sdl_sound.voices) != 0) {
    close_device();
    return -1;
  }
  frames_mixed = 0;
  SDL_PauseAudioDevice(sound_device, 0);
  return 0;
}

static void stop_sound(int)
{
  close_device();
  _mixer_exit();
}

static int buffer_frames()
{
  return sound_buffer_frames;
}

static DIGI_DRIVER make_sdl_sound()
{
  DIGI_DRIVER driver = {};
  driver.id = sdl_sound_id;
  driver.name = driver.desc = driver.ascii_name = "SDL2 audio";
  driver.max_voices = MIXER_MAX_SFX;
  driver.def_voices = MIXER_DEF_SFX;
  driver.detect = detect_device;
  driver.init = start_sound;
  driver.exit = stop_sound;
  driver.buffer_size = buffer_frames;
  driver.init_voice = _mixer_init_voice;
  driver.release_voice = _mixer_release_voice;
  driver.start_voice = _mixer_start_voice;
  driver.stop_voice = _mixer_stop_voice;
  driver.loop_voice = _mixer_loop_voice;
  driver.get_position = _mixer_get_position;
  driver.set_position = _mixer_set_position;
  driver.get_volume = _mixer_get_volume;
  driver.set_volume = _mixer_set_volume;
  driver.ramp_volume = _mixer_ramp_volume;
  driver.stop_volume_ramp = _mixer_stop_volume_ramp;
  driver.get_frequency = _mixer_get_frequency;
  driver.set_frequency = _mixer_set_frequency;
  driver.sweep_frequency = _mixer_sweep_frequency;
  driver.stop_frequency_sweep = _mixer_stop_frequency_sweep;
  driver.get_pan = _mixer_get_pan;
  driver.set_pan = _mixer_set_pan;
  driver.sweep_pan = _mixer_sweep_pan;
  driver.stop_pan_sweep = _mixer_stop_pan_sweep;
  driver.set_echo = _mixer_set_echo;
  driver.set_tremolo = _mixer_set_tremolo;
  driver.set_vibrato = _mixer_set_vibrato;
  return driver;
}

DIGI_DRIVER sdl_sound = make_sdl_sound();
