// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Where the program keeps its files. State (day logs, SMART dumps) and settings
// follow the file-system conventions: a service or root uses the system folders (or those systemd
// hands it), a desktop user the XDG folders of the home. Never the binary's folder, never a folder
// that other users share. A simulated run keeps to a sandbox of its own so a demo never touches the
// files of real enclosures.

#include <string>
#include <vector>

namespace rur {

// The facts the rules depend on, gathered once so the rules themselves can be tested.
struct PathFacts {
  bool root = false;                          // the effective user is root
  std::string stateHome;                      // $XDG_STATE_HOME, empty when unset
  std::string configHome;                     // $XDG_CONFIG_HOME, empty when unset
  std::string home;                           // $HOME, else the user database's home folder
  std::string serviceStateDirectory;          // systemd's $STATE_DIRECTORY (its first folder)
  std::string serviceConfigurationDirectory;  // systemd's $CONFIGURATION_DIRECTORY (its first folder)
};

PathFacts CurrentPathFacts();
std::string ExecutableDirectory();

struct ProgramFolders {
  std::string data;      // day logs, dumps
  std::string settings;  // the settings file and, by default, the mail text files
};

// The folders of a run: both in explicitDirectory when given; with simulate both in the sandbox
// <user's state folder>/simulated; otherwise the state and settings folders of the rules above.
// False with a message when there is no place for them (a user without a home folder).
bool ChooseProgramFolders(const PathFacts& facts, bool simulate, const std::string& explicitDirectory,
                          ProgramFolders& out, std::string& error);

// Where records that belong to an enclosure rather than to one user (an interrupted firmware
// upgrade) are kept: the service's state folder (or the system's), which every face of the program
// on this host reads. OwnerFolderWritable tells whether this run may write there.
std::string EnclosureOwnerFolder(const PathFacts& facts);
bool OwnerFolderWritable(const std::string& folder);

// Creates the folder (and missing parents) only the user may enter, then checks that it is safe to
// keep files in: a folder, owned by the user or root, not writable by other users.
bool EnsureDirectory(const std::string& path, std::string& error);
// The checks alone, on an existing folder; the owner rule takes the user id to compare with.
bool FolderSafeForFiles(const std::string& path, unsigned userId, std::string& error);

// The machine's settings folder: /etc/rode-rur, or %ProgramData%\rode-rur on Windows.
std::string SystemSettingsFolder();

// Where read-only data shipped with the program (the bundled scenarios) may be, in the order to
// look: beside an installed binary (<bin>/../share/rode-rur), in the build tree
// (<build>/share/rode-rur), then the folder the build was configured to install into.
std::vector<std::string> SharedDataFolders(const std::string& executableDirectory);

}  // namespace rur
