// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// rurctl's talk on its way to the terminal: whatever a device or a file's name put into a text,
// no control character (an escape sequence, a carriage return, a NUL) and no byte that is not
// UTF-8 reaches the terminal or the script reading it. Line feeds and tabs pass.

#include <ostream>
#include <streambuf>
#include <string>
#include <string_view>

namespace rur::cli {

class TerminalTextBuffer final : public std::streambuf {
 public:
  explicit TerminalTextBuffer(std::ostream& target) : target_(target) {}
  ~TerminalTextBuffer() override;

 protected:
  int_type overflow(int_type c) override;
  std::streamsize xsputn(const char* text, std::streamsize count) override;
  int sync() override;

 private:
  void Pass(std::string_view bytes);

  std::ostream& target_;
  std::string held_;  // the first bytes of a character whose last ones were not written yet
};

// An output stream over `target` whose text goes through a TerminalTextBuffer.
class TerminalTextStream final : public std::ostream {
 public:
  explicit TerminalTextStream(std::ostream& target) : std::ostream(nullptr), buffer_(target) { rdbuf(&buffer_); }

 private:
  TerminalTextBuffer buffer_;
};

}  // namespace rur::cli
