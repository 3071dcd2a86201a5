#include "record/keys_script.h"

#include <allegro.h>

#include <cctype>
#include <charconv>

static std::string_view trimmed(std::string_view text)
{
  while (!text.empty() && std::isspace(static_cast<unsigned char>(text.front())))
    text.remove_prefix(1);
  while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back())))
    text.remove_suffix(1);
  return text;
}

// The KEY_ number of a letter or digit (either case), or 0.
static int scancode_of_char(char c)
{
  if (c >= 'a' && c <= 'z')
    return KEY_A + (c - 'a');
  if (c >= 'A' && c <= 'Z')
    return KEY_A + (c - 'A');
  if (c >= '0' && c <= '9')
    return KEY_0 + (c - '0');
  return 0;
}

// The KEY_ number of a key name for hold and release, or 0.
static int scancode_of_name(std::string_view name)
{
  if (name == "ESC")
    return KEY_ESC;
  if (name == "SPACE")
    return KEY_SPACE;
  return name.size() == 1 ? scancode_of_char(name[0]) : 0;
}

// Fills `event` from the part after the colon; false with `error` set.
static bool parse_action(std::string_view action, key_event &event, std::string &error)
{
  if (action.empty()) {
    error = "no key after the colon";
    return false;
  }
  if (action == "ESC") {
    event.action = key_action::hold;
    event.scancode = KEY_ESC;
    return true;
  }
  for (auto [word, kind] : {std::pair{std::string_view("hold"), key_action::hold},
                            std::pair{std::string_view("release"), key_action::release}}) {
    if (action.substr(0, word.size()) != word ||
        (action.size() > word.size() && !std::isspace(static_cast<unsigned char>(action[word.size()]))))
      continue;
    std::string_view name = trimmed(action.substr(word.size()));
    event.action = kind;
    event.scancode = scancode_of_name(name);
    if (name.empty())
      error = std::string(word) + " needs a key: a letter, a digit, SPACE or ESC";
    else if (event.scancode == 0)
      error = "unknown key '" + std::string(name) + "' (a letter, a digit, SPACE or ESC)";
    return event.scancode != 0;
  }
  event.action = key_action::type;
  event.scancode = action.size() == 1 ? scancode_of_char(action[0]) : 0;
  event.ascii = action[0];
  if (event.scancode == 0)
    error = "cannot type '" + std::string(action) +
            "' (type one letter or digit, or use hold, release or ESC)";
  return event.scancode != 0;
}

std::optional<std::vector<key_event>> parse_keys_script(std::string_view script,
                                                        std::string &error)
{
  std::vector<key_event> events;
  for (size_t start = 0;;) {
    size_t comma = script.find(',', start);
    std::string_view item = trimmed(script.substr(start, comma - start));
    auto fail = [&](const std::string &why) {
      error = "keys: '" + std::string(item) + "': " + why;
      return std::nullopt;
    };
    if (item.empty())
      return fail("empty item (items are FRAME:KEY, separated by commas)");
    size_t colon = item.find(':');
    if (colon == std::string_view::npos)
      return fail("expected FRAME:KEY");
    std::string_view number = trimmed(item.substr(0, colon));
    key_event event = {0, key_action::type, 0, 0};
    auto [end, result] = std::from_chars(number.data(), number.data() + number.size(), event.frame);
    if (number.empty() || result != std::errc() || end != number.data() + number.size())
      return fail("the frame is not a number");
    if (event.frame < 1)
      return fail("frames count from 1");
    if (!events.empty() && event.frame < events.back().frame)
      return fail("frame " + std::to_string(event.frame) + " comes after frame " +
                  std::to_string(events.back().frame));
    std::string why;
    if (!parse_action(trimmed(item.substr(colon + 1)), event, why))
      return fail(why);
    events.push_back(event);
    if (comma == std::string_view::npos)
      return events;
    start = comma + 1;
  }
}

int64_t ending_frame(const std::vector<key_event> &events)
{
  bool escape = false;
  bool space = false;
  int64_t ending = 0;
  for (const key_event &event : events) {
    if (event.action == key_action::type)
      continue;
    bool held = event.action == key_action::hold;
    if (event.scancode == KEY_ESC)
      escape = held;
    else if (event.scancode == KEY_SPACE)
      space = held;
    if (!escape && !space)
      ending = 0;
    else if (ending == 0)
      ending = event.frame;
  }
  return ending;
}
