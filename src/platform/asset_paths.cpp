#include "platform/platform.h"

#include <array>
#include <filesystem>
#include <system_error>

#include "platform/services.h"

namespace fs = std::filesystem;

static constexpr char working_folder[] = "dat";
// Beside the executable: where an install puts the data, then the folder a
// build tree links to the repository's, wherever the build is made.
static constexpr std::array<const char *, 2> folders_beside_program = {"../share/starloom/dat", "dat"};

static bool is_folder(const fs::path &path)
{
  std::error_code error;
  return fs::is_directory(path, error);
}

std::string asset_path(const char *name, std::string &looked_in)
{
  if (is_folder(working_folder))
    return std::string(working_folder) + "/" + name;
  std::error_code error;
  const fs::path here = fs::current_path(error);
  looked_in = error ? std::string("the working folder's dat") : (here / working_folder).string();
  const fs::path beside = program_folder();
  if (beside.empty())
    return "";
  for (size_t i = 0; i < folders_beside_program.size(); i++) {
    const fs::path folder = (beside / folders_beside_program[i]).lexically_normal();
    if (is_folder(folder))
      return (folder / name).string();
    looked_in += (i + 1 == folders_beside_program.size() ? " or " : ", ") + folder.string();
  }
  return "";
}
