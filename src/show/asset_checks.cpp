#include "show/asset_checks.h"

#include <sys/stat.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string_view>
#include <system_error>

namespace fs = std::filesystem;

static constexpr int tga_header_size = 18;
static constexpr int largest_rle_packet = 128;
static constexpr int largest_pixel_bytes = 4;
static constexpr int lowest_sound_rate = 8000;
static constexpr int highest_sound_rate = 192000;

struct file_signature {
  std::string_view start;
  const char *kind;
};

// Formats that turn up under a wrong name, told apart by their first bytes.
static constexpr std::array<file_signature, 4> other_formats = {{
    {{"\x89PNG\r\n\x1a\n", 8}, "a PNG image"},
    {"\xff\xd8\xff", "a JPEG image"},
    {"GIF8", "a GIF image"},
    {"BM", "a BMP image"},
}};

static const char *other_format(const unsigned char *start, size_t length)
{
  std::string_view bytes(reinterpret_cast<const char *>(start), length);
  for (const file_signature &format : other_formats)
    if (bytes.starts_with(format.start))
      return format.kind;
  return nullptr;
}

static int le16(const unsigned char *bytes)
{
  return bytes[0] | bytes[1] << 8;
}

static uint32_t le32(const unsigned char *bytes)
{
  return uint32_t(le16(bytes)) | uint32_t(le16(bytes + 2)) << 16;
}

static std::string size_text(int w, int h)
{
  return std::to_string(w) + "x" + std::to_string(h);
}

// Where a file that is not there was looked for, in the viewer's terms.
static std::string missing_file_problem(const char *path)
{
  std::error_code error;
  const fs::path cwd = fs::current_path(error);
  const std::string here = error ? std::string("the working folder") : cwd.string();
  const fs::path folder = fs::path(path).parent_path();
  if (folder.empty())
    return "No such file in " + here;
  if (!fs::is_directory(folder, error))
    return "No folder '" + folder.string() + "' in " + here;
  return "No such file in " + (error ? folder.string() : (cwd / folder).string());
}

struct file_closer {
  void operator()(FILE *file) const { fclose(file); }
};
using open_file = std::unique_ptr<FILE, file_closer>;

// Opens path only when it is a plain file: a pipe under an asset's name would
// block the loader's open for ever, a device would never end.
static open_file open_plain_file(const char *path, int64_t &size, std::string &problem)
{
  struct stat info;
  if (stat(path, &info) != 0) {
    problem = errno == ENOENT || errno == ENOTDIR ? missing_file_problem(path)
                                                  : std::string("It cannot be read: ") + strerror(errno);
    return nullptr;
  }
  if (S_ISDIR(info.st_mode)) {
    problem = "It is a folder, not a file";
    return nullptr;
  }
  if (!S_ISREG(info.st_mode)) {
    problem = "It is not a plain file";
    return nullptr;
  }
  open_file file(fopen(path, "rb"));
  if (!file)
    problem = std::string("It cannot be read: ") + strerror(errno);
  size = info.st_size;
  return file;
}

static std::string cut_short(int w, int h)
{
  return "It ends before the last of its " + size_text(w, h) +
         " pixels: it is cut short, or the size in its header is wrong";
}

// The loader writes each packet straight into the row, so a packet that runs
// past the row's end writes past the bitmap when that row is the last in
// memory; a file that ends early still yields a whole picture of garbage.
static std::string rle_problem(FILE *file, int w, int h, int pixel_bytes)
{
  std::array<unsigned char, largest_rle_packet * largest_pixel_bytes> skipped;
  for (int row = 0; row < h; row++)
    for (int x = 0; x < w;) {
      const int packet = getc(file);
      if (packet == EOF)
        return cut_short(w, h);
      const int count = (packet & 0x7f) + 1;
      if (x + count > w)
        return "Row " + std::to_string(row) + " of its picture runs into the next";
      const size_t bytes = size_t(packet & 0x80 ? 1 : count) * size_t(pixel_bytes);
      if (fread(skipped.data(), 1, bytes, file) != bytes)
        return cut_short(w, h);
      x += count;
    }
  return "";
}

static std::string tga_problem(FILE *file, int64_t size, int need_w, int need_h)
{
  if (size == 0)
    return "It is empty";
  std::array<unsigned char, tga_header_size> header{};
  const size_t got = fread(header.data(), 1, header.size(), file);
  if (const char *kind = other_format(header.data(), got))
    return std::string("It is ") + kind + ", not a TGA image";
  if (got < header.size())
    return "It is too short for a TGA image: " + std::to_string(size) + " bytes";

  const int id_length = header[0], colour_map = header[1], type = header[2];
  const int w = le16(&header[12]), h = le16(&header[14]), bits = header[16];
  const int kind = type & 7;
  if (colour_map > 1 || (type & ~0xb) != 0)
    return "It is not a TGA image";
  if (kind == 0)
    return "It holds no picture";
  const char *format_needed = "the show reads true-colour TGA images of 15, 16, 24 or 32 bits a pixel";
  if (kind == 1)
    return std::string("It is colour-mapped: ") + format_needed;
  if (kind == 3)
    return std::string("It is greyscale: ") + format_needed;
  // The loader reads a colour map of any length into room for 256 entries.
  if (colour_map != 0)
    return std::string("It has a colour map: ") + format_needed;
  if (bits != 15 && bits != 16 && bits != 24 && bits != 32)
    return "It has " + std::to_string(bits) + " bits a pixel: " + format_needed;
  if (w > largest_image_side || h > largest_image_side)
    return "It claims to be " + size_text(w, h) + ", larger than the " +
           size_text(largest_image_side, largest_image_side) + " the show reads";
  if (w < need_w || h < need_h)
    return "It is " + size_text(w, h) + ", the show needs " + size_text(need_w, need_h);

  const int pixel_bytes = (bits + 7) / 8;
  const int64_t pixels_at = tga_header_size + id_length;
  if (!(type & 8))
    return size - pixels_at < int64_t(w) * h * pixel_bytes ? cut_short(w, h) : "";
  if (fseek(file, long(pixels_at), SEEK_SET) != 0)
    return cut_short(w, h);
  return rle_problem(file, w, h, pixel_bytes);
}

std::string tga_file_problem(const char *path, int need_w, int need_h)
{
  std::string problem;
  int64_t size = 0;
  open_file file = open_plain_file(path, size, problem);
  return file ? tga_problem(file.get(), size, need_w, need_h) : problem;
}

// Where the sound lies in a WAV file and what it is.
struct sound_layout {
  int channels = 0;
  int bits = 0;
  int rate = 0;
  int64_t data_at = 0;
  int64_t frames = 0;
};

// The tail of the GUID that marks a WAVE_FORMAT_EXTENSIBLE sub-format as one
// of the plain tags; its first two bytes are that tag.
static constexpr std::array<unsigned char, 14> guid_tail = {0x00, 0x00, 0x00, 0x00, 0x10, 0x00, 0x80,
                                                             0x00, 0x00, 0xaa, 0x00, 0x38, 0x9b, 0x71};
static constexpr int pcm_tag = 1;
static constexpr int extensible_tag = 0xfffe;
static constexpr int extensible_format_size = 40;

// The format block: `length` bytes of it in `block` (at most 40).
static std::string format_problem(const unsigned char *block, uint32_t length, sound_layout &layout)
{
  int tag = le16(block);
  const int channels = le16(block + 2), bits = le16(block + 14);
  const int32_t rate = int32_t(le32(block + 4));
  if (tag == extensible_tag) {
    if (length < extensible_format_size || le16(block + 16) < 22)
      return "Its extensible format block is cut short";
    tag = memcmp(block + 26, guid_tail.data(), guid_tail.size()) == 0 ? le16(block + 24) : -1;
  }
  if (tag != pcm_tag)
    return tag < 0 ? std::string("It is not plain PCM sound (its format is not a standard one)")
                   : "It is not plain PCM sound (its format is " + std::to_string(tag) + ")";
  if (channels != 1 && channels != 2)
    return "It has " + std::to_string(channels) + " channels: the show plays mono or stereo sound";
  if (bits != 8 && bits != 16)
    return "It has " + std::to_string(bits) + "-bit samples: the show plays 8- or 16-bit sound";
  if (rate < lowest_sound_rate || rate > highest_sound_rate)
    return "Its sample rate of " + std::to_string(rate) + " Hz is outside the " +
           std::to_string(lowest_sound_rate) + " to " + std::to_string(highest_sound_rate) +
           " Hz the show plays";
  layout.channels = channels;
  layout.bits = bits;
  layout.rate = rate;
  return "";
}

static bool is_block_name(const unsigned char *name)
{
  return std::all_of(name, name + 4, [](unsigned char c) { return c >= ' ' && c <= '~'; });
}

static std::string block_name(const unsigned char *name)
{
  return std::string("'").append(reinterpret_cast<const char *>(name), 4).append("'");
}

// Walks the blocks the way RIFF lays them out, as sox and ffmpeg read them:
// each length unsigned, a pad byte after an odd one, up to the first block of
// sound, which is the one played; whatever follows it is never read. A block
// of odd length without its pad byte, which the library's own loader would
// have taken, throws every later block off by one, and sox finds no sound.
static std::string wav_problem(FILE *file, int64_t size, sound_layout &layout)
{
  if (size == 0)
    return "It is empty";
  std::array<unsigned char, extensible_format_size> block{};
  size_t got = fread(block.data(), 1, 12, file);
  const bool riff = got >= 4 && memcmp(block.data(), "RIFF", 4) == 0;
  if (riff && got < 12)
    return "It is too short for a WAV file: " + std::to_string(size) + " bytes";
  if (riff && memcmp(&block[8], "WAVE", 4) != 0)
    return "It is a RIFF file of another kind, not a WAV file";
  if (!riff) {
    const char *kind = other_format(block.data(), got);
    return kind ? std::string("It is ") + kind + ", not a WAV file" : "It is not a WAV file";
  }
  std::string last_block;
  uint32_t last_length = 0;
  for (int64_t at = 12; at < size;) {
    if (fseek(file, long(at), SEEK_SET) != 0 || (got = fread(block.data(), 1, 8, file)) < 8) {
      if (got >= 4 && memcmp(block.data(), "data", 4) == 0)
        return "It is cut short in the header of its sound";
      break;
    }
    if (!is_block_name(block.data())) {
      if (last_length % 2 && fseek(file, long(at - 1), SEEK_SET) == 0 &&
          fread(block.data(), 1, 4, file) == 4 && is_block_name(block.data()))
        return "Its " + last_block + " block has an odd length and no pad byte after it";
      return last_block.empty() ? std::string("It is damaged where its first block should begin")
                                : "It is damaged after its " + last_block + " block";
    }
    last_block = block_name(block.data());
    last_length = le32(&block[4]);
    const int64_t body_at = at + 8, room = size - body_at;
    if (memcmp(block.data(), "fmt ", 4) == 0) {
      const size_t wanted = std::min<size_t>(last_length, block.size());
      if (last_length < 16 || fread(block.data(), 1, wanted, file) != wanted)
        return "Its format block is cut short";
      if (std::string problem = format_problem(block.data(), last_length, layout); !problem.empty())
        return problem;
    } else if (memcmp(block.data(), "data", 4) == 0) {
      if (layout.channels == 0)
        return "Its sound comes before the block that gives its format";
      if (last_length > room)
        return "It is cut short: it claims " + std::to_string(last_length) + " bytes of sound and holds " +
               std::to_string(room);
      if (last_length > largest_sound_bytes)
        return "Its sound is " + std::to_string(last_length) + " bytes long, more than the " +
               std::to_string(largest_sound_bytes) + " the show plays";
      layout.data_at = body_at;
      layout.frames = last_length / (layout.channels * layout.bits / 8);
      return layout.frames > 0 ? "" : "It holds no sound";
    }
    if (last_length > room)
      return "It ends inside its " + last_block + " block, before any sound";
    at = body_at + int64_t(last_length) + last_length % 2;
  }
  return "It holds no sound";
}

std::string wav_file_problem(const char *path)
{
  std::string problem;
  int64_t size = 0;
  sound_layout layout;
  open_file file = open_plain_file(path, size, problem);
  return file ? wav_problem(file.get(), size, layout) : problem;
}

BITMAP *load_checked_tga(const char *path, int need_w, int need_h, RGB *palette, std::string &problem)
{
  problem = tga_file_problem(path, need_w, need_h);
  if (!problem.empty())
    return nullptr;
  // The loader says nothing of why it failed; an allocation that failed
  // leaves its ENOMEM behind.
  errno = 0;
  BITMAP *image = load_tga(path, palette);
  if (!image)
    problem = errno == ENOMEM ? no_memory_for_image : "The library could not load it";
  return image;
}

// The library's own loader reads neither padded blocks nor the extensible
// format, so the show reads the sound itself into a sample the library makes,
// in the library's form: 16-bit samples unsigned, in the machine's order.
SAMPLE *load_checked_wav(const char *path, std::string &problem)
{
  int64_t size = 0;
  sound_layout layout;
  open_file file = open_plain_file(path, size, problem);
  if (!file)
    return nullptr;
  problem = wav_problem(file.get(), size, layout);
  if (!problem.empty())
    return nullptr;
  SAMPLE *sample =
      create_sample(layout.bits, layout.channels == 2 ? TRUE : FALSE, layout.rate, int(layout.frames));
  if (!sample) {
    problem = "There is not enough memory for its sound";
    return nullptr;
  }
  const size_t bytes = size_t(layout.frames) * size_t(layout.channels * layout.bits / 8);
  auto *data = static_cast<unsigned char *>(sample->data);
  if (fseek(file.get(), long(layout.data_at), SEEK_SET) != 0 ||
      fread(data, 1, bytes, file.get()) != bytes) {
    destroy_sample(sample);
    problem = "It cannot be read to its end";
    return nullptr;
  }
  if (layout.bits == 16)
    for (size_t i = 0; i < bytes / 2; i++)
      reinterpret_cast<uint16_t *>(data)[i] = uint16_t(le16(data + 2 * i) ^ 0x8000);
  return sample;
}
