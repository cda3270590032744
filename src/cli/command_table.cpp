// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/command_table.h"

namespace rur::cli {

const std::vector<Command>& Commands() {
  static const std::vector<Command> commands{
      {"query", "CODE [--drive N]",
       "send the status query CODE (hex: 10, 11, 15, 17) to drive N (a number, /dev/sdX or a by-id name; "
       "default 0); print the result and the answer",
       RunQuery},
      {"detect", "[--json]", "find the enclosures among the drives; one line each (exit 1 when none)", RunDetect},
      {"status", "[--json]", "detection and one refresh, then what the status page shows for each enclosure",
       RunStatus},
      {"monitor", "[--for SECONDS] [--json] [--exec PROG]... [--textfile-dir DIR]",
       "watch like the window does: refresh every 5 s, event log, alarm mails; print each new log line; --exec runs "
       "PROG for each event; with --textfile-dir, Prometheus metrics in DIR/rode_rur.prom",
       RunMonitor},
      {"log", "[FILE] [--json]", "print today's event log of the data folder, or FILE", RunLog},
      {"smart", "[--device N | --drive D] [--bay 1|2] [--json]",
       "read the SMART pages and print the graded grid of one bay", RunSmart},
      {"dump-smart", "", "write the SMART data and threshold pages of Device1 to dump files; print their paths",
       RunDumpSmart},
      {"firmware", "FILE [--device N | --drive D] [--yes [--force] | --dry-run [--json]]",
       "check the image FILE, show it and the device, ask, then upgrade the controller's flash (erase, program, "
       "verify); --yes does not ask (needed without a terminal), --dry-run only checks and tells what would be "
       "erased and written, changing nothing; --force writes an image much shorter than the firmware it replaces "
       "(asked otherwise) or another image than an interrupted upgrade was writing",
       RunFirmware},
      {"firmware-backup", "FILE|- [--device N | --drive D] [--length BYTES]",
       "read the controller's flash from address 0 into FILE, or to standard output with - (default 1 MiB)",
       RunFirmwareBackup},
      {"mail-settings", "[--json]",
       "print the stored mail settings (password masked), the recipients and the alarm texts", RunMailSettings},
      {"mail-test", "", "send the test mail with the stored settings to the sender's address; print the outcome",
       RunMailTest},
      {"mail-queue", "[--flush] [--json]",
       "list the alarm mails that wait in the outbox (age, kind, recipients, last error); --flush tries them now",
       RunMailQueue},
      {"mail-set", "KEY VALUE",
       "change one stored mail setting (KEY: a value name the mail-settings --json output lists, or Login, "
       "Password; Password - reads the password from standard input)",
       RunMailSet},
      {"mail-recipients", "add|remove ADDRESS", "add or remove a recipient of the alarm mails (at most 10)",
       RunMailRecipients},
      {"udev-rule", "[--group NAME]",
       "print a udev rule giving the group NAME (default rode-rur) and the desktop user read access to the "
       "enclosures found",
       RunUdevRule},
  };
  return commands;
}

const Command* FindCommand(std::string_view name) {
  for (const Command& command : Commands())
    if (command.name == name) return &command;
  return nullptr;
}

}  // namespace rur::cli
