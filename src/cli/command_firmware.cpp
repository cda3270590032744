// SPDX-License-Identifier: GPL-3.0-or-later
// rurctl firmware FILE [--device N] [--yes | --dry-run]: checks the image against the device as
// the Upgrade page does, shows both and asks before it erases, programs and verifies the
// controller's flash. While the flash is rewritten, Ctrl-C, a closed terminal and SIGTERM cannot
// end the run: a controller left half-written has no firmware to start from.
// rurctl firmware-backup FILE|- [--device N] [--length BYTES]: keeps the flash as it is now.

#include <cstdio>
#include <filesystem>
#include <iostream>

#include <nlohmann/json.hpp>

#include "cli/command_failure.h"
#include "cli/drive_names.h"
#include "cli/engine_session.h"
#include "cli/json_text.h"
#include "monitor/device_names.h"
#include "platform/atomic_file.h"
#include "platform/input_file.h"
#include "platform/terminal_input.h"

namespace rur::cli {
namespace {

std::string Hex(std::uint32_t value, const char* format) {
  char text[16];
  std::snprintf(text, sizeof text, format, value);
  return text;
}

// What is about to be changed, so the user can see it is the right enclosure and the right file.
void ShowUpgrade(CommandContext& context, unsigned position, const std::string& file) {
  Engine& engine = context.env.engine();
  const unsigned drive = engine.DriveAt(position);
  const IdentifyBlock& identity = engine.identity(drive);
  const FirmwareImage& image = engine.firmware().image();
  context.out << "Device: Device" << position + 1 << " (drive " << drive << ", "
              << context.env.program().DrivePath(drive) << "), " << DeviceProductName(identity) << ", firmware "
              << FirmwareRevisionText(identity) << " (version " << Hex(DeviceFirmwareVersion(identity), "%X") << ")\n"
              << "Image:  " << file << ", version " << Hex(FirmwareImageVersion(image), "%X") << ", " << image.length
              << " bytes, checksum " << Hex(image.checksum, "%08X") << "\n"
              << std::flush;
}

void ShowPlan(CommandContext& context, std::uint32_t imageLength) {
  const UpgradePlan plan = PlanUpgrade(imageLength);
  context.out << "Would erase 0x00000-0x" << Hex(plan.eraseLength - 1, "%05X") << " (" << plan.eraseBlocks
              << " blocks of " << kSpiEraseBlockSize << " bytes), program " << imageLength << " bytes ("
              << plan.programBlocks << " blocks of " << kSpiBlockSize
              << " bytes) from address 0 and read them back to verify.\n"
              << "Dry run: nothing was erased or written.\n";
}

// What --dry-run --json tells: the device, the image and what the upgrade would erase and write.
nlohmann::json DryRunJson(CommandContext& context, unsigned position, const std::string& file) {
  Engine& engine = context.env.engine();
  const unsigned drive = engine.DriveAt(position);
  const IdentifyBlock& identity = engine.identity(drive);
  const FirmwareImage& image = engine.firmware().image();
  const UpgradePlan plan = PlanUpgrade(image.length);
  return {
      {"device", position + 1},
      {"drive", drive},
      {"path", context.env.program().DrivePath(drive)},
      {"product", DeviceProductName(identity)},
      {"firmware", FirmwareRevisionText(identity)},
      {"firmware_version", Hex(DeviceFirmwareVersion(identity), "%X")},
      {"image",
       {{"file", file},
        {"version", Hex(FirmwareImageVersion(image), "%X")},
        {"length", image.length},
        {"checksum", Hex(image.checksum, "%08X")}}},
      {"erase",
       {{"first", 0}, {"length", plan.eraseLength}, {"blocks", plan.eraseBlocks}, {"block_size", kSpiEraseBlockSize}}},
      {"program",
       {{"first", 0}, {"length", image.length}, {"blocks", plan.programBlocks}, {"block_size", kSpiBlockSize}}},
      {"dry_run", true}};
}

bool OnTerminal() { return InputIsTerminal(); }

bool UserConfirms(CommandContext& context, const std::string& question) {
  context.err << question << " Type yes to go on: " << std::flush;
  std::string answer;
  if (!std::getline(std::cin, answer)) return false;
  return answer == "yes" || answer == "y" || answer == "YES" || answer == "Yes";
}

// An existing name that is not a regular file (a device node, a FIFO) must not be replaced.
bool NotARegularFile(const std::string& path) {
  std::error_code missing;
  const auto existing = std::filesystem::symlink_status(path, missing);
  return !missing && std::filesystem::exists(existing) && !std::filesystem::is_regular_file(existing) &&
         !std::filesystem::is_symlink(existing);
}

// Before anything else: a drive another process holds (a second upgrade, most likely) is refused
// at once, naming what holds it. With --drive the drive itself is checked; otherwise detection
// shows which drives were held, and device numbers could point elsewhere while one is missing.
bool RefuseHeldDrive(CommandContext& context, std::string_view command) {
  if (context.options.drive.empty()) return true;
  unsigned drive = 0;
  std::string error;
  DriveSource& drives = context.env.program().drives();
  if (!ResolveDriveName(drives, context.options.drive, drive, error)) return true;  // told later
  const HoldAttempt held = drives.HoldController(drive, kShortCommandHoldWaitMs);
  if (held.outcome != HoldAttempt::Outcome::Busy) return true;
  context.err << command << ": " << context.options.drive << " is in use by " << held.holder
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

// What the user may do about a refusal that --force lifts.
void TellRefusal(CommandContext& context, UpgradeOutcome outcome) {
  if (outcome == UpgradeOutcome::OtherImageRecorded)
    context.err << "firmware: add --force to write this image instead of the one the interrupted upgrade was "
                   "writing\n";
}

std::string MuchShorterText(CommandContext& context, const std::string& device) {
  const std::uint32_t length = context.env.engine().firmware().image().length;
  return "the firmware in the flash of " + device + " reaches past " + std::to_string(length) +
         " bytes, and the image has " + std::to_string(length) + ": it is shorter than the firmware it replaces";
}

// Asks before the flash is erased; an image much shorter than the firmware it replaces is asked
// about once more, and without a terminal it needs --force.
int ConfirmUpgrade(CommandContext& context, unsigned position) {
  const CommandOptions& options = context.options;
  Engine& engine = context.env.engine();
  const std::string device = "Device" + std::to_string(position + 1);
  if (!options.yes && !UserConfirms(context, "Erase and rewrite the flash of " + device + "?")) {
    context.err << "firmware: not confirmed; the flash was not touched\n";
    return kExitFailed;
  }
  if (options.force || !engine.ImageMuchShorter().value_or(false)) return kExitOk;
  if (options.yes) {
    context.err << "firmware: " << MuchShorterText(context, device)
                << "; add --force with --yes to write it all the same. The flash was not touched\n";
    return kExitFailed;
  }
  if (!UserConfirms(context, MuchShorterText(context, device) + ". Write it all the same?")) {
    context.err << "firmware: not confirmed; the flash was not touched\n";
    return kExitFailed;
  }
  return kExitOk;
}

}  // namespace

int RunFirmware(CommandContext& context) {
  const CommandOptions& options = context.options;
  const bool dryRun = options.dryRun;
  const std::string& file = options.words.front();
  // Far larger than any image; a FIFO or a device is never opened.
  constexpr std::uint64_t kLargestImageFile = 64u << 20;
  std::string error;
  if (!CheckInputFile(file, kLargestImageFile, error)) return Fail(context, "firmware", file + " " + error, kExitUsage);
  if (options.json && !dryRun) return Fail(context, "firmware", "--json goes with --dry-run only", kExitUsage);
  if (!dryRun && !options.yes && !OnTerminal()) {
    context.err << "firmware: no terminal to confirm the upgrade on; add --yes to upgrade without asking, or "
                   "--dry-run to check only\n";
    return kExitUsage;
  }
  if (!RefuseHeldDrive(context, "firmware")) return kExitFailed;
  if (const int status = ProbeNamedDrive(context, "firmware"); status != kExitOk) return status;
  // A dry run changes nothing at all: an interrupted upgrade on record is told, not logged.
  if (dryRun) context.env.program().LogUnfinishedUpgrades(false);
  if (!StartAndDetect(context, "firmware", dryRun ? EventLogUse::Off : EventLogUse::On)) return kExitFailed;
  if (!RefuseAfterDetection(context, "firmware")) return kExitFailed;
  unsigned position = 0;
  if (const int status = DevicePosition(context, "firmware", 1, position); status != kExitOk) return status;

  Engine& engine = context.env.engine();
  engine.PickUpgradeDevice(position);
  const FirmwareUpgrade& firmware = engine.firmware();
  if (!engine.LoadFirmwareImage(file, options.force))
    return Fail(context, "firmware", "the image " + file + " was refused");
  if (options.json) {
    if (engine.CheckUpgrade() != UpgradeOutcome::Succeeded)
      return Fail(context, "firmware", "the image does not fit this device");
    context.out << JsonText(DryRunJson(context, position, file), 2) << '\n';
    return kExitOk;
  }
  ShowUpgrade(context, position, file);

  if (dryRun) {
    // A much shorter image is told, but a dry run asks nothing.
    if (const UpgradeOutcome checked = engine.CheckUpgrade(); checked != UpgradeOutcome::Succeeded) {
      TellRefusal(context, checked);
      return kExitFailed;
    }
    if (engine.ImageMuchShorter().value_or(false))
      context.err << "firmware: " << MuchShorterText(context, "Device" + std::to_string(position + 1))
                  << "; the upgrade will ask once more, or need --force with --yes\n";
    ShowPlan(context, firmware.image().length);
    return kExitOk;
  }
  if (const int status = ConfirmUpgrade(context, position); status != kExitOk) return status;

  CliUi& ui = context.env.ui();
  ui.setProgressSource(
      [&firmware] { return std::pair<int, int>(firmware.progressCount(), firmware.progressMaximum()); });
  // The engine holds the signals that would end the process until the flash is consistent.
  const UpgradeOutcome outcome = engine.RunUpgrade();
  ui.finishProgress();
  if (outcome == UpgradeOutcome::DeviceBusy) TellDeviceBusy(context, "firmware", position);
  TellRefusal(context, outcome);
  return outcome == UpgradeOutcome::Succeeded ? kExitOk : kExitFailed;
}

int RunFirmwareBackup(CommandContext& context) {
  const std::uint64_t length = context.options.length;
  std::string error;
  const std::string& target = context.options.words.front();
  const bool toStandardOutput = target == "-";
  if (!toStandardOutput && NotARegularFile(target)) {
    context.err << "firmware-backup: " << target
                << " exists and is not a regular file; name a new or regular file, or - for standard output\n";
    return kExitUsage;
  }
  if (!RefuseHeldDrive(context, "firmware-backup")) return kExitFailed;
  if (const int status = ProbeNamedDrive(context, "firmware-backup"); status != kExitOk) return status;
  if (!StartAndDetect(context, "firmware-backup")) return kExitFailed;
  if (!RefuseAfterDetection(context, "firmware-backup")) return kExitFailed;
  unsigned position = 0;
  if (const int status = DevicePosition(context, "firmware-backup", 1, position); status != kExitOk) return status;

  Engine& engine = context.env.engine();
  std::vector<std::uint8_t> bytes;
  if (!engine.BackupFlash(position, static_cast<std::uint32_t>(length), bytes)) {
    if (TellDeviceBusy(context, "firmware-backup", position)) return kExitFailed;
    context.err << "firmware-backup: the flash could not be read\n";
    return kExitFailed;
  }
  bytes.resize(static_cast<std::size_t>(length));
  const std::string contents(bytes.begin(), bytes.end());
  if (toStandardOutput) {
    if (!context.out.write(contents.data(), static_cast<std::streamsize>(contents.size())).flush()) {
      context.err << "firmware-backup: standard output could not be written\n";
      return kExitFailed;
    }
  } else if (!WriteFileAtomically(target, contents, 0666, error)) {
    context.err << "firmware-backup: " << error << '\n';
    return kExitFailed;
  }
  // With the bytes on standard output, the report goes beside them on standard error.
  (toStandardOutput ? context.err : context.out)
      << (toStandardOutput ? std::string("standard output") : target) << ": " << length << " bytes of the flash of "
      << DeviceLabel(engine, position) << "\n";
  return kExitOk;
}

}  // namespace rur::cli
