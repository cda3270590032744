// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/command_arguments.h"

#include <algorithm>
#include <cctype>

namespace rur::cli {
namespace {

bool Digits(std::string_view text, int base, std::uint64_t max, std::uint64_t& out) {
  if (text.empty() || text.size() > 20) return false;
  std::uint64_t value = 0;
  for (char c : text) {
    int digit = 0;
    if (std::isdigit(static_cast<unsigned char>(c)))
      digit = c - '0';
    else if (base == 16 && std::isxdigit(static_cast<unsigned char>(c)))
      digit = std::tolower(c) - 'a' + 10;
    else
      return false;
    if (value > (max - static_cast<std::uint64_t>(digit)) / static_cast<std::uint64_t>(base)) return false;
    value = value * static_cast<std::uint64_t>(base) + static_cast<std::uint64_t>(digit);
  }
  out = value;
  return true;
}

std::string_view WithoutHexPrefix(std::string_view text) {
  if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) return text.substr(2);
  return text;
}

}  // namespace

bool ParseNumber(std::string_view text, std::uint64_t max, std::uint64_t& out) {
  const std::string_view hex = WithoutHexPrefix(text);
  return hex.size() != text.size() ? Digits(hex, 16, max, out) : Digits(text, 10, max, out);
}

bool ParseHexNumber(std::string_view text, std::uint64_t max, std::uint64_t& out) {
  return Digits(WithoutHexPrefix(text), 16, max, out);
}

bool ParseArguments(const std::vector<std::string>& args, const std::vector<std::string_view>& valueOptions,
                    const std::vector<std::string_view>& flagOptions, ParsedArguments& out, std::string& error) {
  const auto known = [](const std::vector<std::string_view>& names, std::string_view name) {
    return std::find(names.begin(), names.end(), name) != names.end();
  };
  bool onlyPositionals = false;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& word = args[i];
    if (onlyPositionals || word.size() < 2 || word[0] != '-' || std::isdigit(static_cast<unsigned char>(word[1]))) {
      out.positionals.push_back(word);
      continue;
    }
    if (word == "--") {
      onlyPositionals = true;
      continue;
    }
    const std::size_t equals = word.find('=');
    const std::string name = word.substr(0, equals);
    if (known(valueOptions, name)) {
      if (equals != std::string::npos) {
        out.options[name] = word.substr(equals + 1);
      } else if (i + 1 < args.size()) {
        out.options[name] = args[++i];
      } else {
        error = name + " needs a value";
        return false;
      }
    } else if (known(flagOptions, name) && equals == std::string::npos) {
      out.flags.insert(name);
    } else {
      error = "unknown option " + word;
      return false;
    }
  }
  return true;
}

}  // namespace rur::cli
