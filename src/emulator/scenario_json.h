// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Reading the simulator's JSON (scenario files and saved device state) with errors that name the
// place, e.g. "drives[1].members[0].state: expected a number".

#include <cstdint>
#include <limits>
#include <string>
#include <string_view>
#include <vector>

#include <nlohmann/json.hpp>

#include "emulator/scenario.h"

namespace rur::sim::json_read {

using nlohmann::json;

std::string Child(const std::string& place, std::string_view key);
std::string Item(const std::string& place, std::size_t index);
bool Fail(std::string& error, const std::string& place, const std::string& problem);

// An object whose keys are all among the allowed ones.
bool ExpectObject(const json& value, const std::string& place, const std::vector<std::string_view>& allowed,
                  std::string& error);
bool ExpectArray(const json& value, const std::string& place, std::string& error);

// A whole number: a JSON integer, or a string in decimal or 0x-hexadecimal.
bool ReadUnsigned(const json& value, const std::string& place, std::uint64_t max, std::uint64_t& out,
                  std::string& error);
// Printable ASCII of at most maxLength characters.
bool ReadText(const json& value, const std::string& place, std::size_t maxLength, std::string& out, std::string& error);
// The bytes of a field a device reports: printable ASCII as a JSON string, or any bytes as
// {"hex": "3C 62 FF"} (two digits a byte, blanks between them allowed); at most maxLength bytes.
bool ReadBytes(const json& value, const std::string& place, std::size_t maxLength, std::string& out,
               std::string& error);
// Such bytes as ReadBytes reads them: a string where they are printable ASCII, else the hex form.
json BytesToJson(const std::string& bytes);
bool ReadBool(const json& value, const std::string& place, bool& out, std::string& error);
// Seconds of program time, whole or fractional, not negative; returned in milliseconds.
bool ReadSeconds(const json& value, const std::string& place, std::uint64_t& ms, std::string& error);

// Optional members of an object: left unchanged when the key is absent.
template <typename T>
bool OptionalUnsigned(const json& object, std::string_view key, const std::string& place, T& out, std::string& error,
                      std::uint64_t max = std::numeric_limits<T>::max()) {
  const auto found = object.find(key);
  if (found == object.end()) return true;
  std::uint64_t value = 0;
  if (!ReadUnsigned(*found, Child(place, key), max, value, error)) return false;
  out = static_cast<T>(value);
  return true;
}
bool OptionalText(const json& object, std::string_view key, const std::string& place, std::size_t maxLength,
                  std::string& out, std::string& error);
bool OptionalBytes(const json& object, std::string_view key, const std::string& place, std::size_t maxLength,
                   std::string& out, std::string& error);
bool OptionalBool(const json& object, std::string_view key, const std::string& place, bool& out, std::string& error);

// Member disks, shared by scenario files and saved device state.
// One entry of a member's "smart" list: {"id", "flags", "value", "worst", "threshold", "raw"}.
bool ReadAttribute(const json& value, const std::string& place, SmartAttribute& out, std::string& error);
bool ReadMemberDisk(const json& object, const std::string& place, MemberDisk& out, std::string& error);
json MemberDiskToJson(const MemberDisk& disk);
// The keys a member disk may use, for objects that embed one.
std::vector<std::string_view> MemberDiskKeys();

}  // namespace rur::sim::json_read
