// The keyboard, from SDL's key events: key[] holds what is held, and the
// keyboard buffer gets a character (with its scancode) for every press and
// for the system's own key repeats.
#include <SDL.h>
#include <allegro.h>
#include <allegro/internal/aintern.h>

#include <array>

#include "platform/sdl/sdl.h"

// SDL's scancodes (USB usage codes) to the library's KEY_ codes.
static constexpr std::array<int, SDL_NUM_SCANCODES> make_key_codes()
{
  std::array<int, SDL_NUM_SCANCODES> codes = {};
  for (int i = 0; i < 26; i++)
    codes[SDL_SCANCODE_A + i] = KEY_A + i;
  for (int i = 0; i < 9; i++)
    codes[SDL_SCANCODE_1 + i] = KEY_1 + i;
  codes[SDL_SCANCODE_0] = KEY_0;
  for (int i = 0; i < 12; i++)
    codes[SDL_SCANCODE_F1 + i] = KEY_F1 + i;
  for (int i = 0; i < 9; i++)
    codes[SDL_SCANCODE_KP_1 + i] = KEY_1_PAD + i;
  codes[SDL_SCANCODE_KP_0] = KEY_0_PAD;
  codes[SDL_SCANCODE_ESCAPE] = KEY_ESC;
  codes[SDL_SCANCODE_SPACE] = KEY_SPACE;
  codes[SDL_SCANCODE_RETURN] = KEY_ENTER;
  codes[SDL_SCANCODE_KP_ENTER] = KEY_ENTER_PAD;
  codes[SDL_SCANCODE_TAB] = KEY_TAB;
  codes[SDL_SCANCODE_BACKSPACE] = KEY_BACKSPACE;
  codes[SDL_SCANCODE_MINUS] = KEY_MINUS;
  codes[SDL_SCANCODE_EQUALS] = KEY_EQUALS;
  codes[SDL_SCANCODE_COMMA] = KEY_COMMA;
  codes[SDL_SCANCODE_PERIOD] = KEY_STOP;
  codes[SDL_SCANCODE_SLASH] = KEY_SLASH;
  codes[SDL_SCANCODE_SEMICOLON] = KEY_COLON;
  codes[SDL_SCANCODE_APOSTROPHE] = KEY_QUOTE;
  codes[SDL_SCANCODE_LEFTBRACKET] = KEY_OPENBRACE;
  codes[SDL_SCANCODE_RIGHTBRACKET] = KEY_CLOSEBRACE;
  codes[SDL_SCANCODE_BACKSLASH] = KEY_BACKSLASH;
  codes[SDL_SCANCODE_NONUSBACKSLASH] = KEY_BACKSLASH2;
  codes[SDL_SCANCODE_GRAVE] = KEY_TILDE;
  codes[SDL_SCANCODE_LEFT] = KEY_LEFT;
  codes[SDL_SCANCODE_RIGHT] = KEY_RIGHT;
  codes[SDL_SCANCODE_UP] = KEY_UP;
  codes[SDL_SCANCODE_DOWN] = KEY_DOWN;
  codes[SDL_SCANCODE_LSHIFT] = KEY_LSHIFT;
  codes[SDL_SCANCODE_RSHIFT] = KEY_RSHIFT;
  codes[SDL_SCANCODE_LCTRL] = KEY_LCONTROL;
  codes[SDL_SCANCODE_RCTRL] = KEY_RCONTROL;
  codes[SDL_SCANCODE_LALT] = KEY_ALT;
  codes[SDL_SCANCODE_RALT] = KEY_ALTGR;
  return codes;
}

static constexpr std::array<int, SDL_NUM_SCANCODES> key_codes = make_key_codes();

// The character a press puts in the buffer: letters and digits as typed,
// and the few control characters the library gives; 0 for any other key.
static int character_of(const SDL_Keysym &keysym)
{
  const SDL_Keycode k = keysym.sym;
  if (k >= SDLK_a && k <= SDLK_z)
    return (keysym.mod & (KMOD_SHIFT | KMOD_CAPS)) ? k - SDLK_a + 'A' : k;
  if ((k >= SDLK_0 && k <= SDLK_9) || k == SDLK_SPACE || k == SDLK_ESCAPE || k == SDLK_RETURN ||
      k == SDLK_TAB || k == SDLK_BACKSPACE)
    return k;
  return 0;
}

// Held keys are places on the keyboard, whatever the layout prints on them;
// the character typed comes from the layout, so a key types its character
// even at a place the library has no code for (0: key[] does not see it).
void take_key_event(const SDL_Event &event)
{
  const int scancode = event.key.keysym.scancode;
  const int key_code = scancode >= 0 && scancode < SDL_NUM_SCANCODES ? key_codes[scancode] : 0;
  if (event.type == SDL_KEYUP) {
    if (key_code != 0)
      _handle_key_release(key_code);
    return;
  }
  const int character = character_of(event.key.keysym);
  if (key_code != 0 || character != 0)
    _handle_key_press(character, key_code);
}

static int start_keyboard()
{
  return 0;
}

static void stop_keyboard() {}

static KEYBOARD_DRIVER make_sdl_keyboard()
{
  KEYBOARD_DRIVER driver = {};
  driver.id = sdl_keyboard_id;
  driver.name = driver.desc = driver.ascii_name = "SDL2 keyboard";
  driver.autorepeat = TRUE;  // SDL repeats keys itself
  driver.init = start_keyboard;
  driver.exit = stop_keyboard;
  return driver;
}

KEYBOARD_DRIVER sdl_keyboard = make_sdl_keyboard();
