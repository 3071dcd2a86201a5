#include "refreshes.h"

#include <map>

#include "platform/platform.h"

struct refresh_copy_slot {
  BITMAP *picture;
  bool taken;
};

static int64_t seen;
static std::map<int64_t, refresh_copy_slot> slots;
static std::function<void(int64_t, BITMAP *)> each_refresh;

static void on_refresh(BITMAP *visible)
{
  seen++;
  if (auto slot = slots.find(seen); slot != slots.end()) {
    blit(visible, slot->second.picture, 0, 0, 0, 0, visible->w, visible->h);
    slot->second.taken = true;
  }
  if (each_refresh)
    each_refresh(seen, visible);
}

void record_refreshes(const std::vector<int64_t> &numbers_to_copy,
                      std::function<void(int64_t, BITMAP *)> each)
{
  seen = 0;
  slots.clear();
  for (int64_t n : numbers_to_copy)
    slots[n] = {create_bitmap(SCREEN_W, SCREEN_H), false};
  each_refresh = std::move(each);
  refresh_observer = on_refresh;
}

BITMAP *refresh_copy(int64_t number)
{
  auto slot = slots.find(number);
  return slot != slots.end() && slot->second.taken ? slot->second.picture : nullptr;
}
