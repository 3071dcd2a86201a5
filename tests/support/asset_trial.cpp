#include "asset_trial.h"

#include <allegro.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "show/asset_checks.h"

static bool write_bytes(const std::string &path, const uint8_t *data, size_t size)
{
  std::ofstream out(path, std::ios::binary);
  out.write(reinterpret_cast<const char *>(data), std::streamsize(size));
  out.close();
  return !out.fail();
}

static std::string refusal_fault(const std::string &problem)
{
  if (problem.empty())
    return "refused without a reason";
  return problem.find('\n') == std::string::npos ? "" : "reason of more than one line: " + problem;
}

static std::string image_fault(const std::string &path, const uint8_t *data, size_t size, std::string &problem)
{
  PALETTE palette;
  // Needing only 1x1 lets every size the header claims get as far as the loader.
  BITMAP *image = load_checked_tga(path.c_str(), 1, 1, palette, problem);
  if (!image)
    return refusal_fault(problem);
  const bool whole = size >= 18 && image->w == (data[12] | data[13] << 8) && image->h == (data[14] | data[15] << 8);
  const bool deep = bitmap_color_depth(image) == 16;
  destroy_bitmap(image);
  return !whole ? "image loaded at another size than its header's"
                : deep ? "" : "image loaded at another depth than the show's";
}

static std::string sound_fault(const std::string &path, std::string &problem)
{
  SAMPLE *sound = load_checked_wav(path.c_str(), problem);
  if (!sound)
    return refusal_fault(problem);
  const bool playable = sound->len > 0 && (sound->bits == 8 || sound->bits == 16) && sound->freq > 0;
  destroy_sample(sound);
  return playable ? "" : "sound loaded empty or in a form the show cannot play";
}

asset_trial try_asset_bytes(const uint8_t *data, size_t size)
{
  asset_trial trial;
  // A folder of its own for each trial, so parallel runs never share files.
  const char *tmp = getenv("TMPDIR");
  std::string folder = std::string(tmp && *tmp ? tmp : "/tmp") + "/asset-trial-XXXXXX";
  if (!mkdtemp(folder.data())) {
    trial.broken = "cannot make a scratch folder";
    return trial;
  }
  const std::string image_path = folder + "/trial.tga", sound_path = folder + "/trial.wav";
  if (!write_bytes(image_path, data, size) || !write_bytes(sound_path, data, size)) {
    trial.broken = "cannot write the scratch files";
  } else {
    const std::string image = image_fault(image_path, data, size, trial.image_problem);
    const std::string sound = sound_fault(sound_path, trial.sound_problem);
    trial.broken = !image.empty() ? "as an image: " + image : !sound.empty() ? "as the music: " + sound : "";
  }
  std::filesystem::remove_all(folder);
  return trial;
}
