// Start-up, the display pages and shutdown: the two ends of the show.
#pragma once

#include <allegro.h>

// Index in flip_pages of the back page, the one drawn next. Starts at 1 and
// is never reset, so each scene carries on the alternation of the last.
extern int back_page_index;
extern BITMAP *flip_pages[2];
// A saved full-screen field frame: the logo scene fills it, the show copies it.
extern BITMAP *background_page;
// Held only to keep the display memory the show needs for the whole run.
extern BITMAP *reserve_pages[2];

// Starts the library, sets the mode and creates the five pages.
// On failure reports it and returns false; the caller returns from main.
bool start_display();

// A start-up failure for want of memory: leaves the graphics mode, then
// tells the user `message`.
void report_in_text_mode(const char *message);

// Acquires the back page and returns it, ready for a frame to be drawn.
BITMAP *begin_flip();
// Releases the back page, shows it and makes the other page the back page.
void end_flip();

// Destroys the music and the five pages, then closes the library.
void shut_down();
