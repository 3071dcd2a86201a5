// Where the recorder keeps its drafts: a folder of its own beside the video,
// made new with a name no one can guess, so that nothing planted there can be
// written through or block it. The finished video is renamed over the output
// name only once whole, so a file there is replaced by a complete recording
// or not at all.
#pragma once

#include <string>

// Checks, before the show starts, that `video` can be written: its folder
// is there and writable, and it is not a folder. False with `error` set.
bool video_writable(const std::string &video, std::string &error);

// Makes the draft folder beside `video`; false with `error` set.
bool make_draft_folder(const std::string &video, std::string &error);

// The absolute path of `name` in the draft folder.
std::string draft_file(const char *name);

// Removes the draft folder with everything in it, if there is one.
void remove_drafts();

// Puts the finished draft `draft` in the place of `video`; false with `error` set.
bool publish(const std::string &draft, const std::string &video, std::string &error);
