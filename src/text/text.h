#pragma once
// Text primitives and marker extraction over GBK byte texts.
//
// Positions are 1-based byte positions and -1 means "not found". A byte of 0x80
// or above starts a two-byte character: searches, splits and replacements never
// match from its second byte, even where the pair is not valid GBK.
// A blank is 0x20 or the full-width space A1 A1; tab, CR and LF are not blanks.
// Only the ASCII letters have a case.

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace morvane {

// A byte string in GBK (code page 936).
using Text = std::string;
// A counted byte buffer: response bodies, binary form data, conversions.
using Bytes = std::vector<std::uint8_t>;
using ByteView = std::span<const std::uint8_t>;
using TextList = std::vector<Text>;
// A 1-based byte position, or -1.
using Position = std::ptrdiff_t;

// The bytes strictly between the first leftMarker found from startPosition and
// the first rightMarker after it; empty when either is missing. "#引号" in a
// marker stands for a double quote.
Text TextBetween(std::string_view text, std::string_view leftMarker, std::string_view rightMarker,
                 Position startPosition = 0, bool ignoreCase = false);
Text HeaderLineName(std::string_view text);
Text HeaderLineValue(std::string_view text);

Position FindText(std::string_view text, std::string_view sub, Position startPosition = 0,
                  bool ignoreCase = false);
Position FindTextFromEnd(std::string_view text, std::string_view sub, bool ignoreCase = false);
Text TrimBlanks(std::string_view text);
Text RemoveBlanks(std::string_view text);
TextList SplitText(std::string_view text, std::string_view separator);
Text ReplaceText(std::string_view text, std::string_view sub, std::string_view replacement,
                 bool ignoreCase = false);
Text LeftBytes(std::string_view text, Position count);
Text RightBytes(std::string_view text, Position count);
Text MidBytes(std::string_view text, Position position, Position count);
Text LowerCase(std::string_view text);
// The decimal number at the start of text (after white space and a sign);
// saturates at the limits of the type instead of overflowing.
long long TextToInteger(std::string_view text);

// A body read as a text: its bytes up to the first zero byte, unconverted.
Text TextFromBytes(ByteView bytes);
// The bytes of a text, without a terminating zero.
Bytes BytesFromText(std::string_view text);

}  // namespace morvane
