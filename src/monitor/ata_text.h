#pragma once
// Texts from ATA string fields: each byte pair is stored swapped, the text ends at the first zero.

#include <cstddef>
#include <cstdint>
#include <string>

namespace rur {

std::string AtaStringToText(const std::uint8_t* field, std::size_t length);
// A 40-byte model text without its trailing blanks, but never shorter than six characters.
std::string TrimModelText(std::string text);
// The byte pairs of a text swapped back into an ATA string field, padded with blanks.
void TextToAtaString(const std::string& text, std::uint8_t* field, std::size_t length);

}  // namespace rur
