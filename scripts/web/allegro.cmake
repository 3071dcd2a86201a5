# Allegro 4.4 for the browser: a static library with the memory bitmaps,
# drawing, image files and mixer the show uses, on the library's driver-less
# system; no X11, no sound system of its own, no modules, no add-ons.
# scripts/build-web.sh hands this to Allegro's CMake with -C.
set(SHARED OFF CACHE BOOL "")
set(WANT_X11 OFF CACHE BOOL "")
set(WANT_OSS OFF CACHE BOOL "")
set(WANT_ALSA OFF CACHE BOOL "")
set(WANT_JACK OFF CACHE BOOL "")
set(WANT_SGIAUDIO OFF CACHE BOOL "")
set(WANT_MODULES OFF CACHE BOOL "")
set(WANT_LINUX_CONSOLE OFF CACHE BOOL "")
set(WANT_ALLEGROGL OFF CACHE BOOL "")
set(WANT_LOADPNG OFF CACHE BOOL "")
set(WANT_LOGG OFF CACHE BOOL "")
set(WANT_JPGALLEG OFF CACHE BOOL "")
set(WANT_EXAMPLES OFF CACHE BOOL "")
set(WANT_TOOLS OFF CACHE BOOL "")
set(WANT_TESTS OFF CACHE BOOL "")
set(WANT_DOCS OFF CACHE BOOL "")
# There is no librt: clock_gettime is in the C library.
set(RT_LIBRARY m CACHE STRING "")
