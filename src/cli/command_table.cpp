#include "cli/command_table.h"

namespace rur::cli {

const std::vector<Command>& Commands() {
  static const std::vector<Command> commands{
      {"query", "CODE [--drive N]",
       "send the status query CODE (hex: 10, 11, 15, 17) to drive N (default 0); print the result and the answer",
       RunQuery},
      {"mail-settings", "", "print the stored mail settings (password masked), the recipients and the alarm texts",
       RunMailSettings},
      {"mail-test", "", "send the test mail with the stored settings to the sender's address; print the outcome",
       RunMailTest},
  };
  return commands;
}

const Command* FindCommand(std::string_view name) {
  for (const Command& command : Commands())
    if (command.name == name) return &command;
  return nullptr;
}

}  // namespace rur::cli
