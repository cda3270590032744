// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Quoted-printable body encoding, for mail bodies whose lines are too long for SMTP (a line may
// carry at most 998 bytes before its CR LF). The reader's mail program decodes it back to the
// very same text.

#include <string>
#include <string_view>

namespace rur {

// The longest line SMTP carries, without its CR LF.
constexpr std::size_t kSmtpMaxLineLength = 998;

// True when some line of a CR LF text is longer than SMTP carries.
bool HasOverlongLine(std::string_view text);

// A CR LF text in quoted-printable form: its line breaks stay line breaks, every encoded line has
// at most 76 characters, and bytes other than printable ASCII are written as =XX.
std::string EncodeQuotedPrintable(std::string_view text);

}  // namespace rur
