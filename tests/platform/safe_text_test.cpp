// SPDX-License-Identifier: GPL-3.0-or-later
// Texts a device or a file chose, made fit for each face: whatever the bytes, the JSON, the bus,
// the notices, the metrics, the terminal and the day log each get a text they can carry (keys of
// raw bytes are tested with the serials they are made from).

#include <gtest/gtest.h>

#include <sstream>

#include "cli/terminal_text_stream.h"
#include "platform/safe_text.h"

namespace rur {
namespace {

const std::string kFffd = "\xEF\xBF\xBD";

TEST(SafeTextTest, OnlyWellFormedUtf8Passes) {
  const struct {
    std::string in, out;
  } cases[] = {
      {"plain", "plain"},
      {"M\xC3\xBCller \xE2\x82\xAC \xF0\x9F\x92\xBE", "M\xC3\xBCller \xE2\x82\xAC \xF0\x9F\x92\xBE"},
      {"x\xFF.log", "x" + kFffd + ".log"},
      {"\xC0\xAF", kFffd + kFffd},                          // an overlong '/'
      {"\xED\xA0\x80", kFffd + kFffd + kFffd},              // a surrogate
      {"\xF4\x90\x80\x80", kFffd + kFffd + kFffd + kFffd},  // above U+10FFFF
      {"ab\xE2\x82", "ab" + kFffd + kFffd},                 // cut off at the end
      {"\x80z", kFffd + "z"},                               // a continuation without its lead
      {std::string("a\0b", 3), std::string("a\0b", 3)},
  };
  for (const auto& c : cases) EXPECT_EQ(ValidUtf8(c.in), c.out) << c.in;
}

TEST(SafeTextTest, EachFaceGetsWhatItCanCarry) {
  // What a hostile bridge and disk report: an escape sequence, markup, a line break, a carriage
  // return, a NUL, a C1 control (U+009B, the one-character CSI) and a byte that is no UTF-8.
  const std::string hostile = std::string("\x1B[31m<b>\"a\\b\" &\r\n") + std::string(1, '\0') +
                              "\xC2\x9B"
                              "\xFF"
                              "\xC3\xA9";
  EXPECT_EQ(BusText(hostile), "\x1B[31m<b>\"a\\b\" &\r\n?\xC2\x9B" + kFffd + "\xC3\xA9");
  EXPECT_EQ(MarkupText(hostile), "\x1B[31m&lt;b&gt;\"a\\b\" &amp;\r\n?\xC2\x9B" + kFffd + "\xC3\xA9");
  EXPECT_EQ(LabelValueText(hostile), "?[31m<b>\\\"a\\\\b\\\" &?\\n??" + kFffd + "\xC3\xA9");
  EXPECT_EQ(TerminalText(hostile), "?[31m<b>\"a\\b\" &????" + kFffd + "\xC3\xA9");
  EXPECT_EQ(TerminalText("one\ttwo\nthree\r", true), "one\ttwo\nthree?");
  EXPECT_EQ(LogLineText("D1 HDD1 replaced\r\nD9 forged, "), "D1 HDD1 replaced??D9 forged, ");
}

TEST(SafeTextTest, TerminalStreamKeepsCharactersSplitAcrossWrites) {
  std::ostringstream target;
  {
    cli::TerminalTextStream out(target);
    // "é" written a byte at a time, an escape sequence, a stray byte, then the last byte of a
    // character that is never finished.
    out << "caf\xC3";
    out << "\xA9 \x1B[2J\xFF\n";
    out.put('\xE2');
    out.flush();
    EXPECT_EQ(target.str(), "caf\xC3\xA9 ?[2J" + kFffd + "\n");
  }
  EXPECT_EQ(target.str(), "caf\xC3\xA9 ?[2J" + kFffd + "\n" + kFffd);
}

}  // namespace
}  // namespace rur
