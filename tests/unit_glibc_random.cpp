// The browser's rand() (src/platform/web/glibc_random.h) against glibc's own
// random(), which the Linux show's rand() is: the same values, seed by seed
// (an unseeded rand() is seed 1's), for far longer than any show draws.
#include <gtest/gtest.h>

#include <cstdlib>

#include "platform/web/glibc_random.h"

namespace {

TEST(GlibcRandom, GivesGlibcsSequenceForEverySeed)
{
  // 0 counts as 1; the others reach past 2^31, where the seed turns negative.
  for (uint32_t seed : {1u, 0u, 2u, 42u, 127773u, 2147483647u, 2147483648u, 4294967295u}) {
    char glibc_state[128];  // glibc's default size: its TYPE_3 generator
    char *previous = initstate(seed, glibc_state, sizeof glibc_state);
    glibc_random_state ours = glibc_random_seeded(seed);
    int differ = 0, first = -1;
    for (int i = 0; i < 200000; i++) {
      const long expected = random();
      if (glibc_random_next(ours) != expected && differ++ == 0)
        first = i;
    }
    setstate(previous);
    EXPECT_EQ(differ, 0) << "seed " << seed << ": the first of " << differ << " values that differ is value "
                         << first;
  }
}

}  // namespace
