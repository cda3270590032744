// SPDX-License-Identifier: GPL-3.0-or-later
// Runs a fuzz target once over saved inputs: every file named on the command line, and every file
// inside a named folder. Built with the ordinary compiler, it turns the seed corpus (and every
// input that once crashed a target) into a quick regression test that needs no libFuzzer.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

namespace {

bool Replay(const std::filesystem::path& path) {
  std::ifstream file(path, std::ios::binary);
  if (!file) {
    std::cerr << "cannot read " << path << '\n';
    return false;
  }
  const std::vector<char> bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
  // A copy of exactly the input's size, so a read past its end is seen by the address sanitizer.
  std::vector<std::uint8_t> input(bytes.begin(), bytes.end());
  LLVMFuzzerTestOneInput(input.data(), input.size());
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  std::size_t replayed = 0;
  bool ok = true;
  for (int i = 1; i < argc; ++i) {
    const std::filesystem::path given(argv[i]);
    std::vector<std::filesystem::path> files;
    if (std::filesystem::is_directory(given)) {
      for (const auto& entry : std::filesystem::directory_iterator(given))
        if (entry.is_regular_file()) files.push_back(entry.path());
      std::sort(files.begin(), files.end());
    } else {
      files.push_back(given);
    }
    for (const auto& file : files) {
      ok = Replay(file) && ok;
      ++replayed;
    }
  }
  std::cout << "replayed " << replayed << " inputs\n";
  if (replayed == 0) {
    std::cerr << "no inputs to replay\n";
    return 1;
  }
  return ok ? 0 : 1;
}
