// The committed pictures and music in dat/, and the icon, as a picture and as
// the raw pixels the window's icon is compiled from: the generator makes them
// again byte for byte.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

std::vector<uint8_t> read_file(const std::string &path)
{
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

TEST(AssetGenerator, RemakesTheCommittedFilesByteForByte)
{
  char pattern[] = "/tmp/show-assets-XXXXXX";
  ASSERT_NE(mkdtemp(pattern), nullptr);
  const std::string dir = pattern;
  ASSERT_EQ(std::system((std::string("'") + MAKE_ASSETS + "' " + dir + " " + dir + "/icon.png").c_str()), 0);
  std::vector<std::pair<std::string, std::string>> files = {
      {"icon.png", std::string(SOURCE_DIR) + "/package/starloom.png"},
      {"icon.rgba", std::string(SOURCE_DIR) + "/package/starloom.rgba"}};
  for (const char *name : {"star2.tga", "logo.tga", "txt1_2.tga", "txt2_2.tga", "txt3_3.tga",
                           "dawno.tga", "overlay.tga", "track1_cut_equalize.wav"})
    files.emplace_back(name, std::string(SOURCE_DIR) + "/dat/" + name);
  for (const auto &[name, original] : files) {
    const std::vector<uint8_t> made = read_file(dir + "/" + name);
    EXPECT_FALSE(made.empty()) << name;
    EXPECT_TRUE(made == read_file(original)) << name << " differs from the committed " << original;
  }
  std::filesystem::remove_all(dir);
}

}  // namespace
