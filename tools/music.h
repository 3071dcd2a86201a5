// The show's music: a 24-bar loop in A minor at 125 beats a minute (drums,
// bass, pad, arpeggio and lead with an echo), synthesised sample by sample.
// Every note's tail and every echo wraps around the end of the loop, so the
// last sample leads into the first as any two neighbours do.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

constexpr int music_rate = 44100;
constexpr int music_channels = 2;

// The whole loop as interleaved left and right samples, peaking about 1 dB
// below full scale.
std::vector<int16_t> music_loop();

// Writes 16-bit PCM WAV. Returns false when the file cannot be written.
bool write_wav(const std::string &path, const std::vector<int16_t> &samples, int channels, int rate);
