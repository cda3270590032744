// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include "platform/program_paths.h"

namespace rur {
namespace {

TEST(ProgramPaths, FolderRules) {
  PathFacts user;
  user.stateHome = "/var/state";
  user.configHome = "/var/config";
  user.home = "/home/ann";
  PathFacts noXdg;
  noXdg.home = "/home/ann";
  PathFacts relativeXdg = noXdg;
  relativeXdg.stateHome = "state";
  relativeXdg.configHome = "config";
  PathFacts root;
  root.root = true;
  root.home = "/root";
  root.stateHome = "/root/.state";  // only a simulated run of root's uses the XDG folders
  PathFacts service = root;
  service.serviceStateDirectory = "/var/lib/rode-rur-a";
  service.serviceConfigurationDirectory = "/etc/rode-rur-b";
  PathFacts userService = user;  // a unit with User= and StateDirectory=
  userService.root = false;
  userService.serviceStateDirectory = "/var/lib/rode-rur";
  userService.serviceConfigurationDirectory = "/etc/rode-rur";
  PathFacts homeless;

  struct Case {
    const char* what;
    PathFacts facts;
    bool simulate;
    std::string explicitDir;
    std::string data;  // empty: no folder can be chosen
    std::string settings;
  } cases[] = {
      {"user", user, false, "", "/var/state/rode-rur", "/var/config/rode-rur"},
      {"user without XDG", noXdg, false, "", "/home/ann/.local/state/rode-rur", "/home/ann/.config/rode-rur"},
      {"relative XDG ignored", relativeXdg, false, "", "/home/ann/.local/state/rode-rur", "/home/ann/.config/rode-rur"},
      {"root", root, false, "", "/var/lib/rode-rur", "/etc/rode-rur"},
      {"systemd folders", service, false, "", "/var/lib/rode-rur-a", "/etc/rode-rur-b"},
      {"service user", userService, false, "", "/var/lib/rode-rur", "/etc/rode-rur"},
      {"user simulated", user, true, "", "/var/state/rode-rur/simulated", "/var/state/rode-rur/simulated"},
      {"simulated without XDG", noXdg, true, "", "/home/ann/.local/state/rode-rur/simulated",
       "/home/ann/.local/state/rode-rur/simulated"},
      {"root simulated", root, true, "", "/root/.state/rode-rur/simulated", "/root/.state/rode-rur/simulated"},
      {"--data-dir simulated", user, true, "/tmp/x", "/tmp/x", "/tmp/x"},
      {"--data-dir", user, false, "/tmp/y", "/tmp/y", "/tmp/y"},
      {"--data-dir as root", service, false, "/srv/z", "/srv/z", "/srv/z"},
      {"no home: never a shared folder", homeless, false, "", "", ""},
      {"no home, --data-dir", homeless, false, "/tmp/w", "/tmp/w", "/tmp/w"},
  };
  for (const Case& c : cases) {
    ProgramFolders folders;
    std::string error;
    const bool chosen = ChooseProgramFolders(c.facts, c.simulate, c.explicitDir, folders, error);
    EXPECT_EQ(chosen, !c.data.empty()) << c.what;
    if (!chosen) {
      EXPECT_NE(error.find("--data-dir"), std::string::npos) << c.what << ": " << error;
      continue;
    }
    EXPECT_EQ(folders.data, c.data) << c.what;
    EXPECT_EQ(folders.settings, c.settings) << c.what;
  }
}

TEST(ProgramPaths, SharedDataIsLookedUpBesideTheBinaryFirst) {
  const std::vector<std::string> installed = SharedDataFolders("/opt/rur/bin");
  ASSERT_EQ(installed.size(), 3u);
  EXPECT_EQ(installed[0], "/opt/rur/share/rode-rur");
  EXPECT_EQ(installed[1], "/opt/rur/bin/share/rode-rur");  // a build tree's binary folder
  EXPECT_EQ(installed[2].substr(installed[2].size() - 15), "/share/rode-rur");
  EXPECT_EQ(SharedDataFolders("").size(), 1u);
}

}  // namespace
}  // namespace rur
