// SPDX-License-Identifier: GPL-3.0-or-later
// Texts a device or a file chose are made fit for each face: whatever the bytes, each function
// gives what its face can carry (well-formed UTF-8 throughout; no NUL on the bus, no markup in a
// notice, no control character on a terminal or in a day-log line, nothing raw that ends a label
// value), and a serial's key is one line of printable ASCII.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "monitor/ata_text.h"
#include "platform/safe_text.h"

namespace {

void Require(bool condition) {
  if (!condition) std::abort();
}

bool HasControl(const std::string& text) {
  for (std::size_t at = 0; at < text.size(); ++at) {
    const auto byte = static_cast<unsigned char>(text[at]);
    if (byte < 0x20 || byte == 0x7F) return true;
    // U+0080..U+009F
    if (byte == 0xC2 && at + 1 < text.size() && static_cast<unsigned char>(text[at + 1]) <= 0x9F) return true;
  }
  return false;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  const std::string valid = rur::ValidUtf8(text);
  Require(rur::ValidUtf8(valid) == valid);  // well-formed text passes unchanged
  const std::string bus = rur::BusText(text);
  Require(rur::ValidUtf8(bus) == bus && bus.find('\0') == std::string::npos);
  const std::string markup = rur::MarkupText(text);
  Require(rur::ValidUtf8(markup) == markup && markup.find_first_of(std::string("<>\0", 3)) == std::string::npos);
  const std::string terminal = rur::TerminalText(text);
  Require(rur::ValidUtf8(terminal) == terminal && !HasControl(terminal));
  Require(rur::TerminalText(terminal) == terminal);
  const std::string label = rur::LabelValueText(text);
  Require(rur::ValidUtf8(label) == label && !HasControl(label));
  for (std::size_t at = 0; at < label.size(); ++at) {
    if (label[at] == '\\')
      ++at;  // an escape and what it escapes
    else
      Require(label[at] != '"');
  }
  std::string bytes;
  const std::string key = rur::KeyText(text);
  Require(key.find_first_of("\t\r\n") == std::string::npos && (!rur::HexKeyBytes(key, bytes) || bytes == text));
  if (size >= 20) {
    const std::string serial = rur::AtaSerialKey(data, 20);
    Require(!HasControl(serial) && rur::ValidUtf8(serial) == serial);
  }
  return 0;
}
