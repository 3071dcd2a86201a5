// What the code shared by every system (this folder's own files) needs from
// the system it runs on. Each system's folder supplies these: posix/ on
// Linux, windows/ on Windows.
#pragma once

#include <cstdarg>
#include <cstdint>
#include <filesystem>
#include <string>

// A monotonic clock in nanoseconds, and a sleep that signals do not cut short.
int64_t monotonic_ns();
void sleep_ns(int64_t duration_ns);

// The folder of the running program, or an empty path when unknown.
std::filesystem::path program_folder();

// True when the driver's flips and retrace waits keep the show's time
// themselves; else show_page and wait_retrace wait for the show's clock.
// Owned by frames.cpp; a system whose display waits for its retrace sets it.
extern bool display_keeps_time;

// The whole of a printf-style message, however long (message_text.cpp).
std::string format_message(const char *format, va_list args);
