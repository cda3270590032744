// SPDX-License-Identifier: GPL-3.0-or-later
#include "notify/quoted_printable.h"

namespace rur {

namespace {

constexpr std::size_t kEncodedLineLength = 76;  // including the '=' of a soft line break
constexpr std::string_view kLineBreak = "\r\n";

bool IsLiteral(unsigned char byte) {
  return byte != '=' && ((byte >= 33 && byte <= 126) || byte == ' ' || byte == '\t');
}

// One line of the text (no CR LF in it), broken into encoded lines.
void EncodeLine(std::string_view line, std::string& out) {
  static const char kHex[] = "0123456789ABCDEF";
  std::size_t column = 0;
  for (std::size_t i = 0; i < line.size(); ++i) {
    const auto byte = static_cast<unsigned char>(line[i]);
    const bool last = i + 1 == line.size();
    // A blank at the end of a line would be lost by mail programs that trim lines.
    std::string piece;
    if (IsLiteral(byte) && !(last && (byte == ' ' || byte == '\t')))
      piece.assign(1, static_cast<char>(byte));
    else
      piece = {'=', kHex[byte >> 4], kHex[byte & 0x0F]};
    // Room for the piece and, unless the line ends here, the soft break's '='.
    const std::size_t room = last ? kEncodedLineLength : kEncodedLineLength - 1;
    if (column + piece.size() > room) {
      out += "=";
      out += kLineBreak;
      column = 0;
    }
    out += piece;
    column += piece.size();
  }
}

}  // namespace

bool HasOverlongLine(std::string_view text) {
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find(kLineBreak, start);
    if (end == std::string_view::npos) end = text.size();
    if (end - start > kSmtpMaxLineLength) return true;
    start = end + kLineBreak.size();
  }
  return false;
}

std::string EncodeQuotedPrintable(std::string_view text) {
  std::string out;
  std::size_t start = 0;
  while (start < text.size()) {
    const std::size_t end = text.find(kLineBreak, start);
    EncodeLine(text.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start), out);
    if (end == std::string_view::npos) break;
    out += kLineBreak;
    start = end + kLineBreak.size();
  }
  return out;
}

}  // namespace rur
