// rand() as glibc computes it, in place of the browser's C library's own,
// so that the star field and its twinkling are those of the Linux show.
#include <cstdlib>

#include "platform/sdl/sdl.h"
#include "platform/web/glibc_random.h"

static constinit glibc_random_state sequence = glibc_random_seeded(1);
static glibc_random_state show_sequence;

extern "C" int rand()
{
  return glibc_random_next(sequence);
}

extern "C" void srand(unsigned seed)
{
  sequence = glibc_random_seeded(seed);
}

// What the libraries draw meanwhile comes from the same sequence, and is
// then forgotten: the show's sequence goes on where it was.
void lend_random_sequence()
{
  show_sequence = sequence;
}

void take_back_random_sequence()
{
  sequence = show_sequence;
}
