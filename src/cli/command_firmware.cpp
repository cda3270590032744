// rurctl firmware FILE [--device N]: checks the image against the device as the Upgrade page
// does, then erases, programs and verifies the controller's flash with a progress bar.
// rurctl firmware-backup FILE [--device N] [--length BYTES]: keeps the flash as it is now.

#include "cli/drive_names.h"
#include "cli/engine_session.h"
#include "platform/atomic_file.h"

namespace rur::cli {
namespace {

// Before anything else: a drive another process holds (a second upgrade, most likely) is refused
// at once, naming what holds it. With --drive the drive itself is checked; otherwise detection
// shows which drives were held, and device numbers could point elsewhere while one is missing.
bool RefuseHeldDrive(CommandContext& context, const ParsedArguments& parsed, std::string_view command) {
  if (!parsed.has("--drive")) return true;
  unsigned drive = 0;
  std::string error;
  DriveSource& drives = context.env.program().drives();
  if (!ResolveDriveName(drives, parsed.options.at("--drive"), drive, error)) return true;  // told later
  const HoldAttempt held = drives.HoldController(drive, kShortCommandHoldWaitMs);
  if (held.outcome != HoldAttempt::Outcome::Busy) return true;
  context.err << command << ": " << parsed.options.at("--drive") << " is in use by " << held.holder
              << "; try again when it has finished\n";
  return false;
}

bool RefuseAfterDetection(CommandContext& context, std::string_view command) {
  const Engine& engine = context.env.engine();
  if (engine.busyDrives().empty()) return true;
  for (const BusyDrive& busy : engine.busyDrives())
    context.err << command << ": " << busy.path << " is in use by " << busy.holder
                << "; try again when it has finished\n";
  return false;
}

bool TellDeviceBusy(CommandContext& context, std::string_view command, unsigned position) {
  const Engine& engine = context.env.engine();
  if (engine.firmware().busyHolder().empty()) return false;
  context.err << command << ": " << engine.DrivePathText(engine.DriveAt(position)) << " is in use by "
              << engine.firmware().busyHolder() << "; try again when it has finished\n";
  return true;
}

}  // namespace

int RunFirmware(CommandContext& context) {
  ParsedArguments parsed;
  std::string error;
  if (!ParseArguments(context.args, {"--device", "--drive"}, {}, parsed, error) || parsed.positionals.size() != 1) {
    context.err << "firmware: " << (error.empty() ? "expected one image file" : error) << '\n';
    return kExitUsage;
  }
  if (!RefuseHeldDrive(context, parsed, "firmware")) return kExitFailed;
  if (!ProbeNamedDrive(context, parsed, "firmware")) return kExitUsage;
  if (!StartAndDetect(context, "firmware", EventLogUse::On)) return kExitFailed;
  if (!RefuseAfterDetection(context, "firmware")) return kExitFailed;
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
  if (outcome == UpgradeOutcome::DeviceBusy) TellDeviceBusy(context, "firmware", position);
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
  if (!RefuseHeldDrive(context, parsed, "firmware-backup")) return kExitFailed;
  if (!ProbeNamedDrive(context, parsed, "firmware-backup")) return kExitUsage;
  if (!StartAndDetect(context, "firmware-backup")) return kExitFailed;
  if (!RefuseAfterDetection(context, "firmware-backup")) return kExitFailed;
  unsigned position = 0;
  if (!DevicePosition(context, parsed, "firmware-backup", 1, position)) return kExitFailed;

  Engine& engine = context.env.engine();
  std::vector<std::uint8_t> bytes;
  if (!engine.firmware().BackupFlash(position, static_cast<std::uint32_t>(length), bytes)) {
    if (TellDeviceBusy(context, "firmware-backup", position)) return kExitFailed;
    context.err << "firmware-backup: the flash could not be read\n";
    return kExitFailed;
  }
  bytes.resize(static_cast<std::size_t>(length));
  if (!WriteFileAtomically(parsed.positionals[0], std::string(bytes.begin(), bytes.end()), 0644, error)) {
    context.err << "firmware-backup: " << error << '\n';
    return kExitFailed;
  }
  context.out << parsed.positionals[0] << ": " << length << " bytes of the flash of " << DeviceLabel(engine, position)
              << "\n";
  return kExitOk;
}

}  // namespace rur::cli
