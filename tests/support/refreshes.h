// Records what the viewer sees, through the platform's refresh_observer.
// Refreshes (page shows and retrace waits alike) are numbered from 1 in the
// order they happen after record_refreshes.
#pragma once

#include <allegro.h>

#include <cstdint>
#include <functional>
#include <vector>

// Starts counting and keeps a copy of the visible picture at each of the
// numbers given. The copies are made now, so recording allocates nothing.
// each, when given, is called at every refresh after the copy.
void record_refreshes(const std::vector<int64_t> &numbers_to_copy,
                      std::function<void(int64_t number, BITMAP *visible)> each = {});

// The picture at refresh `number`, or nullptr if it was not asked for or not reached.
BITMAP *refresh_copy(int64_t number);
