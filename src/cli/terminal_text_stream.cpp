// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/terminal_text_stream.h"

#include "platform/safe_text.h"

namespace rur::cli {
namespace {

// How many bytes at the end of `text` begin a character that continues beyond it.
std::size_t UnfinishedTail(std::string_view text) {
  for (std::size_t back = 1; back <= 3 && back <= text.size(); ++back) {
    const auto byte = static_cast<unsigned char>(text[text.size() - back]);
    if (byte < 0x80) return 0;
    if (byte < 0xC0) continue;  // a continuation byte: look further back for its lead
    const std::size_t length = byte >= 0xF0 ? 4 : byte >= 0xE0 ? 3 : 2;
    return back < length ? back : 0;
  }
  return 0;
}

}  // namespace

TerminalTextBuffer::~TerminalTextBuffer() {
  if (!held_.empty()) target_ << TerminalText(held_, true);
  target_.flush();
}

TerminalTextBuffer::int_type TerminalTextBuffer::overflow(int_type c) {
  if (traits_type::eq_int_type(c, traits_type::eof())) return traits_type::not_eof(c);
  const char byte = traits_type::to_char_type(c);
  Pass(std::string_view(&byte, 1));
  return c;
}

std::streamsize TerminalTextBuffer::xsputn(const char* text, std::streamsize count) {
  Pass(std::string_view(text, static_cast<std::size_t>(count)));
  return count;
}

int TerminalTextBuffer::sync() { return target_.flush() ? 0 : -1; }

void TerminalTextBuffer::Pass(std::string_view bytes) {
  held_.append(bytes);
  const std::size_t keep = UnfinishedTail(held_);
  target_ << TerminalText(std::string_view(held_).substr(0, held_.size() - keep), true);
  held_.erase(0, held_.size() - keep);
}

}  // namespace rur::cli
