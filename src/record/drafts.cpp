#include "record/drafts.h"

#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <system_error>

namespace fs = std::filesystem;

static std::string folder;

static fs::path folder_of(const std::string &video)
{
  std::error_code error;
  const fs::path path = fs::absolute(video, error);
  return error ? fs::path() : path.parent_path();
}

bool video_writable(const std::string &video, std::string &error)
{
  std::error_code ignored;
  const fs::path parent = folder_of(video);
  if (fs::is_directory(video, ignored))
    error = video + " is a folder";
  else if (parent.empty() || !fs::is_directory(parent, ignored))
    error = "there is no folder " + parent.string() + " for " + video;
  else if (access(parent.c_str(), W_OK | X_OK) != 0)
    error = "cannot write into " + parent.string() + ": " + std::strerror(errno);
  return error.empty();
}

bool make_draft_folder(const std::string &video, std::string &error)
{
  std::string name = (folder_of(video) / ".recording-XXXXXX").string();
  if (!mkdtemp(name.data())) {
    error = "cannot make a draft folder beside " + video + ": " + std::strerror(errno);
    return false;
  }
  folder = name;
  return true;
}

std::string draft_file(const char *name)
{
  return folder + "/" + name;
}

void remove_drafts()
{
  if (folder.empty())
    return;
  std::error_code ignored;
  fs::remove_all(folder, ignored);
  folder.clear();
}

bool publish(const std::string &draft, const std::string &video, std::string &error)
{
  if (std::rename(draft.c_str(), video.c_str()) == 0)
    return true;
  error = "cannot put the video in place of " + video + ": " + std::strerror(errno);
  return false;
}
