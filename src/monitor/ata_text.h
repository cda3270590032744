// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Texts from ATA string fields: each byte pair is stored swapped, the text ends at the first zero.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace rur {

// Texts from the enclosure end up in log lines, mails, terminals and JSON: a byte outside printable
// ASCII (a line break that would forge a log line, an escape sequence, a byte that is no UTF-8)
// shows as '?'. ATA and SCSI name fields are printable ASCII on every disk that keeps to the standards.
char PrintableCharacter(std::uint8_t byte);

std::string AtaStringToText(const std::uint8_t* field, std::size_t length);
// A 40-byte model text without its trailing blanks, but never shorter than six characters.
std::string TrimModelText(std::string text);
// The byte pairs of a text swapped back into an ATA string field, padded with blanks.
void TextToAtaString(const std::string& text, std::uint8_t* field, std::size_t length);

// A disk's identity from its serial field, for the memories kept per disk: the text without the
// blanks around it where the field is printable ASCII padded with zeros (the key these memories
// have always used), otherwise every byte of the field in KeyText's hexadecimal form, so that two
// disks whose serials show as the same question marks, or as the same text up to a zero, are
// never taken for one. Empty for a field of blanks and zeros.
std::string AtaSerialKey(const std::uint8_t* field, std::size_t length);
// What a key of the hexadecimal form was stored as before it existed: the serial's text with '?'
// for the bytes it cannot show, cut at its first zero, blanks cut. Empty for any other key.
std::string EarlierSerialKey(const std::string& key);

}  // namespace rur
