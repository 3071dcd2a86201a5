#include "music.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <fstream>
#include <stdexcept>
#include <string_view>

constexpr int step_length = 5292;  // samples in a sixteenth note at 125 beats a minute
constexpr int steps_per_bar = 16;
constexpr int bar_count = 24;
constexpr int beat_length = 4 * step_length;
constexpr int bar_length = steps_per_bar * step_length;
constexpr long loop_length = long(bar_count) * bar_length;  // 46.08 seconds
constexpr int fade_out = 256;      // samples over which every voice ends
constexpr double two_pi = 6.283185307179586;

// --- building blocks --------------------------------------------------------

// Sine of a phase given in turns. A polynomial rather than the library's
// sin, so the track does not depend on the maths library's version.
static float sine(double turns)
{
  double x = turns - std::floor(turns);
  if (x > 0.75)
    x -= 1;
  else if (x > 0.25)
    x = 0.5 - x;
  double a = x * two_pi, a2 = a * a;
  return float(a * (1 - a2 / 6 * (1 - a2 / 20 * (1 - a2 / 42 * (1 - a2 / 72 * (1 - a2 / 110))))));
}

static uint32_t noise_state = 0x2545f491u;

// White noise in [-1, 1) from a xorshift generator of our own.
static float noise()
{
  noise_state ^= noise_state << 13;
  noise_state ^= noise_state >> 17;
  noise_state ^= noise_state << 5;
  return float(noise_state >> 8) / 8388608.0f - 1;
}

// Correction that takes the step out of a sawtooth (poly-BLEP), against aliasing.
static float blep(double phase, double step)
{
  if (phase < step) {
    double t = phase / step;
    return float(t + t - t * t - 1);
  }
  if (phase > 1 - step) {
    double t = (phase - 1) / step;
    return float(t * t + t + t + 1);
  }
  return 0;
}

struct oscillator {
  double phase = 0;  // turns, 0 to 1
};

// Advances a band-limited sawtooth by one sample and returns it.
static float saw(oscillator &osc, double freq)
{
  double step = freq / music_rate;
  float v = float(2 * osc.phase - 1) - blep(osc.phase, step);
  osc.phase += step;
  osc.phase -= std::floor(osc.phase);
  return v;
}

// A pulse of the given duty, as the difference of two sawtooths.
static float pulse(oscillator &osc, double freq, double duty)
{
  double step = freq / music_rate;
  double other = osc.phase + duty - std::floor(osc.phase + duty);
  float v = (float(2 * osc.phase - 1) - blep(osc.phase, step)) - (float(2 * other - 1) - blep(other, step));
  osc.phase += step;
  osc.phase -= std::floor(osc.phase);
  return v;
}

struct filter {
  float low = 0, band = 0;
};

// State-variable low-pass; damping 2 is soft, lower values resonate.
static float lowpass(filter &f, float in, float cutoff, float damping)
{
  float k = 2 * sine(std::min(cutoff, 7000.0f) / (2.0 * music_rate));
  f.low += k * f.band;
  float high = in - f.low - damping * f.band;
  f.band += k * high;
  return f.low;
}

// A one-pole low-pass with a fixed coefficient; in minus it is a high-pass.
static float smooth(float &state, float in, float coefficient)
{
  state += coefficient * (in - state);
  return state;
}

static double note_freq(int midi)
{
  return 440.0 * std::pow(2.0, (midi - 69) / 12.0);
}

struct stereo {
  std::vector<float> left = std::vector<float>(loop_length, 0.0f);
  std::vector<float> right = std::vector<float>(loop_length, 0.0f);
};

// Adds a sample at a position of the loop, wrapping around its end.
static void add(stereo &bus, long at, float l, float r)
{
  long i = at % loop_length;
  bus.left[i] += l;
  bus.right[i] += r;
}

static void add_panned(stereo &bus, long at, float v, float pan)
{
  add(bus, at, v * std::min(1.0f, 1 - pan), v * std::min(1.0f, 1 + pan));
}

// 0 at the first sample, 1 after `ramp` samples, and back to 0 over the
// last samples of a voice `length` long: no voice starts or stops with a step.
static float edges(int i, int length, int ramp)
{
  return std::min({1.0f, float(i) / ramp, float(length - i) / fade_out});
}

static float seconds(int i)
{
  return float(i) / music_rate;
}

// --- instruments ------------------------------------------------------------

static void kick(stereo &drums, long at, float level)
{
  constexpr int length = int(0.45 * music_rate);
  double phase = 0;
  for (int i = 0; i < length; i++) {
    float t = seconds(i);
    phase += (46 + 120 * std::exp(-t / 0.04f)) / music_rate;
    float v = sine(phase) * std::exp(-t / 0.16f) * edges(i, length, 40);
    add_panned(drums, at + i, level * v, 0);
  }
}

static void snare(stereo &drums, long at, float level)
{
  constexpr int length = int(0.32 * music_rate);
  double phase = 0;
  float rumble = 0;
  for (int i = 0; i < length; i++) {
    float t = seconds(i);
    phase += (175 + 40 * std::exp(-t / 0.02f)) / music_rate;
    float n = noise();
    float hiss = n - smooth(rumble, n, 0.2f);
    float v = 0.55f * sine(phase) * std::exp(-t / 0.05f) + 0.8f * hiss * std::exp(-t / 0.1f);
    add_panned(drums, at + i, level * v * edges(i, length, 24), 0.08f);
  }
}

// Hats and the crash: noise without its lower half, decaying at `decay` seconds.
static void cymbal(stereo &drums, long at, float level, float decay, float pan)
{
  int length = int(decay * 6 * music_rate);
  float low = 0, lower = 0;
  for (int i = 0; i < length; i++) {
    float n = noise();
    float bright = n - smooth(low, n, 0.55f);
    bright -= smooth(lower, bright, 0.3f);
    add_panned(drums, at + i, level * bright * std::exp(-seconds(i) / decay) * edges(i, length, 16), pan);
  }
}

static void bass(stereo &music, long at, int gate, int midi, float level)
{
  int length = gate + int(0.12 * music_rate);
  double freq = note_freq(midi);
  oscillator tooth, sub;
  filter f;
  for (int i = 0; i < length; i++) {
    float t = seconds(i);
    float raw = 0.7f * saw(tooth, freq) + 0.6f * sine(sub.phase);
    sub.phase += freq / music_rate;
    float v = lowpass(f, raw, 170 + 1500 * std::exp(-t / 0.07f), 0.55f);
    float amp = std::exp(-t / 0.6f) * (i < gate ? 1 : std::exp(-seconds(i - gate) / 0.02f));
    add_panned(music, at + i, level * v * amp * edges(i, length, 60), 0);
  }
}

// Three detuned sawtooths, one left, one right, one in the middle.
static void pad(stereo &music, long at, int gate, int midi, float level)
{
  int length = gate + int(1.2 * music_rate);
  double freq = note_freq(midi);
  std::array<oscillator, 3> voices;
  for (oscillator &v : voices)
    v.phase = (noise() + 1) / 2;
  constexpr std::array<double, 3> detune = {0.9937, 1.0, 1.0063};
  filter fl, fr;
  for (int i = 0; i < length; i++) {
    float a = saw(voices[0], freq * detune[0]), b = saw(voices[1], freq * detune[1]),
          c = saw(voices[2], freq * detune[2]);
    float swell = std::min(1.0f, seconds(i) / 0.25f);
    float amp = swell * (i < gate ? 1 : std::exp(-seconds(i - gate) / 0.3f)) * edges(i, length, 1);
    float l = lowpass(fl, a + 0.5f * b, 1500, 1.2f), r = lowpass(fr, c + 0.5f * b, 1500, 1.2f);
    add(music, at + i, level * amp * l, level * amp * r);
  }
}

static void arp(stereo &music, std::vector<float> &echo_send, long at, int midi, float level, float pan)
{
  constexpr int length = int(0.4 * music_rate);
  double freq = note_freq(midi);
  oscillator osc;
  filter f;
  for (int i = 0; i < length; i++) {
    float v = lowpass(f, pulse(osc, freq, 0.3), 3200, 1.1f);
    v *= level * std::exp(-seconds(i) / 0.075f) * edges(i, length, 30);
    add_panned(music, at + i, v, pan);
    echo_send[(at + i) % loop_length] += 0.6f * v;
  }
}

static void lead(stereo &out, std::vector<float> &echo_send, long at, int gate, int midi, float level)
{
  int length = gate + int(0.5 * music_rate);
  double freq = note_freq(midi);
  oscillator a, b, c;
  filter f;
  double vibrato = 0;
  for (int i = 0; i < length; i++) {
    float t = seconds(i);
    float depth = 0.006f * std::clamp((t - 0.15f) / 0.35f, 0.0f, 1.0f);
    double bent = freq * (1 + depth * sine(vibrato));
    vibrato += 5.5 / music_rate;
    float raw = 0.5f * (saw(a, bent * 1.003) + saw(b, bent * 0.997)) + 0.3f * pulse(c, bent / 2, 0.5);
    float v = lowpass(f, raw, 1100 + 2600 * std::exp(-t / 0.2f), 0.8f);
    float held = 0.7f + 0.3f * std::exp(-t / 0.25f);
    float amp = std::min(1.0f, t / 0.012f) * (i < gate ? held : held * std::exp(-seconds(i - gate) / 0.09f));
    v *= level * amp * edges(i, length, 1);
    add_panned(out, at + i, v, 0);
    echo_send[(at + i) % loop_length] += 0.4f * v;
  }
}

// --- the score --------------------------------------------------------------

// One chord a bar: three sections of eight bars, the last bar of each leading
// back to A minor.
static constexpr std::array<std::string_view, bar_count> chords = {
    "Am", "F", "C", "G", "Am", "F", "C", "G",   //
    "F", "G", "Am", "Em", "F", "G", "C", "E",   //
    "Am", "F", "C", "G", "Am", "F", "G", "E"};

// The lead, a bar a string: note:sixteenths, '-' for a rest.
static constexpr std::array<std::string_view, bar_count> melody = {
    "A4:2 C5:2 E5:3 D5:1 E5:4 C5:4", "F5:4 E5:2 D5:2 C5:6 A4:2", "G4:2 C5:2 E5:2 G5:6 F5:2 E5:2",
    "D5:8 B4:4 G4:4",                "A4:2 C5:2 E5:3 D5:1 E5:4 A5:4", "C6:4 A5:2 F5:2 E5:4 C5:4",
    "E5:4 D5:2 C5:2 D5:4 E5:4",      "D5:12 -:4",
    "F5:3 G5:3 A5:4 C6:6",           "B5:6 A5:2 G5:8", "E5:3 A5:3 C6:4 B5:2 A5:4",
    "G5:6 E5:2 B4:8",                "F5:3 G5:3 A5:4 C6:6", "D6:6 C6:2 B5:4 G5:4",
    "C6:4 G5:4 E5:4 G5:4",           "B5:6 G#5:2 E5:8",
    "A4:2 C5:2 E5:3 D5:1 E5:4 C5:4", "F5:4 E5:2 D5:2 C5:6 A4:2", "G4:2 C5:2 E5:2 G5:6 F5:2 E5:2",
    "D5:8 B4:4 G4:4",                "A4:2 C5:2 E5:3 D5:1 E5:4 A5:4", "C6:4 A5:2 F5:2 E5:4 C5:4",
    "D5:4 B4:2 D5:2 G5:8",           "G#5:4 E5:4 B4:4 G#4:4"};

static int pitch_class(std::string_view name)
{
  constexpr std::string_view letters = "C D EF G A B";
  int pc = int(letters.find(name[0]));
  if (pc < 0)
    throw std::invalid_argument("bad note name");
  return name.size() > 1 && name[1] == '#' ? (pc + 1) % 12 : pc;
}

// The chord's three pitch classes, root first.
static std::array<int, 3> chord_tones(std::string_view name)
{
  int root = pitch_class(name);
  int third = name.back() == 'm' ? 3 : 4;
  return {root, (root + third) % 12, (root + 7) % 12};
}

// The chord as close-voiced notes from G3 to F#4, lowest first.
static std::array<int, 3> voicing(std::string_view name)
{
  std::array<int, 3> notes{};
  std::array<int, 3> tones = chord_tones(name);
  for (int i = 0; i < 3; i++)
    notes[size_t(i)] = 55 + (tones[size_t(i)] - 55 % 12 + 12) % 12;
  std::sort(notes.begin(), notes.end());
  return notes;
}

struct note {
  int step, length, midi;  // midi is -1 for a rest
};

static std::vector<note> parse_bar(std::string_view bar)
{
  std::vector<note> notes;
  int step = 0;
  size_t pos = 0;
  while (pos < bar.size()) {
    size_t end = bar.find(' ', pos);
    std::string_view token = bar.substr(pos, end == std::string_view::npos ? std::string_view::npos : end - pos);
    size_t colon = token.find(':');
    std::string_view name = token.substr(0, colon);
    int length = std::stoi(std::string(token.substr(colon + 1)));
    int midi = -1;
    if (name != "-")
      midi = 12 * (name.back() - '0' + 1) + pitch_class(name);
    notes.push_back({step, length, midi});
    step += length;
    pos = end == std::string_view::npos ? bar.size() : end + 1;
  }
  if (step != steps_per_bar)
    throw std::invalid_argument("a bar of the melody does not fill sixteen steps");
  return notes;
}

static long step_start(int bar, int step)
{
  return long(bar) * bar_length + long(step) * step_length;
}

static void drum_bar(stereo &drums, int bar)
{
  bool fill = bar % 8 == 7;
  if (bar % 8 == 0)
    cymbal(drums, step_start(bar, 0), 0.35f, 0.55f, -0.25f);
  for (int beat = 0; beat < 4; beat++)
    kick(drums, step_start(bar, beat * 4), 0.85f);
  snare(drums, step_start(bar, 4), 0.85f);
  if (fill) {
    snare(drums, step_start(bar, 10), 0.5f);
    for (int step = 12; step < 16; step++)
      snare(drums, step_start(bar, step), 0.5f + 0.12f * (step - 12));
  } else {
    snare(drums, step_start(bar, 12), 0.85f);
  }
  for (int step = 0; step < steps_per_bar; step++) {
    bool open = bar % 2 == 1 && step == 14;
    if (open)
      cymbal(drums, step_start(bar, step), 0.45f, 0.12f, 0.3f);
    else
      cymbal(drums, step_start(bar, step), step % 4 == 2 ? 0.6f : 0.3f, 0.025f, 0.3f);
  }
}

static void harmony_bar(stereo &music, std::vector<float> &echo_send, int bar)
{
  std::array<int, 3> chord = voicing(chords[size_t(bar)]);
  for (int midi : chord)
    pad(music, step_start(bar, 0), bar_length - 400, midi, 0.07f);

  // Bass in eighths, the root and its octave in turn.
  int root = 28 + (chord_tones(chords[size_t(bar)])[0] - 28 % 12 + 12) % 12;
  for (int eighth = 0; eighth < 8; eighth++)
    bass(music, step_start(bar, eighth * 2), int(1.6 * step_length), root + (eighth % 2) * 12, 0.4f);

  // The arpeggio joins in the second section: up and down the chord an octave above the pad.
  if (bar < 8)
    return;
  const std::array<int, 4> tones = {chord[0] + 12, chord[1] + 12, chord[2] + 12, chord[0] + 24};
  constexpr std::array<int, 6> pattern = {0, 1, 2, 3, 2, 1};
  for (int step = 0; step < steps_per_bar; step++)
    arp(music, echo_send, step_start(bar, step), tones[size_t(pattern[size_t(step % 6)])], 0.14f,
        step % 2 ? 0.35f : -0.35f);
}

static void melody_bar(stereo &out, std::vector<float> &echo_send, int bar)
{
  for (const note &n : parse_bar(melody[size_t(bar)])) {
    if (n.midi < 0)
      continue;
    long at = step_start(bar, n.step);
    int gate = n.length * step_length - 400;
    lead(out, echo_send, at, gate, n.midi, 0.32f);
    if (bar >= 16)  // the last section doubles the tune an octave down
      lead(out, echo_send, at, gate, n.midi - 12, 0.14f);
  }
}

// A ping-pong echo of a dotted eighth, damped on each return. It runs twice
// round the loop so that the echoes at the start come from the end.
static stereo echoes(const std::vector<float> &send)
{
  constexpr long delay = 3 * step_length;
  constexpr float feedback = 0.42f;
  stereo wet;
  float damp = 0;
  for (long n = 0; n < 2 * loop_length; n++) {
    long i = n % loop_length, back = (n + loop_length - delay) % loop_length;
    float returned = smooth(damp, wet.right[back], 0.35f);
    wet.left[i] = send[back] + feedback * returned;
    wet.right[i] = wet.left[back];
  }
  return wet;
}

// How far the kick pushes the harmony down: in at each beat, out within it.
static float duck(long i)
{
  float t = float(i % beat_length);
  return 1 - 0.45f * std::min(1.0f, t / 200) * std::exp(-t / (0.11f * music_rate));
}

std::vector<int16_t> music_loop()
{
  noise_state = 0x2545f491u;
  stereo drums, harmony, leads;
  std::vector<float> echo_send(loop_length, 0.0f);
  for (int bar = 0; bar < bar_count; bar++) {
    drum_bar(drums, bar);
    harmony_bar(harmony, echo_send, bar);
    melody_bar(leads, echo_send, bar);
  }
  stereo wet = echoes(echo_send);

  std::vector<float> mixed(size_t(loop_length) * 2);
  float peak = 0;
  for (long i = 0; i < loop_length; i++) {
    float d = duck(i);
    float l = drums.left[i] + d * harmony.left[i] + leads.left[i] + 0.5f * wet.left[i];
    float r = drums.right[i] + d * harmony.right[i] + leads.right[i] + 0.5f * wet.right[i];
    mixed[size_t(i) * 2] = l;
    mixed[size_t(i) * 2 + 1] = r;
    peak = std::max({peak, std::abs(l), std::abs(r)});
  }
  const float gain = 0.89f * 32767 / peak;
  std::vector<int16_t> samples(mixed.size());
  for (size_t i = 0; i < mixed.size(); i++)
    samples[i] = int16_t(std::lround(mixed[i] * gain));
  return samples;
}

static void put16(std::ofstream &out, int v)
{
  out.put(char(v & 0xff));
  out.put(char((v >> 8) & 0xff));
}

static void put32(std::ofstream &out, uint32_t v)
{
  put16(out, int(v & 0xffff));
  put16(out, int(v >> 16));
}

bool write_wav(const std::string &path, const std::vector<int16_t> &samples, int channels, int rate)
{
  std::ofstream out(path, std::ios::binary);
  uint32_t data_bytes = uint32_t(samples.size() * 2);
  out.write("RIFF", 4);
  put32(out, 36 + data_bytes);
  out.write("WAVEfmt ", 8);
  put32(out, 16);
  put16(out, 1);  // PCM
  put16(out, channels);
  put32(out, uint32_t(rate));
  put32(out, uint32_t(rate * channels * 2));
  put16(out, channels * 2);
  put16(out, 16);
  out.write("data", 4);
  put32(out, data_bytes);
  for (int16_t s : samples)
    put16(out, s);
  return bool(out);
}
