// What the code shared by every system (this folder's own files) needs from
// the system it runs on. Each system's folder supplies these: posix/ on
// Linux, windows/ on Windows, web/ in a browser.
#pragma once

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

// Tells the user a start-up message, worded whole (message_text.cpp words it
// for startup_message): where the system's user reads it, and in the
// library's message box.
void deliver_startup_message(const std::string &text);
