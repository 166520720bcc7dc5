#include "text/charset.h"

#include <unicode/ucnv.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cctype>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <memory>
#include <random>

#include "text/time_stamp.h"

namespace morvane {
namespace {

struct ConverterCloser {
  void operator()(UConverter* converter) const { ucnv_close(converter); }
};
using ConverterPtr = std::unique_ptr<UConverter, ConverterCloser>;

// Code page 936 as Windows has it (0x80 is the euro sign). "GBK" is ICU's alias
// of that table; the bare "windows-936" is ambiguous there, and GB18030 is a
// different code page.
constexpr const char* kGbkConverterName = "windows-936-2000";

ConverterPtr OpenConverter(const char* name) {
  UErrorCode status = U_ZERO_ERROR;
  ConverterPtr converter(ucnv_open(name, &status));
  if (U_FAILURE(status)) return nullptr;
  return converter;
}

ConverterPtr OpenGbkConverter() {
  ConverterPtr converter = OpenConverter(kGbkConverterName);
  if (!converter) return nullptr;
  UErrorCode status = U_ZERO_ERROR;
  // Windows writes "?" for a character the code page lacks, and with no flags
  // it applies its best-fit table first (U+00B7 and friends); ICU keeps that
  // table as the fallback mappings of this converter.
  ucnv_setSubstChars(converter.get(), "?", 1, &status);
  ucnv_setFallback(converter.get(), true);
  if (U_FAILURE(status)) return nullptr;
  return converter;
}

// A UConverter carries conversion state and must not be shared between
// threads; opening one per call costs more than converting a short text, so
// every thread keeps its own pair.
struct ThreadConverters {
  ConverterPtr gbk = OpenGbkConverter();
  ConverterPtr utf8 = OpenConverter("UTF-8");
};

ThreadConverters& Converters() {
  thread_local ThreadConverters converters;
  return converters;
}

// Appends the conversion of `input` from `source`'s charset to `target`'s,
// through a UTF-16 pivot buffer, to `output`, whose size then grows to the
// bytes written. Malformed input and unmapped characters are substituted by
// the converters' callbacks; false only when ICU itself fails.
bool AppendConverted(std::string& output, UConverter* target, UConverter* source,
                     std::string_view input, std::size_t expectedSize) {
  if (target == nullptr || source == nullptr) return false;
  std::size_t written = output.size();
  output.resize(written + std::max<std::size_t>(expectedSize, 16));
  std::array<UChar, 1024> pivot;
  UChar* pivotSource = pivot.data();
  UChar* pivotTarget = pivot.data();
  const char* in = input.data();
  const char* inLimit = input.data() + input.size();
  bool reset = true;
  for (;;) {
    char* out = output.data() + written;
    UErrorCode status = U_ZERO_ERROR;
    ucnv_convertEx(target, source, &out, output.data() + output.size(), &in, inLimit, pivot.data(),
                   &pivotSource, &pivotTarget, pivot.data() + pivot.size(), reset, true, &status);
    reset = false;
    written = static_cast<std::size_t>(out - output.data());
    if (status == U_BUFFER_OVERFLOW_ERROR) {
      output.resize(output.size() * 2);
      continue;
    }
    output.resize(written);
    return U_SUCCESS(status);
  }
}

// The byte after a lead byte 81 to FE that the converter reads as its trail
// byte; after any other byte the lead byte stands alone.
bool IsGbkTrailByte(unsigned char byte) {
  return (byte >= 0x40 && byte <= 0x7E) || (byte >= 0x80 && byte <= 0xFE);
}

// Code page 936's characters as ICU reads them, looked up once per process:
// reading a page through the converter costs several times more than the
// regular-expression search over it. Only characters that ICU turns into
// exactly one ordinary UTF-16 unit are kept; for everything else (unassigned
// and broken sequences) the converter is asked, so the result is always the
// converter's.
class GbkReadTable {
 public:
  static const GbkReadTable& Get() {
    static const GbkReadTable table;
    return table;
  }

  bool Ready() const { return !units_.empty(); }

  // The unit of the character at i, with its length in bytes; 0 when the
  // converter must decide.
  char16_t Read(std::string_view text, std::size_t i, std::size_t& length) const {
    const auto lead = static_cast<unsigned char>(text[i]);
    length = 1;
    if (lead == 0x80) return euro_;
    if (lead < 0x81 || lead > 0xFE || i + 1 >= text.size()) return 0;
    const auto trail = static_cast<unsigned char>(text[i + 1]);
    if (!IsGbkTrailByte(trail)) return 0;
    length = 2;
    return units_[(lead - 0x81u) * 256u + trail];
  }

 private:
  GbkReadTable() {
    ConverterPtr converter = OpenGbkConverter();
    if (!converter) return;
    units_.assign(126 * 256, 0);
    euro_ = ReadAlone(converter.get(), "\x80");
    for (unsigned lead = 0x81; lead <= 0xFE; ++lead) {
      for (unsigned trail = 0x40; trail <= 0xFE; ++trail) {
        if (!IsGbkTrailByte(static_cast<unsigned char>(trail))) continue;
        const char pair[] = {static_cast<char>(lead), static_cast<char>(trail), '\0'};
        units_[(lead - 0x81) * 256 + trail] = ReadAlone(converter.get(), pair);
      }
    }
  }

  static char16_t ReadAlone(UConverter* converter, const char* bytes) {
    UChar units[4];
    UErrorCode status = U_ZERO_ERROR;
    const int32_t count = ucnv_toUChars(converter, units, 4, bytes,
                                        static_cast<int32_t>(std::strlen(bytes)), &status);
    const bool ordinary = U_SUCCESS(status) && count == 1 && units[0] != 0xFFFD &&
                          !(units[0] >= 0xD800 && units[0] <= 0xDFFF) && units[0] >= 0x80;
    return ordinary ? units[0] : 0;
  }

  std::vector<char16_t> units_;
  char16_t euro_ = 0;
};

std::string_view AsChars(ByteView data) {
  return {reinterpret_cast<const char*>(data.data()), data.size()};
}

Text CutAtZero(std::string text) {
  if (const auto zero = text.find('\0'); zero != std::string::npos) text.resize(zero);
  return text;
}

// Whether `name` is one of `labels` (written in small letters), ignoring case.
template <std::size_t N>
bool IsOneOf(std::string_view name, const std::array<std::string_view, N>& labels) {
  return std::any_of(labels.begin(), labels.end(), [&](std::string_view label) {
    return std::equal(name.begin(), name.end(), label.begin(), label.end(), [](char a, char b) {
      return std::tolower(static_cast<unsigned char>(a)) == b;
    });
  });
}

// Charset labels whose pages Windows decodes with code page 936 and browsers
// with GBK: pages labelled gb2312 routinely hold GBK-only characters, which
// ICU's strict GB2312 table would turn into "?".
constexpr std::array<std::string_view, 11> kGbkLabels = {
    "gbk",   "gb2312",      "gb_2312-80", "csgb2312", "x-gbk",    "cp936",
    "ms936", "windows-936", "euc-cn",     "chinese",  "iso-ir-58"};

// Pages labelled iso-8859-1 or us-ascii are code page 1252 to Windows and to
// every browser: 0x80 to 0x9F are the euro sign and typographic quotes there.
constexpr std::array<std::string_view, 6> kLatin1Labels = {"iso-8859-1", "iso8859-1", "latin1",
                                                           "l1",         "us-ascii",  "ascii"};

constexpr std::string_view kBase64Alphabet =
    "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

}  // namespace

Text Base64Encode(ByteView data) {
  Text out;
  out.reserve((data.size() + 2) / 3 * 4);
  std::size_t i = 0;
  for (; i + 3 <= data.size(); i += 3) {
    const std::uint32_t group = (data[i] << 16) | (data[i + 1] << 8) | data[i + 2];
    out += kBase64Alphabet[(group >> 18) & 63];
    out += kBase64Alphabet[(group >> 12) & 63];
    out += kBase64Alphabet[(group >> 6) & 63];
    out += kBase64Alphabet[group & 63];
  }
  const std::size_t rest = data.size() - i;
  if (rest > 0) {
    const std::uint32_t group = (data[i] << 16) | (rest == 2 ? data[i + 1] << 8 : 0);
    out += kBase64Alphabet[(group >> 18) & 63];
    out += kBase64Alphabet[(group >> 12) & 63];
    out += rest == 2 ? kBase64Alphabet[(group >> 6) & 63] : '=';
    out += '=';
  }
  return out;
}

Text Utf8ToGbk(ByteView data) {
  std::string_view utf8 = AsChars(data);
  // In UTF-8 a zero byte is always U+0000 (never part of another sequence),
  // and the text ends there.
  if (const auto zero = utf8.find('\0'); zero != std::string_view::npos) {
    utf8 = utf8.substr(0, zero);
  }
  ThreadConverters& converters = Converters();
  std::string gbk;
  // GBK never needs more bytes than UTF-8 for the same characters.
  if (!utf8.empty() &&
      !AppendConverted(gbk, converters.gbk.get(), converters.utf8.get(), utf8, utf8.size())) {
    return Text();
  }
  return gbk;
}

// The length of the run of ASCII bytes at the start of `text`, eight bytes
// at a time where it can.
std::size_t AsciiRunLength(std::string_view text) {
  std::size_t length = 0;
  while (length + 8 <= text.size()) {
    std::uint64_t word;
    std::memcpy(&word, text.data() + length, 8);
    if ((word & 0x8080808080808080ULL) != 0) break;
    length += 8;
  }
  while (length < text.size() && static_cast<unsigned char>(text[length]) < 0x80) ++length;
  return length;
}

std::string GbkToUtf8(std::string_view text) {
  const GbkReadTable& table = GbkReadTable::Get();
  ThreadConverters& converters = Converters();
  if (!table.Ready() || !converters.utf8 || !converters.gbk) return {};
  // ASCII stays as it is and a two-byte character becomes three bytes; only
  // 0x80 and broken sequences can need more.
  std::string utf8(text.size() + text.size() / 2 + 16, '\0');
  std::size_t written = 0;
  const auto reserve = [&](std::size_t more) {
    if (utf8.size() - written < more) utf8.resize(std::max(utf8.size() * 2, written + more));
  };
  std::size_t i = 0;
  while (i < text.size()) {
    const std::size_t ascii = AsciiRunLength(text.substr(i));
    reserve(ascii + 3);
    std::memcpy(utf8.data() + written, text.data() + i, ascii);
    written += ascii;
    i += ascii;
    if (i == text.size()) break;
    // The characters the table knows, as long as they come.
    std::size_t length = 0;
    char16_t unit = 0;
    while (i < text.size() && static_cast<unsigned char>(text[i]) >= 0x80 &&
           (unit = table.Read(text, i, length)) != 0) {
      reserve(3);
      char* out = utf8.data() + written;
      if (unit < 0x800) {
        out[0] = static_cast<char>(0xC0 | (unit >> 6));
        out[1] = static_cast<char>(0x80 | (unit & 0x3F));
        written += 2;
      } else {
        out[0] = static_cast<char>(0xE0 | (unit >> 12));
        out[1] = static_cast<char>(0x80 | ((unit >> 6) & 0x3F));
        out[2] = static_cast<char>(0x80 | (unit & 0x3F));
        written += 3;
      }
      i += length;
    }
    if (i == text.size() || static_cast<unsigned char>(text[i]) < 0x80) continue;
    // The converter reads each character on its own, so a run of the
    // characters it must decide can go to it apart from the rest.
    std::size_t end = i + length;
    while (end < text.size() && static_cast<unsigned char>(text[end]) >= 0x80 &&
           table.Read(text, end, length) == 0) {
      end += length;
    }
    utf8.resize(written);
    if (!AppendConverted(utf8, converters.utf8.get(), converters.gbk.get(), text.substr(i, end - i),
                         (end - i) * 3)) {
      return {};
    }
    written = utf8.size();
    utf8.resize(written + (text.size() - end) + (text.size() - end) / 2 + 16);
    i = end;
  }
  utf8.resize(written);
  return utf8;
}

std::u16string GbkToUtf16(std::string_view text) {
  UConverter* gbk = Converters().gbk.get();
  if (gbk == nullptr || text.empty()) return {};
  // Every byte yields at most one UTF-16 unit.
  std::u16string wide(text.size(), u'\0');
  ucnv_resetToUnicode(gbk);
  UChar* out = reinterpret_cast<UChar*>(wide.data());
  const char* in = text.data();
  UErrorCode status = U_ZERO_ERROR;
  ucnv_toUnicode(gbk, &out, out + wide.size(), &in, text.data() + text.size(), nullptr, true,
                 &status);
  if (U_FAILURE(status)) return {};
  wide.resize(static_cast<std::size_t>(out - reinterpret_cast<UChar*>(wide.data())));
  return wide;
}

Text Utf16ToGbk(std::u16string_view wide) {
  UConverter* gbk = Converters().gbk.get();
  if (gbk == nullptr || wide.empty()) return {};
  // Every UTF-16 unit yields at most two bytes.
  std::string text(wide.size() * 2, '\0');
  ucnv_resetFromUnicode(gbk);
  char* out = text.data();
  const UChar* in = reinterpret_cast<const UChar*>(wide.data());
  UErrorCode status = U_ZERO_ERROR;
  ucnv_fromUnicode(gbk, &out, text.data() + text.size(), &in, in + wide.size(), nullptr, true,
                   &status);
  if (U_FAILURE(status)) return {};
  text.resize(static_cast<std::size_t>(out - text.data()));
  return CutAtZero(std::move(text));
}

std::optional<Text> DecodeToGbk(ByteView data, std::string_view charsetName) {
  // ICU opens its default converter for an empty name; here that is no name.
  if (charsetName.empty() || charsetName.find('\0') != std::string_view::npos) return std::nullopt;
  ConverterPtr source;
  if (IsOneOf(charsetName, kGbkLabels)) {
    source = OpenConverter(kGbkConverterName);
  } else if (IsOneOf(charsetName, kLatin1Labels)) {
    source = OpenConverter("windows-1252");
  } else {
    source = OpenConverter(std::string(charsetName).c_str());
  }
  if (!source) return std::nullopt;
  UErrorCode status = U_ZERO_ERROR;
  if (std::string_view(ucnv_getName(source.get(), &status)) == "UTF-8") return Utf8ToGbk(data);
  std::string gbk;
  // A single-byte charset may need two GBK bytes per byte (é is A8 A6).
  if (!data.empty() &&
      !AppendConverted(gbk, Converters().gbk.get(), source.get(), AsChars(data), data.size() * 2)) {
    return Text();
  }
  return CutAtZero(std::move(gbk));
}

Text FormatTimeStamp(const LocalTimeParts& parts, bool secondsOnly) {
  using namespace std::chrono;
  const sys_days date = year{parts.year} / month{static_cast<unsigned>(parts.month)} /
                        day{static_cast<unsigned>(parts.day)};
  // The epoch is 1970-01-01 08:00:00 local time.
  const long long seconds = date.time_since_epoch().count() * 86400LL + parts.hour * 3600LL +
                            parts.minute * 60LL + parts.second - 8 * 3600LL;
  Text stamp = std::to_string(seconds < 0 ? -seconds : seconds);
  const Text millis = std::to_string(parts.millisecond);
  stamp.append(3 - std::min<std::size_t>(3, millis.size()), '0');
  stamp += millis;
  if (secondsOnly) {
    stamp.resize(10, '0');
  } else if (stamp.size() < 13) {
    stamp.resize(13, '0');
  }
  return stamp;
}

Text MakeTimeStamp(bool secondsOnly) {
  const auto now = std::chrono::system_clock::now();
  const auto sinceEpoch =
      std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch());
  const std::time_t seconds = static_cast<std::time_t>(sinceEpoch.count() / 1000);
  std::tm local{};
  localtime_r(&seconds, &local);
  LocalTimeParts parts{.year = local.tm_year + 1900,
                       .month = local.tm_mon + 1,
                       .day = local.tm_mday,
                       .hour = local.tm_hour,
                       .minute = local.tm_min,
                       .second = local.tm_sec,
                       .millisecond = static_cast<int>(sinceEpoch.count() % 1000)};
  return FormatTimeStamp(parts, secondsOnly);
}

Text RandomDigits(int digitCount) {
  if (digitCount < 0) return {};
  if (digitCount == 0) digitCount = 19;
  // The tick plus an offset that grows at every call gives strictly increasing
  // seeds, so calls in the same millisecond, on any thread, differ. Each call
  // owns its generator: nothing unsynchronised is shared.
  static std::atomic<std::uint32_t> reseedOffset{0};
  const auto tick = std::chrono::duration_cast<std::chrono::milliseconds>(
                        std::chrono::steady_clock::now().time_since_epoch())
                        .count();
  std::mt19937 generator(static_cast<std::uint32_t>(tick) +
                         reseedOffset.fetch_add(1, std::memory_order_relaxed));
  std::uniform_int_distribution<int> digit(0, 9);
  Text digits(static_cast<std::size_t>(digitCount), '0');
  for (char& c : digits) c = static_cast<char>('0' + digit(generator));
  return digits;
}

Text MakeLogId() {
  const Text joined = MakeTimeStamp(false) + "." + RandomDigits(0);
  return Base64Encode(std::string_view(joined));
}

}  // namespace morvane
