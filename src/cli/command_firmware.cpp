// SPDX-License-Identifier: GPL-3.0-or-later
// rurctl firmware FILE [--device N]: checks the image against the device as the Upgrade page
// does, then erases, programs and verifies the controller's flash with a progress bar.
// rurctl firmware-backup FILE [--device N] [--length BYTES]: keeps the flash as it is now.

#include "cli/engine_session.h"
#include "platform/atomic_file.h"

namespace rur::cli {

int RunFirmware(CommandContext& context) {
  ParsedArguments parsed;
  std::string error;
  if (!ParseArguments(context.args, {"--device", "--drive"}, {}, parsed, error) || parsed.positionals.size() != 1) {
    context.err << "firmware: " << (error.empty() ? "expected one image file" : error) << '\n';
    return kExitUsage;
  }
  if (!StartAndDetect(context, "firmware", EventLogUse::On)) return kExitFailed;
  unsigned position = 0;
  if (!DevicePosition(context, parsed, "firmware", 1, position)) return kExitFailed;

  Engine& engine = context.env.engine();
  engine.PickUpgradeDevice(position);
  FirmwareUpgrade& firmware = engine.firmware();
  if (!firmware.LoadImage(parsed.positionals[0], engine.UpgradeFacts(position))) return kExitFailed;
  context.err << "Image " << parsed.positionals[0] << ": " << firmware.image().length << " bytes for "
              << DeviceLabel(engine, position) << "\n";

  CliUi& ui = context.env.ui();
  ui.setProgressSource(
      [&firmware] { return std::pair<int, int>(firmware.progressCount(), firmware.progressMaximum()); });
  const UpgradeOutcome outcome = firmware.RunUpgrade();
  ui.finishProgress();
  return outcome == UpgradeOutcome::Succeeded ? kExitOk : kExitFailed;
}

int RunFirmwareBackup(CommandContext& context) {
  ParsedArguments parsed;
  std::string error;
  if (!ParseArguments(context.args, {"--device", "--drive", "--length"}, {}, parsed, error) || parsed.positionals.size() != 1) {
    context.err << "firmware-backup: " << (error.empty() ? "expected one file to write" : error) << '\n';
    return kExitUsage;
  }
  constexpr std::uint64_t kDefaultLength = 1u << 20;
  std::uint64_t length = kDefaultLength;
  if (parsed.has("--length") &&
      (!ParseNumber(parsed.options["--length"], kSpiReachableBytes, length) || length == 0)) {
    context.err << "firmware-backup: --length takes a byte count from 1 to " << kSpiReachableBytes << '\n';
    return kExitUsage;
  }
  if (!StartAndDetect(context, "firmware-backup")) return kExitFailed;
  unsigned position = 0;
  if (!DevicePosition(context, parsed, "firmware-backup", 1, position)) return kExitFailed;

  Engine& engine = context.env.engine();
  std::vector<std::uint8_t> bytes;
  if (!engine.firmware().BackupFlash(position, static_cast<std::uint32_t>(length), bytes)) {
    context.err << "firmware-backup: the flash could not be read\n";
    return kExitFailed;
  }
  bytes.resize(static_cast<std::size_t>(length));
  if (!WriteFileAtomically(parsed.positionals[0], std::string(bytes.begin(), bytes.end()), 0666, error)) {
    context.err << "firmware-backup: " << error << '\n';
    return kExitFailed;
  }
  context.out << parsed.positionals[0] << ": " << length << " bytes of the flash of " << DeviceLabel(engine, position)
              << "\n";
  return kExitOk;
}

}  // namespace rur::cli
