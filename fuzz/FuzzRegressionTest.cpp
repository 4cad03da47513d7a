// Every seed and every input that once failed, through every target's entry point: the
// ordinary build keeps what the fuzzers found fixed without fuzzing.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

#include "FuzzTargets.h"

namespace orb::fuzz {
namespace {

namespace fs = std::filesystem;

std::vector<fs::path> inputs() {
  std::vector<fs::path> out;
  for (const char* folder : {"corpus", "regressions"}) {
    const fs::path root = fs::path(ORB_FUZZ_DIR) / folder;
    if (!fs::exists(root)) continue;
    for (const auto& entry : fs::recursive_directory_iterator(root))
      if (entry.is_regular_file()) out.push_back(entry.path());
  }
  std::sort(out.begin(), out.end());
  return out;
}

class FuzzRegression : public ::testing::TestWithParam<Target> {};

TEST_P(FuzzRegression, EveryInputPassesWithoutFault) {
  const auto all = inputs();
  ASSERT_FALSE(all.empty());
  for (const auto& path : all) {
    SCOPED_TRACE(path.string());
    std::ifstream in(path, std::ios::binary);
    const std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_EQ(GetParam().entry(bytes.data(), bytes.size()), 0);
  }
}

INSTANTIATE_TEST_SUITE_P(Targets, FuzzRegression, ::testing::ValuesIn(targets().begin(), targets().end()),
                         [](const ::testing::TestParamInfo<Target>& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace orb::fuzz
