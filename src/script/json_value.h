#pragma once
// The JSON model under JsonObject: parsing, paths, and the number and JSON
// text forms. Texts here are UTF-8; JsonObject converts from and to GBK.

#include <cstdint>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace morvane::json {

// ordered_json keeps members in the order the text gave them.
using Json = nlohmann::ordered_json;

// Deeper input counts as unparsable, so no later recursion over a value can
// exhaust the stack.
inline constexpr std::size_t kMaxDepth = 512;

// The value of a JSON text, or nullopt when the text is not JSON (trailing
// text, comments, script) or nests deeper than kMaxDepth. A member named
// twice keeps its first place and its last value, as in a script.
std::optional<Json> Parse(std::string_view utf8);

// Compact JSON text: members in order, numbers in script form, strings
// escaped as json2.js does (quote, backslash, control and invisible
// characters; "/" and other non-ASCII text stay as they are).
std::string Stringify(const Json& value);

// A number as a script writes it: the shortest digits that read back to the
// same double, in exponent form from 1e21 and below 1e-6.
std::string ScriptNumberText(double value);

// "%.13g" with an exponent of at least three digits: 12345678901234 becomes
// 1.234567890123e+013.
std::string Number13Text(double value);

// One step of a path: a member name (UTF-8) or an element number in brackets.
struct PathStep {
  bool isIndex = false;
  std::string name;
  long long index = 0;
};

// How a path joins the value: `member` needs a path that begins with a name
// ("a.b[0]"), `element` also takes one that begins with a bracket ("[0].a"),
// and `optionalMember` reads the empty path as the value itself.
enum class PathJoin { kMember, kElement, kOptionalMember };

// The steps of a GBK path, or nullopt for a path the joining rule cannot
// read (which the caller treats as a failed evaluation).
std::optional<std::vector<PathStep>> ParsePath(std::string_view gbkPath, PathJoin join);

}  // namespace morvane::json
