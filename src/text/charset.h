#pragma once
// Conversions between GBK (Windows code page 936), UTF-16 and UTF-8, decoding
// of a body in any named charset, Base64, and the time stamp, random digits and
// log id of the Baidu share-download request.
//
// None of them fails: a malformed sequence becomes U+FFFD and a character that
// code page 936 lacks becomes "?".

#include <optional>
#include <string>
#include <string_view>

#include "text/text.h"

namespace morvane {

Text Base64Encode(ByteView data);
inline Text Base64Encode(std::string_view data) {
  return Base64Encode(ByteView(reinterpret_cast<const std::uint8_t*>(data.data()), data.size()));
}

// UTF-8 bytes to GBK text, up to the first U+0000.
Text Utf8ToGbk(ByteView data);
inline Text Utf8ToGbk(std::string_view data) {
  return Utf8ToGbk(ByteView(reinterpret_cast<const std::uint8_t*>(data.data()), data.size()));
}
std::string GbkToUtf8(std::string_view text);
std::u16string GbkToUtf16(std::string_view text);
Text Utf16ToGbk(std::u16string_view wide);

// The bytes decoded from the named charset (any name ICU knows: utf-8, big5,
// shift_jis, iso-8859-1, ...) and encoded as GBK, up to the first zero byte;
// nullopt when the charset name is unknown.
std::optional<Text> DecodeToGbk(ByteView data, std::string_view charsetName);

Text MakeTimeStamp(bool secondsOnly = false);
Text RandomDigits(int digitCount = 0);
Text MakeLogId();

}  // namespace morvane
