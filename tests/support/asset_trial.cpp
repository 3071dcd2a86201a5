#include "asset_trial.h"

#include <allegro.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include <unistd.h>

#include "show/asset_checks.h"

// The checks pass any image at least this large, so every size the bytes
// claim gets as far as the loader would let it.
static constexpr int smallest_need = 1;

// A folder of its own for each trial, so parallel runs never share files.
static std::string make_scratch_folder()
{
  const char *tmp = getenv("TMPDIR");
  std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/asset-trial-XXXXXX";
  return mkdtemp(pattern.data()) ? pattern : "";
}

static bool write_bytes(const std::string &path, const uint8_t *data, size_t size)
{
  FILE *file = fopen(path.c_str(), "wb");
  if (!file)
    return false;
  bool whole = fwrite(data, 1, size, file) == size;
  return fclose(file) == 0 && whole;
}

static int le16(const uint8_t *bytes)
{
  return bytes[0] | bytes[1] << 8;
}

static std::string refusal_fault(const std::string &problem)
{
  if (problem.empty())
    return "refused without a reason";
  if (problem.find('\n') != std::string::npos)
    return "reason of more than one line: " + problem;
  return "";
}

static std::string image_fault(const std::string &path, const uint8_t *data, size_t size,
                               std::string &problem)
{
  PALETTE palette;
  BITMAP *image = load_checked_tga(path.c_str(), smallest_need, smallest_need, palette, problem);
  if (!image)
    return refusal_fault(problem);
  std::string fault;
  if (size < 18 || image->w != le16(data + 12) || image->h != le16(data + 14))
    fault = "image loaded at another size than its header's";
  else if (bitmap_color_depth(image) != 16)
    fault = "image loaded at another depth than the show's";
  destroy_bitmap(image);
  return fault;
}

static std::string sound_fault(const std::string &path, std::string &problem)
{
  SAMPLE *sound = load_checked_wav(path.c_str(), problem);
  if (!sound)
    return refusal_fault(problem);
  std::string fault;
  if (sound->len == 0 || (sound->bits != 8 && sound->bits != 16) || sound->freq <= 0)
    fault = "sound loaded empty or in a form the show cannot play";
  destroy_sample(sound);
  return fault;
}

asset_trial try_asset_bytes(const uint8_t *data, size_t size)
{
  asset_trial trial;
  const std::string folder = make_scratch_folder();
  const std::string image_path = folder + "/trial.tga";
  const std::string sound_path = folder + "/trial.wav";
  if (folder.empty() || !write_bytes(image_path, data, size) || !write_bytes(sound_path, data, size)) {
    trial.broken = "cannot write the scratch files";
  } else {
    std::string image = image_fault(image_path, data, size, trial.image_problem);
    std::string sound = sound_fault(sound_path, trial.sound_problem);
    if (!image.empty())
      trial.broken = "as an image: " + image;
    else if (!sound.empty())
      trial.broken = "as the music: " + sound;
  }
  if (!folder.empty())
    std::filesystem::remove_all(folder);
  return trial;
}
