# SDL2 for the browser: a static library with the emscripten video (the page's
# canvas, through SDL's software renderer), audio, events and timers; none of
# the subsystems the show does not use, and no OpenGL ES (a software WebGL
# presents at twice the cost of the software renderer).
# scripts/build-web.sh hands this to SDL's CMake with -C.
set(SDL_SHARED OFF CACHE BOOL "")
set(SDL_STATIC ON CACHE BOOL "")
set(SDL_TEST OFF CACHE BOOL "")
set(SDL2_DISABLE_SDL2MAIN ON CACHE BOOL "")
set(SDL_CCACHE OFF CACHE BOOL "")
foreach(unused JOYSTICK HAPTIC HIDAPI SENSOR POWER LOCALE MISC FILESYSTEM OPENGL OPENGLES
        DISKAUDIO DUMMYAUDIO DUMMYVIDEO OFFSCREEN)
  set(SDL_${unused} OFF CACHE BOOL "")
endforeach()
