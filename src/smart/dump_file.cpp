// SPDX-License-Identifier: GPL-3.0-or-later
#include "smart/dump_file.h"

#include <cerrno>
#include <cstdio>
#include <string>
#include <system_error>
#include <vector>

#include "platform/atomic_file.h"
#include "platform/new_file.h"

namespace rur {
namespace {

std::string BaseName(DumpKind kind) { return kind == DumpKind::SmartData ? "dSMART00.bin" : "sSMART00.bin"; }

void ReportCreateFailure(Ui& ui) { ui.messageBox("Fail to create file", "GetSPIFWInfo:", MessageKind::Error); }

}  // namespace

std::optional<char> NextDumpCounter(char c) {
  if (c >= '0' && c <= '8') return static_cast<char>(c + 1);
  if (c == '9') return 'A';
  if ((c >= 'A' && c <= 'Y') || (c >= 'a' && c <= 'y')) return static_cast<char>(c + 1);
  return std::nullopt;
}

std::optional<std::filesystem::path> WriteDumpFile(DumpKind kind, const std::uint8_t* data, std::size_t length,
                                                   const std::filesystem::path& folder, Ui& ui) {
  std::string name = BaseName(kind);
  std::optional<std::string> temporary;
  std::string ignored;
  for (;;) {
    std::filesystem::path path = folder / name;
    std::error_code error;
    // symlink_status, so that a dangling link also counts as a taken name.
    while (std::filesystem::exists(std::filesystem::symlink_status(path, error))) {
      ui.pump();
      const auto next = NextDumpCounter(name[kDumpCounterIndex]);
      if (!next) {
        ui.panel(4, "Create File Error" + path.string());
        if (temporary) RemoveFileIfPresent(*temporary, ignored);
        return std::nullopt;
      }
      name[kDumpCounterIndex] = *next;
      path = folder / name;
    }
    if (!temporary) temporary = WriteTemporaryFile(folder, name, data, length);
    if (!temporary) {
      ReportCreateFailure(ui);
      return std::nullopt;
    }
    switch (PublishWithoutReplacing(*temporary, path)) {
      case NewFilePublish::Done:
        SyncFolder(folder);
        ui.panel(4, "Svae File OK :" + path.string());
        return path;
      case NewFilePublish::NameTaken: continue;  // someone took the name since we looked: try the next one
      case NewFilePublish::Failed:
        RemoveFileIfPresent(*temporary, ignored);
        ReportCreateFailure(ui);
        return std::nullopt;
    }
  }
}

SmartDumpPaths DumpSmartPages(const SmartState& state, const std::filesystem::path& folder, Ui& ui) {
  std::vector<std::uint8_t> data;
  std::vector<std::uint8_t> thresholds;
  for (const SmartBayPages& bay : state.store[0]) {
    data.insert(data.end(), bay.data.begin(), bay.data.end());
    thresholds.insert(thresholds.end(), bay.thresholds.begin(), bay.thresholds.end());
  }
  SmartDumpPaths paths;
  paths.data = WriteDumpFile(DumpKind::SmartData, data.data(), data.size(), folder, ui);
  paths.thresholds = WriteDumpFile(DumpKind::SmartThresholds, thresholds.data(), thresholds.size(), folder, ui);
  return paths;
}

}  // namespace rur
