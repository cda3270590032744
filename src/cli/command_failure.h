// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// How a command says it failed: the message on standard error and, with --json, an object
// {"error": message} on standard output, so a script never reads a failure as an empty result.

#include <string>
#include <string_view>

#include "cli/command_table.h"

namespace rur::cli {

// Returns `status`, so a command can end with `return Fail(...)`.
int Fail(CommandContext& context, std::string_view command, const std::string& message, int status = kExitFailed);

}  // namespace rur::cli
