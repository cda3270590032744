#include <gtest/gtest.h>

#include "platform/program_paths.h"

namespace rur {
namespace {

TEST(ProgramPaths, DataDirectoryRules) {
  const PathFacts facts{"/opt/rur/bin", "/var/state", "/home/ann"};
  const PathFacts noXdg{"/opt/rur/bin", "", "/home/ann"};
  const PathFacts relativeXdg{"/opt/rur/bin", "state", "/home/ann"};
  const auto writable = [](const std::string&) { return true; };
  const auto readOnly = [](const std::string&) { return false; };
  struct Case {
    PathFacts facts;
    bool simulate;
    std::string explicitDir;
    bool exeWritable;
    std::string expected;
  } cases[] = {
      {facts, false, "", true, "/opt/rur/bin"},
      {facts, false, "", false, "/var/state/rode-rur"},
      {noXdg, false, "", false, "/home/ann/.local/state/rode-rur"},
      {relativeXdg, false, "", false, "/home/ann/.local/state/rode-rur"},  // a relative XDG path is ignored
      {facts, true, "", true, "/var/state/rode-rur/simulated"},            // never beside the program
      {noXdg, true, "", true, "/home/ann/.local/state/rode-rur/simulated"},
      {facts, true, "/tmp/x", true, "/tmp/x"},
      {facts, false, "/tmp/y", true, "/tmp/y"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ChooseDataDirectory(c.facts, c.simulate, c.explicitDir, c.exeWritable ? writable : readOnly),
              c.expected);
  }
}

}  // namespace
}  // namespace rur
