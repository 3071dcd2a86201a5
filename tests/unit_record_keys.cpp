#include <gtest/gtest.h>

#include <allegro.h>

#include <tuple>

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
  auto events = parsed(" 40:s, 41:S ,2000:hold 4,2060: release  4,2100:hold SPACE,3000:ESC,3000:7,"
                       "3001:hold a,3001:hold Z,3001:hold 0,3001:release 9,3001:release ESC");
  const key_event expected[] = {
      {40, key_action::type, KEY_S, 's'},        {41, key_action::type, KEY_S, 'S'},
      {2000, key_action::hold, KEY_4, 0},        {2060, key_action::release, KEY_4, 0},
      {2100, key_action::hold, KEY_SPACE, 0},    {3000, key_action::hold, KEY_ESC, 0},
      {3000, key_action::type, KEY_7, '7'},      {3001, key_action::hold, KEY_A, 0},
      {3001, key_action::hold, KEY_Z, 0},        {3001, key_action::hold, KEY_0, 0},
      {3001, key_action::release, KEY_9, 0},     {3001, key_action::release, KEY_ESC, 0},
  };
  ASSERT_EQ(events.size(), std::size(expected));
  auto fields = [](const key_event &e) { return std::tuple(e.frame, int(e.action), e.scancode, e.ascii); };
  for (size_t i = 0; i < events.size(); i++)
    EXPECT_EQ(fields(events[i]), fields(expected[i])) << "event " << i;
}

TEST(KeysScript, RejectsBadItemsNamingTheItemAndTheReason)
{
  const std::pair<const char *, const char *> cases[] = {  // script, expected message part
      {"", "'': empty item"},
      {"40:s,,50:ESC", "'': empty item"},
      {"40:s,", "'': empty item"},
      {"40", "'40': expected FRAME:KEY"},
      {"x:s", "'x:s': the frame is not a number"},
      {"4x:s", "'4x:s': the frame is not a number"},
      {"99999999999999999999:s", "'99999999999999999999:s': the frame is not a number"},
      {"-5:s", "'-5:s': frames count from 1"},
      {"0:s", "'0:s': frames count from 1"},
      {"40:", "'40:': no key"},
      {"40:hold", "'40:hold': hold needs a key"},
      {"40:release ", "'40:release': release needs a key"},
      {"40:hold F1", "'40:hold F1': unknown key 'F1'"},
      {"40:hold esc", "'40:hold esc': unknown key 'esc'"},
      {"40:press s", "'40:press s': cannot type 'press s'"},
      {"40:holds", "'40:holds': cannot type 'holds'"},
      {"40:%", "'40:%': cannot type '%'"},
      {"40:ss", "'40:ss': cannot type 'ss'"},
      {"40:s,30:ESC", "'30:ESC': frame 30 comes after frame 40"},
  };
  for (auto [script, message] : cases) {
    std::string error;
    EXPECT_FALSE(parse_keys_script(script, error)) << script;
    EXPECT_NE(error.find(message), std::string::npos) << script << " gave: " << error;
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
  // The default: the whole show, twenty seconds of free flight, then Escape.
  auto events = parsed(default_keys_script);
  ASSERT_EQ(events.size(), 1u);
  EXPECT_EQ(events[0].scancode, KEY_ESC);
  EXPECT_EQ(ending_frame(events), free_flight_first_frame + default_flight_frames - 1);
}

}  // namespace
