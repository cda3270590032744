// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/command_failure.h"

#include <nlohmann/json.hpp>

#include "cli/json_text.h"

namespace rur::cli {

int Fail(CommandContext& context, std::string_view command, const std::string& message, int status) {
  context.err << command << ": " << message << '\n';
  if (context.options.json) context.out << JsonText(nlohmann::json{{"error", message}}, 2) << '\n';
  return status;
}

}  // namespace rur::cli
