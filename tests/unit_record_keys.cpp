#include <gtest/gtest.h>

#include <allegro.h>

#include "record/keys_script.h"

namespace {

std::vector<key_event> parsed(const char *script)
{
  std::string error;
  auto events = parse_keys_script(script, error);
  EXPECT_TRUE(events) << script << ": " << error;
  return events ? *events : std::vector<key_event>{};
}

TEST(KeysScript, ReadsEveryKindOfEventInOrder)
{
  auto events = parsed(" 40:s, 41:S ,2000:hold 4,2060: release  4,2100:hold SPACE,3000:ESC,3000:7");
  ASSERT_EQ(events.size(), 7u);
  auto expect = [&](size_t i, int64_t frame, key_action action, int scancode, int ascii) {
    EXPECT_EQ(events[i].frame, frame) << "event " << i;
    EXPECT_EQ(events[i].action, action) << "event " << i;
    EXPECT_EQ(events[i].scancode, scancode) << "event " << i;
    EXPECT_EQ(events[i].ascii, ascii) << "event " << i;
  };
  expect(0, 40, key_action::type, KEY_S, 's');
  expect(1, 41, key_action::type, KEY_S, 'S');
  expect(2, 2000, key_action::hold, KEY_4, 0);
  expect(3, 2060, key_action::release, KEY_4, 0);
  expect(4, 2100, key_action::hold, KEY_SPACE, 0);
  expect(5, 3000, key_action::hold, KEY_ESC, 0);
  expect(6, 3000, key_action::type, KEY_7, '7');
}

TEST(KeysScript, LettersAndDigitsMapToTheirKeysForHolding)
{
  auto events = parsed("1:hold a,1:hold Z,1:hold 0,1:hold 9,1:release ESC");
  ASSERT_EQ(events.size(), 5u);
  EXPECT_EQ(events[0].scancode, KEY_A);
  EXPECT_EQ(events[1].scancode, KEY_Z);
  EXPECT_EQ(events[2].scancode, KEY_0);
  EXPECT_EQ(events[3].scancode, KEY_9);
  EXPECT_EQ(events[4].scancode, KEY_ESC);
}

TEST(KeysScript, RejectsBadItemsNamingTheItemAndTheReason)
{
  struct bad_case {
    const char *script;
    const char *item;
    const char *reason;
  };
  const bad_case cases[] = {
      {"", "''", "empty item"},
      {"40:s,,50:ESC", "''", "empty item"},
      {"40:s,", "''", "empty item"},
      {"40", "'40'", "expected FRAME:KEY"},
      {"x:s", "'x:s'", "not a number"},
      {":s", "':s'", "not a number"},
      {"4x:s", "'4x:s'", "not a number"},
      {"-5:s", "'-5:s'", "count from 1"},
      {"99999999999999999999:s", "'99999999999999999999:s'", "not a number"},
      {"0:s", "'0:s'", "count from 1"},
      {"40:", "'40:'", "no key"},
      {"40:hold", "'40:hold'", "hold needs a key"},
      {"40:release ", "'40:release'", "release needs a key"},
      {"40:hold F1", "'40:hold F1'", "unknown key 'F1'"},
      {"40:hold esc", "'40:hold esc'", "unknown key 'esc'"},
      {"40:press s", "'40:press s'", "cannot type 'press s'"},
      {"40:holds", "'40:holds'", "cannot type 'holds'"},
      {"40:%", "'40:%'", "cannot type '%'"},
      {"40:ss", "'40:ss'", "cannot type 'ss'"},
      {"40:s,30:ESC", "'30:ESC'", "frame 30 comes after frame 40"},
  };
  for (const bad_case &c : cases) {
    std::string error;
    EXPECT_FALSE(parse_keys_script(c.script, error)) << c.script;
    EXPECT_NE(error.find(c.item), std::string::npos) << c.script << " gave: " << error;
    EXPECT_NE(error.find(c.reason), std::string::npos) << c.script << " gave: " << error;
  }
}

TEST(KeysScript, TheShowEndsWhenEscapeOrSpaceStaysHeld)
{
  EXPECT_EQ(ending_frame(parsed("40:s,500:ESC")), 500);
  EXPECT_EQ(ending_frame(parsed("40:s")), 0) << "typed keys end nothing";
  EXPECT_EQ(ending_frame(parsed("40:ESC,41:release ESC")), 0);
  EXPECT_EQ(ending_frame(parsed("40:ESC,41:release ESC,90:hold SPACE")), 90);
  EXPECT_EQ(ending_frame(parsed("40:hold SPACE,50:ESC,60:release SPACE")), 40)
      << "Escape still held at the end keeps the show ending from frame 40";
  EXPECT_EQ(ending_frame(parsed("40:hold SPACE,50:ESC,60:release SPACE,70:release ESC")), 0);
  EXPECT_EQ(ending_frame(parsed("40:hold e,50:release s")), 0) << "other keys are no ending";
}

TEST(KeysScript, DefaultPlaysTwentySecondsOfFreeFlightThenEscape)
{
  auto events = parsed(default_keys_script);
  ASSERT_EQ(events.size(), 1u);
  EXPECT_EQ(events[0].scancode, KEY_ESC);
  EXPECT_EQ(ending_frame(events), free_flight_first_frame + default_flight_frames - 1);
}

}  // namespace
