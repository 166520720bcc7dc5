#include "script/json_value.h"

#include <algorithm>
#include <charconv>
#include <climits>
#include <cmath>
#include <cstdio>
#include <functional>

#include "text/charset.h"

namespace morvane::json {
namespace {

// Builds the value from the parser's events. The parser itself does not
// recurse, and the builder keeps its own stack, so the depth check here is
// all that stands between a deep text and the stack.
class ValueBuilder {
 public:
  Json& Result() { return root_; }

  bool null() { return Add(nullptr); }
  bool boolean(bool value) { return Add(value); }
  bool number_integer(Json::number_integer_t value) { return Add(value); }
  bool number_unsigned(Json::number_unsigned_t value) { return Add(value); }
  bool number_float(Json::number_float_t value, const std::string& /*text*/) { return Add(value); }
  bool string(std::string& value) { return Add(std::move(value)); }
  bool binary(Json::binary_t& /*value*/) { return false; }
  bool start_object(std::size_t /*size*/) { return Open(Json::object()); }
  bool key(std::string& name) {
    stack_.back().key = std::move(name);
    return true;
  }
  bool end_object() { return Close(); }
  bool start_array(std::size_t /*size*/) { return Open(Json::array()); }
  bool end_array() { return Close(); }
  bool parse_error(std::size_t /*position*/, const std::string& /*token*/,
                   const nlohmann::detail::exception& /*error*/) {
    return false;
  }

 private:
  // An open object or array, and the name of the member that comes next.
  struct Frame {
    Json* value = nullptr;
    std::string key;
  };
  // Up to this many members a repeated name is looked for at once; longer
  // objects are checked when they close, so a long object costs no scan per
  // member.
  static constexpr std::size_t kCheckedOnArrival = 16;

  // The map's operator[] takes names, so members are reached by position here.
  template <typename Members>
  static auto& Entry(Members& members, std::size_t i) {
    return *(members.begin() + static_cast<std::ptrdiff_t>(i));
  }

  template <typename V>
  Json* Add(V&& value) {
    if (stack_.empty()) {
      root_ = Json(std::forward<V>(value));
      return &root_;
    }
    Frame& top = stack_.back();
    if (top.value->is_array()) {
      auto& elements = top.value->get_ref<Json::array_t&>();
      elements.emplace_back(std::forward<V>(value));
      return &elements.back();
    }
    auto& members = top.value->get_ref<Json::object_t&>();
    if (members.size() < kCheckedOnArrival) {
      for (std::size_t i = 0; i < members.size(); ++i) {
        if (Entry(members, i).first == top.key) {
          // A repeated name keeps its place and takes the new value.
          Json& slot = Entry(members, i).second;
          slot = Json(std::forward<V>(value));
          return &slot;
        }
      }
    }
    // Appended directly: the map's own insertion looks for the name first.
    members.emplace_back(std::move(top.key), Json(std::forward<V>(value)));
    return &members.back().second;
  }

  // Folds repeated names of a long object into their first place, with the
  // last value, by sorting the names' hashes.
  static void FoldRepeatedNames(Json::object_t& members) {
    std::vector<std::pair<std::size_t, std::size_t>> hashes;  // hash, position
    hashes.reserve(members.size());
    for (std::size_t i = 0; i < members.size(); ++i) {
      hashes.emplace_back(std::hash<std::string_view>{}(Entry(members, i).first), i);
    }
    std::sort(hashes.begin(), hashes.end());
    std::vector<bool> dropped(members.size());
    bool anyDropped = false;
    for (std::size_t run = 0; run < hashes.size();) {
      std::size_t end = run + 1;
      while (end < hashes.size() && hashes[end].first == hashes[run].first) ++end;
      for (std::size_t a = run; a < end; ++a) {
        const std::size_t first = hashes[a].second;
        if (dropped[first]) continue;
        for (std::size_t b = a + 1; b < end; ++b) {
          const std::size_t later = hashes[b].second;
          if (dropped[later] || Entry(members, later).first != Entry(members, first).first) {
            continue;
          }
          Entry(members, first).second = std::move(Entry(members, later).second);
          dropped[later] = true;
          anyDropped = true;
        }
      }
      run = end;
    }
    if (!anyDropped) return;
    Json::object_t kept;
    kept.reserve(members.size());
    for (std::size_t i = 0; i < members.size(); ++i) {
      if (!dropped[i]) {
        kept.emplace_back(Entry(members, i).first, std::move(Entry(members, i).second));
      }
    }
    members.swap(kept);
  }

  bool Open(Json&& container) {
    if (stack_.size() >= kMaxDepth) return false;
    Json* added = Add(std::move(container));
    stack_.push_back(Frame{added, {}});
    return true;
  }

  bool Close() {
    Json& closed = *stack_.back().value;
    if (closed.is_object() && closed.size() > kCheckedOnArrival) {
      FoldRepeatedNames(closed.get_ref<Json::object_t&>());
    }
    stack_.pop_back();
    return true;
  }

  Json root_;
  std::vector<Frame> stack_;
};

void AppendHex4(std::string& out, unsigned value) {
  static constexpr char kDigits[] = "0123456789abcdef";
  out += "\\u";
  for (int shift = 12; shift >= 0; shift -= 4) out += kDigits[(value >> shift) & 15];
}

// The characters json2.js writes as \uXXXX: controls and characters that
// some readers treat as invisible or as line ends.
bool IsEscapedByJson2(unsigned c) {
  return c < 0x20 || (c >= 0x7F && c <= 0x9F) || c == 0xAD || (c >= 0x600 && c <= 0x604) ||
         c == 0x70F || c == 0x17B4 || c == 0x17B5 || (c >= 0x200C && c <= 0x200F) ||
         (c >= 0x2028 && c <= 0x202F) || (c >= 0x2060 && c <= 0x206F) || c == 0xFEFF ||
         (c >= 0xFFF0 && c <= 0xFFFF);
}

void AppendQuoted(std::string& out, std::string_view utf8) {
  out += '"';
  for (std::size_t i = 0; i < utf8.size();) {
    const auto byte = static_cast<unsigned char>(utf8[i]);
    std::size_t length = byte < 0x80 ? 1 : byte < 0xE0 ? 2 : byte < 0xF0 ? 3 : 4;
    length = std::min(length, utf8.size() - i);
    unsigned codePoint = byte;
    if (length == 2) {
      codePoint = ((byte & 0x1Fu) << 6) | (static_cast<unsigned char>(utf8[i + 1]) & 0x3Fu);
    } else if (length == 3) {
      codePoint = ((byte & 0x0Fu) << 12) |
                  ((static_cast<unsigned char>(utf8[i + 1]) & 0x3Fu) << 6) |
                  (static_cast<unsigned char>(utf8[i + 2]) & 0x3Fu);
    } else if (length == 4) {
      codePoint = 0x10000;  // above every escaped range
    }
    switch (codePoint) {
      case '"':
        out += "\\\"";
        break;
      case '\\':
        out += "\\\\";
        break;
      case '\b':
        out += "\\b";
        break;
      case '\t':
        out += "\\t";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\f':
        out += "\\f";
        break;
      case '\r':
        out += "\\r";
        break;
      default:
        if (IsEscapedByJson2(codePoint)) {
          AppendHex4(out, codePoint);
        } else {
          out.append(utf8.substr(i, length));
        }
    }
    i += length;
  }
  out += '"';
}

void AppendJson(std::string& out, const Json& value) {
  switch (value.type()) {
    case Json::value_t::object: {
      out += '{';
      bool first = true;
      for (const auto& [name, member] : value.get_ref<const Json::object_t&>()) {
        if (!first) out += ',';
        first = false;
        AppendQuoted(out, name);
        out += ':';
        AppendJson(out, member);
      }
      out += '}';
      break;
    }
    case Json::value_t::array: {
      out += '[';
      bool first = true;
      for (const Json& element : value.get_ref<const Json::array_t&>()) {
        if (!first) out += ',';
        first = false;
        AppendJson(out, element);
      }
      out += ']';
      break;
    }
    case Json::value_t::string:
      AppendQuoted(out, value.get_ref<const std::string&>());
      break;
    case Json::value_t::boolean:
      out += value.get<bool>() ? "true" : "false";
      break;
    case Json::value_t::number_integer:
      out += std::to_string(value.get<Json::number_integer_t>());
      break;
    case Json::value_t::number_unsigned:
      out += std::to_string(value.get<Json::number_unsigned_t>());
      break;
    case Json::value_t::number_float:
      out += ScriptNumberText(value.get<double>());
      break;
    default:  // null, and nothing else can be parsed or set
      out += "null";
  }
}

bool IsIdentifierByte(unsigned char byte, bool first) {
  return (byte >= 'A' && byte <= 'Z') || (byte >= 'a' && byte <= 'z') || byte == '_' ||
         byte == '$' || byte >= 0x80 || (!first && byte >= '0' && byte <= '9');
}

}  // namespace

std::optional<Json> Parse(std::string_view utf8) {
  try {
    ValueBuilder builder;
    if (!Json::sax_parse(utf8, &builder)) return std::nullopt;
    return std::move(builder.Result());
  } catch (...) {  // allocation failure: the text counts as unparsable
    return std::nullopt;
  }
}

std::string Stringify(const Json& value) {
  std::string out;
  AppendJson(out, value);
  return out;
}

std::string ScriptNumberText(double value) {
  if (std::isnan(value) || std::isinf(value)) return "null";
  if (value == 0) return "0";
  // The shortest digits that read back to the same double, then laid out as
  // a script writes numbers.
  char buffer[64];
  const auto result =
      std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::scientific);
  const std::string_view text(buffer, static_cast<std::size_t>(result.ptr - buffer));
  const bool negative = text.front() == '-';
  const std::size_t exponentAt = text.find('e');
  std::string digits;
  for (const char c : text.substr(negative ? 1 : 0, exponentAt - (negative ? 1 : 0))) {
    if (c != '.') digits += c;
  }
  const int k = static_cast<int>(digits.size());
  const int n = std::stoi(std::string(text.substr(exponentAt + 1))) + 1;
  std::string out = negative ? "-" : "";
  if (k <= n && n <= 21) {
    out += digits;
    out.append(static_cast<std::size_t>(n - k), '0');
  } else if (0 < n && n <= 21) {
    out += digits.substr(0, static_cast<std::size_t>(n));
    out += '.';
    out += digits.substr(static_cast<std::size_t>(n));
  } else if (-6 < n && n <= 0) {
    out += "0.";
    out.append(static_cast<std::size_t>(-n), '0');
    out += digits;
  } else {
    out += digits.substr(0, 1);
    if (k > 1) {
      out += '.';
      out += digits.substr(1);
    }
    out += n - 1 >= 0 ? "e+" : "e-";
    out += std::to_string(std::abs(n - 1));
  }
  return out;
}

std::string Number13Text(double value) {
  char buffer[64];
  const int length = std::snprintf(buffer, sizeof buffer, "%.13g", value);
  std::string text(buffer, static_cast<std::size_t>(std::max(length, 0)));
  // C writes at least two exponent digits, the original runtime three.
  const std::size_t exponentAt = text.find('e');
  if (exponentAt != std::string::npos) {
    const std::size_t digitsAt = exponentAt + 2;  // after "e+" or "e-"
    const std::size_t digitCount = text.size() - digitsAt;
    if (digitCount < 3) text.insert(digitsAt, 3 - digitCount, '0');
  }
  return text;
}

std::optional<std::vector<PathStep>> ParsePath(std::string_view path, PathJoin join) {
  std::vector<PathStep> steps;
  if (path.empty()) {
    if (join == PathJoin::kOptionalMember) return steps;
    return std::nullopt;
  }
  std::size_t i = 0;
  while (i < path.size()) {
    const bool first = steps.empty();
    if (path[i] == '[') {
      if (first && join != PathJoin::kElement) return std::nullopt;
      ++i;
      const bool negative = i < path.size() && path[i] == '-';
      if (negative) ++i;
      const std::size_t digitsAt = i;
      long long number = 0;
      while (i < path.size() && path[i] >= '0' && path[i] <= '9') {
        // An element number past any array's size stays past it.
        number = number > (LLONG_MAX - 9) / 10 ? LLONG_MAX : number * 10 + (path[i] - '0');
        ++i;
      }
      if (i == digitsAt || i >= path.size() || path[i] != ']') return std::nullopt;
      ++i;
      steps.push_back(PathStep{true, {}, negative ? -number : number});
      continue;
    }
    if (!first) {
      if (path[i] != '.') return std::nullopt;
      ++i;
    }
    const std::size_t nameAt = i;
    if (i >= path.size() || !IsIdentifierByte(static_cast<unsigned char>(path[i]), true)) {
      return std::nullopt;
    }
    while (i < path.size() && IsIdentifierByte(static_cast<unsigned char>(path[i]), false)) {
      // A two-byte character is taken whole, whatever its second byte.
      if (static_cast<unsigned char>(path[i]) >= 0x80) {
        if (i + 1 >= path.size()) return std::nullopt;
        ++i;
      }
      ++i;
    }
    steps.push_back(PathStep{false, GbkToUtf8(path.substr(nameAt, i - nameAt)), 0});
  }
  return steps;
}

}  // namespace morvane::json
