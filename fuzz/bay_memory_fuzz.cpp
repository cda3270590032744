// SPDX-License-Identifier: GPL-3.0-or-later
// The bay memory (bays.txt) is read back at every start: whatever bytes the file holds, loading
// must end cleanly, a look at the bays must work on what was loaded, and what it then saves must
// load back to the same memory.

#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "monitor/bay_memory.h"

namespace {

// One file per fuzzing process, in the temporary folder, removed when the process ends.
struct MemoryFile {
  std::string path =
      (std::filesystem::temp_directory_path() / ("rur-bay-memory-fuzz-" + std::to_string(::getpid()) + ".txt"))
          .string();
  ~MemoryFile() { std::filesystem::remove(path); }
};

const std::string& MemoryPath() {
  static const MemoryFile file;
  return file.path;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  {
    std::ofstream file(MemoryPath(), std::ios::binary | std::ios::trunc);
    file.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
  }
  rur::BayMemory memory(MemoryPath());
  std::string error;
  if (!memory.Load(error)) return 0;
  // A look at the enclosure on drive 0 with one disk known and one new, which saves the file.
  const std::string known = memory.enclosures().empty() ? "S1" : memory.enclosures().front()[0];
  std::string saveError;
  memory.Observe(0, {known, "NEW-SERIAL"}, saveError);
  memory.RememberMissing(0, {false, true}, saveError);
  if (!saveError.empty()) return 0;
  rur::BayMemory again(MemoryPath());
  if (!again.Load(error) || again.enclosures() != memory.enclosures()) std::abort();
  if (again.Missing(0).has_value()) std::abort();  // a new run has matched no drive yet
  return 0;
}
