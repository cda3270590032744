// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Texts that a device or a file chooses (a bridge's INQUIRY fields, a by-id name, a disk's serial,
// a folder's name) reach every face of the program, and each face has rules of its own for what a
// text may hold. These functions make any bytes fit one face's rules; they never fail and never
// drop a text, so one odd string cannot hide the rest of an answer.
//
// Everywhere: a byte that is not part of well-formed UTF-8 becomes U+FFFD, and a control character
// that a face cannot carry becomes '?'.

#include <string>
#include <string_view>

namespace rur {

// Well-formed UTF-8 (JSON; the JSON writer replaces the same way).
std::string ValidUtf8(std::string_view text);
// A D-Bus string: well-formed UTF-8 without NUL.
std::string BusText(std::string_view text);
// A desktop notice's summary or body, which notification servers read as markup: a D-Bus string
// with '&', '<' and '>' written as entities, so "<b>" shows as typed.
std::string MarkupText(std::string_view text);
// A Prometheus label value between its quotes: well-formed UTF-8, the backslash, the double quote
// and the line feed escaped, every other control character '?'.
std::string LabelValueText(std::string_view text);
// For a terminal: well-formed UTF-8 without control characters (C0, DEL and C1 alike, so no escape
// sequence reaches the terminal). `keepLines`: line feeds and tabs stay (whole outputs of several
// lines); without it they become '?' too (one field of a line).
std::string TerminalText(std::string_view text, bool keepLines = false);
// A line of the day log: no line break nor any other control character.
std::string LogLineText(std::string_view text);
// A key for a file of keys (one per line, fields split by tabs) made from raw bytes: the bytes
// themselves where they are printable ASCII, else "hex:" and two upper-case digits per byte. Two
// different byte strings never give the same key.
std::string KeyText(std::string_view bytes);
// Whether `key` is of KeyText's hexadecimal form; `bytes` are its bytes then.
bool HexKeyBytes(std::string_view key, std::string& bytes);

}  // namespace rur
