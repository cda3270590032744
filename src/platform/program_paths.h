#pragma once
// Where the program keeps its files (event logs, SMART dumps, settings of a simulated run).
// A real run writes beside the executable when it may, as the program always did, and falls back
// to the per-user state folder; a simulated run keeps to a sandbox of its own so a demo never
// touches the files of real enclosures.

#include <functional>
#include <string>

namespace rur {

// The facts the rules depend on, gathered once so the rules themselves can be tested.
struct PathFacts {
  std::string executableDirectory;  // folder of /proc/self/exe
  std::string stateHome;            // $XDG_STATE_HOME, empty when unset
  std::string home;                 // $HOME
};

PathFacts CurrentPathFacts();
std::string ExecutableDirectory();

// $XDG_STATE_HOME/rode-rur (when absolute), else $HOME/.local/state/rode-rur.
std::string UserStateDirectory(const PathFacts& facts);

// The data directory of a run: explicitDirectory when given; with simulate the sandbox
// <user state>/simulated; otherwise the executable's folder when writable, else the user state folder.
std::string ChooseDataDirectory(const PathFacts& facts, bool simulate, const std::string& explicitDirectory,
                                const std::function<bool(const std::string&)>& writable);
bool DirectoryWritable(const std::string& path);

// Creates the directory and its parents when missing.
bool EnsureDirectory(const std::string& path, std::string& error);

}  // namespace rur
