#pragma once
// The radio's CW memory code: each character a Morse pattern of n elements stored as 2^n plus
// 2^k for each dash k (k = 0 for the first element sent), with a few special codes. A memory's
// area (where it lies: model/eeprom_map.h) holds its text backwards from offset 0xFA, ended by 0xCC.
#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "model/eeprom_map.h"
#include "platform/result.h"

namespace rm7 {

inline constexpr std::size_t kCwEditLimit = 250;  // characters an edit box takes
inline constexpr std::uint8_t kCwWordSpace = 0x80;
inline constexpr std::uint8_t kCwHalfSpace = 0x85;
inline constexpr std::uint8_t kCwImSign = 0x1C;
inline constexpr std::uint8_t kCwEndMark = 0xCC;
inline constexpr std::uint8_t kCwErased = 0xFF;

using CwArea = std::array<std::uint8_t, kCwAreaSize>;

// The code of a character 0x20-0x5F (0 when the radio cannot send it).
std::uint8_t CwEncodingEntry(char c);
// The character of a code below 120 (0 when none).
char CwDecodingEntry(std::uint8_t code);
// Whether a typed character passes the edit box: upper-cased, "~", "|" or a character with a code.
bool IsCwTypeable(char32_t c);
// The characters of a text that pass as typed, upper-cased (what a paste leaves in a box).
std::string KeepCwTypeable(std::string_view utf8);
// The characters a text counts as against a limit (a malformed byte counts as one).
std::size_t CwTextLength(std::string_view utf8);
// Whether a text can be stored as it is: ERROR_INVALID_DATA (13) for a character the radio
// cannot send, 0xE2000080 for more than limit characters.
Result CheckCwText(std::string_view utf8, std::size_t limit = kCwEditLimit);

// The text of an area, read from offset 250 down to offset stop (inclusive); an end mark or an
// erased byte ends it early; a code without a character reads as a space.
std::string DecodeCwArea(const CwArea& area, std::size_t stop = 0);
// The area image of a text (at most 251 characters are used), already reversed; returns how many
// bytes, counted down from offset 250, must be written: the text and its end mark.
std::uint32_t EncodeCwArea(std::string_view utf8, CwArea& area);

}  // namespace rm7
