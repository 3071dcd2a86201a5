// glibc's random(): the additive feedback generator it uses for rand() with
// its default state of 128 bytes (TYPE_3: x[i] = x[i-3] + x[i-31], the top
// 31 bits returned). The show's star field and its twinkling come from this
// sequence on Linux; where the C library has another algorithm, the show
// takes this one.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

struct glibc_random_state {
  std::array<uint32_t, 31> table;
  size_t front;  // the newer of the two taps
  size_t rear;
};

// The next value, 0 to 2147483647, and the state moved on.
constexpr int32_t glibc_random_next(glibc_random_state &s)
{
  const uint32_t sum = s.table[s.front] += s.table[s.rear];
  s.front = s.front + 1 == s.table.size() ? 0 : s.front + 1;
  s.rear = s.rear + 1 == s.table.size() ? 0 : s.rear + 1;
  return int32_t(sum >> 1);
}

// The state srandom(seed) makes, where seed 0 counts as 1; an unseeded rand()
// starts from seed 1's. The table is filled by the minimal standard generator
// (16807 x mod 2^31-1, in Schrage's form, the seed taken as a signed 32-bit
// number), then the generator runs ten times the table's length unseen.
constexpr glibc_random_state glibc_random_seeded(uint32_t seed)
{
  glibc_random_state s = {};
  int64_t word = int32_t(seed == 0 ? 1 : seed);
  s.table[0] = uint32_t(word);
  for (size_t i = 1; i < s.table.size(); i++) {
    const int64_t hi = word / 127773, lo = word % 127773;
    word = 16807 * lo - 2836 * hi;
    if (word < 0)
      word += 2147483647;
    s.table[i] = uint32_t(word);
  }
  s.front = 3;
  s.rear = 0;
  for (size_t i = 0; i < 10 * s.table.size(); i++)
    glibc_random_next(s);
  return s;
}
