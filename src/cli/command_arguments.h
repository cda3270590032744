// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Reading a command's own arguments: positional words, "--name VALUE" / "--name=VALUE" options and
// plain flags, with one error for anything unexpected.

#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace rur::cli {

struct ParsedArguments {
  std::vector<std::string> positionals;
  std::map<std::string, std::string> options;  // by name, with the leading dashes
  std::set<std::string> flags;

  bool has(const std::string& name) const { return options.count(name) != 0 || flags.count(name) != 0; }
};

bool ParseArguments(const std::vector<std::string>& args, const std::vector<std::string_view>& valueOptions,
                    const std::vector<std::string_view>& flagOptions, ParsedArguments& out, std::string& error);

// A whole number in decimal or 0x-hexadecimal, at most max.
bool ParseNumber(std::string_view text, std::uint64_t max, std::uint64_t& out);
// A number always read as hexadecimal, with or without 0x.
bool ParseHexNumber(std::string_view text, std::uint64_t max, std::uint64_t& out);

}  // namespace rur::cli
