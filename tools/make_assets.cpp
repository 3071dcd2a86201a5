// Writes the show's eight asset files and its desktop icon:
// make_assets [DIR [ICON]], DIR being dat and ICON package/starloom.png by
// default. The icon's pixels go raw beside it too (ICON with the extension
// .rgba), for the window's icon, which the build compiles in without an image
// converter. The same files, byte for byte, on every run.
#include <array>
#include <cstdio>
#include <exception>
#include <filesystem>
#include <string>

#include "music.h"
#include "pictures.h"
#include "raster.h"

static constexpr std::array<const char *, 3> panel_files = {"txt1_2.tga", "txt2_2.tga", "txt3_3.tga"};

static bool write_all(const std::string &dir)
{
  auto path = [&dir](const char *name) { return dir + "/" + name; };
  bool ok = write_tga(path("star2.tga"), star_strip_picture()) && write_tga(path("logo.tga"), logo_picture()) &&
            write_tga(path("dawno.tga"), title_picture()) && write_tga(path("overlay.tga"), overlay_picture());
  for (int i = 0; ok && i < int(panel_files.size()); i++)
    ok = write_tga(path(panel_files[size_t(i)]), panel_picture(i));
  return ok && write_wav(path("track1_cut_equalize.wav"), music_loop(), music_channels, music_rate);
}

// Large enough for an application grid; desktops scale it down for menus.
static constexpr int icon_size = 128;

static int cannot_write(const std::string &path)
{
  std::fprintf(stderr, "make_assets: cannot write %s\n", path.c_str());
  return 1;
}

int main(int argc, char **argv)
{
  std::string dir = argc > 1 ? argv[1] : "dat";
  std::string icon = argc > 2 ? argv[2] : "package/starloom.png";
  try {
    std::filesystem::create_directories(dir);
    if (!write_all(dir)) {
      std::fprintf(stderr, "make_assets: cannot write into %s\n", dir.c_str());
      return 1;
    }
    const rgba_image picture = icon_picture(icon_size);
    const std::string pixels = std::filesystem::path(icon).replace_extension(".rgba").string();
    if (!write_png(icon, picture))
      return cannot_write(icon);
    if (!write_rgba(pixels, picture))
      return cannot_write(pixels);
  } catch (const std::exception &e) {
    std::fprintf(stderr, "make_assets: %s\n", e.what());
    return 1;
  }
  return 0;
}
