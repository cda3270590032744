// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <ostream>
#include <string>
#include <vector>

namespace rur::cli {

// The whole of rurctl on the words after the program name; returns the exit status.
int RunRurctl(std::vector<std::string> args, std::ostream& out, std::ostream& err);
std::string Usage();

}  // namespace rur::cli
