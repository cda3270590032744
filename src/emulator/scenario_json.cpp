// SPDX-License-Identifier: GPL-3.0-or-later
#include "emulator/scenario_json.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdlib>

namespace rur::sim::json_read {
namespace {

constexpr std::size_t kModelLength = 40;
constexpr std::size_t kSerialLength = 20;
constexpr std::size_t kFirmwareLength = 8;
constexpr std::size_t kSmartEntries = 30;
constexpr std::uint64_t kMax48Bits = 0xFFFFFFFFFFFFull;

bool ParseNumberText(const std::string& text, std::uint64_t& out) {
  if (text.empty()) return false;
  const bool hex = text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
  const std::string digits = hex ? text.substr(2) : text;
  if (digits.empty() || digits.size() > 16) return false;
  const auto valid = [hex](char c) {
    return hex ? std::isxdigit(static_cast<unsigned char>(c)) != 0 : std::isdigit(static_cast<unsigned char>(c)) != 0;
  };
  if (!std::all_of(digits.begin(), digits.end(), valid)) return false;
  errno = 0;
  out = std::strtoull(digits.c_str(), nullptr, hex ? 16 : 10);
  return errno == 0;
}

}  // namespace

std::string Child(const std::string& place, std::string_view key) {
  return place.empty() ? std::string(key) : place + "." + std::string(key);
}

std::string Item(const std::string& place, std::size_t index) { return place + "[" + std::to_string(index) + "]"; }

bool Fail(std::string& error, const std::string& place, const std::string& problem) {
  error = (place.empty() ? std::string("top level") : place) + ": " + problem;
  return false;
}

bool ExpectObject(const json& value, const std::string& place, const std::vector<std::string_view>& allowed,
                  std::string& error) {
  if (!value.is_object()) return Fail(error, place, "expected an object");
  for (const auto& [key, member] : value.items()) {
    if (std::find(allowed.begin(), allowed.end(), key) == allowed.end())
      return Fail(error, Child(place, key), "unknown field");
  }
  return true;
}

bool ExpectArray(const json& value, const std::string& place, std::string& error) {
  return value.is_array() || Fail(error, place, "expected a list");
}

bool ReadUnsigned(const json& value, const std::string& place, std::uint64_t max, std::uint64_t& out,
                  std::string& error) {
  std::uint64_t number = 0;
  if (value.is_number_unsigned()) {
    number = value.get<std::uint64_t>();
  } else if (value.is_number_integer()) {
    return Fail(error, place, "must not be negative");
  } else if (value.is_string()) {
    if (!ParseNumberText(value.get<std::string>(), number)) return Fail(error, place, "expected a number");
  } else {
    return Fail(error, place, "expected a number");
  }
  if (number > max) return Fail(error, place, "must be at most " + std::to_string(max));
  out = number;
  return true;
}

bool ReadText(const json& value, const std::string& place, std::size_t maxLength, std::string& out,
              std::string& error) {
  if (!value.is_string()) return Fail(error, place, "expected a text");
  const std::string text = value.get<std::string>();
  if (text.size() > maxLength) return Fail(error, place, "longer than " + std::to_string(maxLength) + " characters");
  if (!std::all_of(text.begin(), text.end(), [](char c) { return c >= 0x20 && c <= 0x7E; }))
    return Fail(error, place, "only printable ASCII characters are allowed");
  out = text;
  return true;
}

bool ReadBytes(const json& value, const std::string& place, std::size_t maxLength, std::string& out,
               std::string& error) {
  if (!value.is_object()) return ReadText(value, place, maxLength, out, error);
  if (!ExpectObject(value, place, {"hex"}, error)) return false;
  const auto hex = value.find("hex");
  if (hex == value.end() || !hex->is_string()) return Fail(error, Child(place, "hex"), "expected a text of hex digits");
  std::string digits;
  for (const char c : hex->get<std::string>()) {
    if (c == ' ') continue;
    if (!std::isxdigit(static_cast<unsigned char>(c)))
      return Fail(error, Child(place, "hex"), "expected hex digits, two a byte");
    digits += c;
  }
  if (digits.size() % 2 != 0) return Fail(error, Child(place, "hex"), "expected hex digits, two a byte");
  if (digits.size() / 2 > maxLength)
    return Fail(error, Child(place, "hex"), "longer than " + std::to_string(maxLength) + " bytes");
  std::string bytes;
  for (std::size_t k = 0; k < digits.size(); k += 2)
    bytes += static_cast<char>(std::stoul(digits.substr(k, 2), nullptr, 16));
  out = std::move(bytes);
  return true;
}

json BytesToJson(const std::string& bytes) {
  if (std::all_of(bytes.begin(), bytes.end(), [](char c) { return c >= 0x20 && c <= 0x7E; })) return bytes;
  static constexpr char kDigits[] = "0123456789ABCDEF";
  std::string hex;
  for (const char c : bytes) {
    const auto byte = static_cast<unsigned char>(c);
    if (!hex.empty()) hex += ' ';
    hex += kDigits[byte >> 4];
    hex += kDigits[byte & 0x0F];
  }
  return json{{"hex", hex}};
}

bool ReadBool(const json& value, const std::string& place, bool& out, std::string& error) {
  if (!value.is_boolean()) return Fail(error, place, "expected true or false");
  out = value.get<bool>();
  return true;
}

bool ReadSeconds(const json& value, const std::string& place, std::uint64_t& ms, std::string& error) {
  if (!value.is_number()) return Fail(error, place, "expected a number of seconds");
  const double seconds = value.get<double>();
  if (!(seconds >= 0) || seconds > 1e9) return Fail(error, place, "expected seconds between 0 and 1e9");
  ms = static_cast<std::uint64_t>(std::llround(seconds * 1000.0));
  return true;
}

bool OptionalText(const json& object, std::string_view key, const std::string& place, std::size_t maxLength,
                  std::string& out, std::string& error) {
  const auto found = object.find(key);
  return found == object.end() || ReadText(*found, Child(place, key), maxLength, out, error);
}

bool OptionalBytes(const json& object, std::string_view key, const std::string& place, std::size_t maxLength,
                   std::string& out, std::string& error) {
  const auto found = object.find(key);
  return found == object.end() || ReadBytes(*found, Child(place, key), maxLength, out, error);
}

bool OptionalBool(const json& object, std::string_view key, const std::string& place, bool& out, std::string& error) {
  const auto found = object.find(key);
  return found == object.end() || ReadBool(*found, Child(place, key), out, error);
}

std::vector<std::string_view> MemberDiskKeys() { return {"model", "serial", "firmware", "capacity", "smart"}; }

bool ReadMemberDisk(const json& object, const std::string& place, MemberDisk& out, std::string& error) {
  if (!OptionalBytes(object, "model", place, kModelLength, out.model, error) ||
      !OptionalBytes(object, "serial", place, kSerialLength, out.serial, error) ||
      !OptionalBytes(object, "firmware", place, kFirmwareLength, out.firmware, error) ||
      !OptionalUnsigned(object, "capacity", place, out.capacity, error, kMax48Bits))
    return false;
  const auto smart = object.find("smart");
  if (smart == object.end()) return true;
  const std::string smartPlace = Child(place, "smart");
  if (!ExpectArray(*smart, smartPlace, error)) return false;
  if (smart->size() > kSmartEntries) return Fail(error, smartPlace, "at most 30 attributes fit a page");
  out.smart.clear();
  for (std::size_t i = 0; i < smart->size(); ++i) {
    SmartAttribute attribute;
    if (!ReadAttribute((*smart)[i], Item(smartPlace, i), attribute, error)) return false;
    out.smart.push_back(attribute);
  }
  return true;
}

bool ReadAttribute(const json& value, const std::string& place, SmartAttribute& out, std::string& error) {
  if (!ExpectObject(value, place, {"id", "flags", "value", "worst", "threshold", "raw"}, error)) return false;
  if (value.find("id") == value.end()) return Fail(error, Child(place, "id"), "missing");
  return OptionalUnsigned(value, "id", place, out.id, error) &&
         OptionalUnsigned(value, "flags", place, out.flags, error) &&
         OptionalUnsigned(value, "value", place, out.value, error) &&
         OptionalUnsigned(value, "worst", place, out.worst, error) &&
         OptionalUnsigned(value, "threshold", place, out.threshold, error) &&
         OptionalUnsigned(value, "raw", place, out.raw, error, kMax48Bits);
}

json MemberDiskToJson(const MemberDisk& disk) {
  json smart = json::array();
  for (const SmartAttribute& a : disk.smart) {
    smart.push_back({{"id", a.id},
                     {"flags", a.flags},
                     {"value", a.value},
                     {"worst", a.worst},
                     {"threshold", a.threshold},
                     {"raw", a.raw}});
  }
  return {{"model", BytesToJson(disk.model)},
          {"serial", BytesToJson(disk.serial)},
          {"firmware", BytesToJson(disk.firmware)},
          {"capacity", disk.capacity},
          {"smart", smart}};
}

}  // namespace rur::sim::json_read
