// The show in its fixed order, from start-up to shutdown.
#pragma once

// Horizontal centre of the text crawl's panels: SCREEN_W / 2, stored once.
extern int crawl_centre_x;

// The whole show, from the first library call to the last; the exit status:
// 0 after a full show, 1 when start-up failed.
int run_show();
