#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include <SDL.h>

#include "headless.h"
#include "platform/sdl/sdl.h"
#include "platform/platform.h"
#include "system_hooks.h"

namespace {

constexpr int64_t period = 16'666'667;

TEST(Pacing, SlightlyLateFrameIsMadeUpByTheNext)
{
  frame_pacer pacer = {period, 0};
  pace_refresh(pacer, 0);
  EXPECT_EQ(pace_refresh(pacer, period + 5'000'000), 0);
  EXPECT_EQ(pace_refresh(pacer, period + 6'000'000), period - 6'000'000);
}

bool handled_by(int number, void (*handler)(int))
{
  struct sigaction current;
  sigaction(number, nullptr, &current);
  return current.sa_handler == handler;
}

// As the library starts, its handlers replace default and ignored ones alike.
// The show's replace them in turn, what was ignored at start stays ignored,
// and a signal held back meanwhile arrives once the show's are in.
TEST(StopSignals, ReplaceTheLibrarysKeepWhatWasIgnoredAndLetHeldOnesIn)
{
  signal(SIGQUIT, SIG_IGN);
  hold_stop_signals();
  void (*library)(int) = [](int) { abort(); };
  for (int number : {SIGINT, SIGTERM, SIGQUIT})
    signal(number, library);
  raise(SIGTERM);
  EXPECT_FALSE(stop_requested()) << "a signal got through before the show's handlers";
  catch_stop_signals();
  EXPECT_EQ(stop_signal, SIGTERM);
  raise(SIGQUIT);
  raise(SIGHUP);
  raise(SIGINT);
  raise(SIGXFSZ);
  EXPECT_EQ(stop_signal, SIGTERM) << "the first signal is the one that asked";
  EXPECT_TRUE(handled_by(SIGQUIT, SIG_IGN) && handled_by(SIGXFSZ, SIG_IGN));
  EXPECT_FALSE(handled_by(SIGINT, library) || handled_by(SIGHUP, SIG_DFL));
  stop_signal = 0;
}

// The test program lives in build/tests, so beside it are build/share/... and
// build/tests/dat, neither of which a build makes.
TEST(AssetPath, WorkingFoldersDatFirstElseEveryFolderLookedInIsNamed)
{
  namespace fs = std::filesystem;
  char pattern[] = "/tmp/show-paths-XXXXXX";
  ASSERT_NE(mkdtemp(pattern), nullptr);
  const fs::path before = fs::current_path(), here = pattern;
  fs::current_path(here);
  const std::string build = fs::canonical(BUILD_DIR).string();
  const std::string nowhere =
      here.string() + "/dat, " + build + "/share/starloom/dat or " + build + "/tests/dat";

  std::string looked_in;
  EXPECT_EQ(asset_path("star2.tga", looked_in), "");
  EXPECT_EQ(looked_in, nowhere);
  std::ofstream(here / "dat") << "a file, not a folder";
  looked_in.clear();
  EXPECT_EQ(asset_path("star2.tga", looked_in), "");
  EXPECT_EQ(looked_in, nowhere);
  fs::remove(here / "dat");
  // A build tree has its dat beside its programs, wherever it is.
  const fs::path beside = fs::path(build) / "tests" / "dat";
  fs::create_directory(beside);
  EXPECT_EQ(asset_path("star2.tga", looked_in), (beside / "star2.tga").string());
  fs::remove(beside);
  fs::create_directory(here / "dat");
  EXPECT_EQ(asset_path("star2.tga", looked_in), "dat/star2.tga") << "relative, as the show always looked";

  fs::current_path(before);
  fs::remove_all(here);
}

// The keys the show reads, from the window's key events: held in key[] by
// their place on the keyboard, and typed into the keyboard buffer with the
// character the layout gives, whatever the place (a place the library has no
// code for is held nowhere, but still types).
TEST(Keyboard, WindowKeyEventsReachKeyByPlaceAndTheBufferByLayout)
{
  start_headless();
  ASSERT_TRUE(install_stand_in_keyboard());
  const struct {
    const char *layout;
    SDL_Scancode scancode;
    SDL_Keycode sym;
    Uint16 mod;
    int key_code, character;
  } presses[] = {{"us", SDL_SCANCODE_4, SDLK_4, 0, KEY_4, '4'},
                 {"us", SDL_SCANCODE_6, SDLK_6, 0, KEY_6, '6'},
                 {"us", SDL_SCANCODE_8, SDLK_8, 0, KEY_8, '8'},
                 {"us", SDL_SCANCODE_2, SDLK_2, 0, KEY_2, '2'},
                 {"us", SDL_SCANCODE_S, SDLK_s, 0, KEY_S, 's'},
                 {"us", SDL_SCANCODE_S, SDLK_s, KMOD_LSHIFT, KEY_S, 'S'},
                 {"us", SDL_SCANCODE_V, SDLK_v, 0, KEY_V, 'v'},
                 {"us", SDL_SCANCODE_C, SDLK_c, 0, KEY_C, 'c'},
                 {"us", SDL_SCANCODE_SPACE, SDLK_SPACE, 0, KEY_SPACE, ' '},
                 {"us", SDL_SCANCODE_ESCAPE, SDLK_ESCAPE, 0, KEY_ESC, 27},
                 {"dvorak", SDL_SCANCODE_SEMICOLON, SDLK_s, 0, KEY_COLON, 's'},
                 {"dvorak", SDL_SCANCODE_SEMICOLON, SDLK_s, KMOD_CAPS, KEY_COLON, 'S'},
                 {"dvorak", SDL_SCANCODE_S, SDLK_o, 0, KEY_S, 'o'},
                 {"dvorak", SDL_SCANCODE_I, SDLK_c, 0, KEY_I, 'c'},
                 {"azerty", SDL_SCANCODE_4, SDLK_QUOTE, 0, KEY_4, 0},
                 {"azerty", SDL_SCANCODE_8, SDLK_UNDERSCORE, 0, KEY_8, 0},
                 {"iso", SDL_SCANCODE_NONUSHASH, SDLK_s, 0, 0, 's'},
                 {"jis", SDL_SCANCODE_INTERNATIONAL3, SDLK_v, 0, 0, 'v'}};
  for (const auto &p : presses) {
    const std::string which = std::string(p.layout) + " " + SDL_GetScancodeName(p.scancode);
    SDL_Event event = {};
    event.type = SDL_KEYDOWN;
    event.key.keysym = {p.scancode, p.sym, p.mod, 0};
    take_key_event(event);
    EXPECT_EQ(std::count(key, key + KEY_MAX, 0), KEY_MAX - (p.key_code != 0)) << which;
    if (p.key_code) {
      EXPECT_TRUE(key[p.key_code]) << which << " is not held";
    }
    ASSERT_TRUE(keypressed()) << which << " typed nothing";
    const int typed = readkey();
    EXPECT_EQ(std::pair(typed >> 8, typed & 0xff), std::pair(p.key_code, p.character)) << which;
    EXPECT_FALSE(keypressed()) << which << " typed more than once";
    event.type = SDL_KEYUP;
    take_key_event(event);
    EXPECT_EQ(std::count(key, key + KEY_MAX, 0), KEY_MAX) << which << " is still held";
  }
}

}  // namespace
