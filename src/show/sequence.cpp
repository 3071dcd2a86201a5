#include "show/sequence.h"

#include "show/assets.h"
#include "show/pages.h"

int crawl_centre_x;

int run_show()
{
  if (!start_display() || !load_assets())
    return 1;
  shut_down();
  return 0;
}
