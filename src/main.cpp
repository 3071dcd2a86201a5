#include <allegro.h>

#include "show/sequence.h"

int main()
{
  return run_show();
}
END_OF_MAIN()
