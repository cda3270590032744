// SPDX-License-Identifier: GPL-3.0-or-later
// rurctl udev-rule [--group NAME]: a udev rule that lets the group NAME and the logged-in desktop
// user read the enclosures found, matched by their USB bridge (vendor, product, serial). It has to
// find them first, so it is run once with read access to the disks (as root).

#include <cctype>

#include "cli/engine_session.h"
#include "monitor/device_names.h"

namespace rur::cli {
namespace {

constexpr const char* kDefaultGroup = "rode-rur";
constexpr std::size_t kGroupNameMax = 32;

// A group name as useradd takes it; anything else could break out of the rule's quotes.
bool ValidGroupName(const std::string& name) {
  if (name.empty() || name.size() > kGroupNameMax) return false;
  if (!(std::islower(static_cast<unsigned char>(name[0])) || name[0] == '_')) return false;
  for (char c : name)
    if (!(std::islower(static_cast<unsigned char>(c)) || std::isdigit(static_cast<unsigned char>(c)) || c == '_' ||
          c == '-'))
      return false;
  return true;
}

// A value from the device as a udev match: characters a rule cannot hold literally become '?',
// which matches any one character (udev itself writes spaces in serials as '_').
std::string MatchValue(const std::string& value) {
  std::string out;
  for (char c : value) {
    const bool plain = std::isalnum(static_cast<unsigned char>(c)) || c == '.' || c == '_' || c == '-' || c == ':';
    out += plain ? c : '?';
  }
  return out;
}

}  // namespace

int RunUdevRule(CommandContext& context) {
  ParsedArguments parsed;
  std::string error;
  if (!ParseArguments(context.args, {"--group"}, {}, parsed, error) || !parsed.positionals.empty()) {
    context.err << "udev-rule: " << (error.empty() ? "takes no words, only --group NAME" : error) << '\n';
    return kExitUsage;
  }
  const std::string group = parsed.has("--group") ? parsed.options.at("--group") : kDefaultGroup;
  if (!ValidGroupName(group)) {
    context.err << "udev-rule: --group takes a group name (lower-case letters, digits, '_' and '-', at most 32)\n";
    return kExitUsage;
  }
  if (!StartAndDetect(context, "udev-rule")) return kExitFailed;
  const Engine& engine = context.env.engine();
  ReportDetectionProblems(context, "udev-rule");

  std::string rules;
  for (unsigned i = 0; i < engine.deviceCount(); ++i) {
    const unsigned drive = engine.DriveAt(i);
    const DriveFacts names = engine.DriveNames(drive);
    rules += "# Device" + std::to_string(i + 1) + " (" + engine.DrivePathText(drive) +
             "): " + DeviceProductName(engine.identity(drive)) + "\n";
    if (!names.usb() || names.usbVendorId.empty() || names.usbProductId.empty()) {
      rules += "# not a USB disk with a known bridge: no rule\n";
      continue;
    }
    std::string match = "SUBSYSTEM==\"block\", ENV{DEVTYPE}==\"disk\", ENV{ID_BUS}==\"usb\", ENV{ID_VENDOR_ID}==\"" +
                        MatchValue(names.usbVendorId) + "\", ENV{ID_MODEL_ID}==\"" + MatchValue(names.usbProductId) +
                        "\"";
    if (names.usbSerial.empty()) {
      rules += "# the bridge reports no serial number: this matches every enclosure of its kind\n";
    } else {
      match += ", ENV{ID_SERIAL_SHORT}==\"" + MatchValue(names.usbSerial) + "\"";
    }
    rules += match + ", GROUP=\"" + group + "\", MODE=\"0640\", TAG+=\"uaccess\"\n";
  }
  if (engine.deviceCount() == 0) {
    context.err << "udev-rule: No Drive found! The enclosures must be readable to be recognised: run this once "
                   "as root.\n";
    return kExitFailed;
  }
  context.out << "# RODE RUR: read access to the enclosures' disks for the group " << group
              << " and for the user\n"
                 "# logged in at the seat (uaccess). Save as /etc/udev/rules.d/70-rode-rur.rules, then run\n"
                 "#   udevadm control --reload && udevadm trigger --subsystem-match=block\n"
                 "# See docs/permissions.md.\n"
              << rules;
  return kExitOk;
}

}  // namespace rur::cli
