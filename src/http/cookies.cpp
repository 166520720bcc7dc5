#include "http/cookies.h"

#include <algorithm>
#include <unordered_set>

namespace morvane {
namespace {

constexpr std::string_view kSetCookie = "Set-Cookie";
constexpr std::string_view kSetCookieColon = "Set-Cookie:";
constexpr std::string_view kDeleted = "=deleted";
constexpr std::string_view kItemSeparator = "; ";

}  // namespace

Text MergeCookies(Text& cookies, Text& newCookies) {
  cookies = RemoveBlanks(cookies);
  newCookies = RemoveBlanks(newCookies);
  TextList items = SplitText(newCookies, ";");
  const TextList oldItems = SplitText(cookies, ";");

  // New items win over old ones of the same name, and an old name that occurs
  // twice is taken at its first occurrence only. The names already listed are
  // kept in a set so that a response with many cookies stays linear.
  std::unordered_set<Text> names;
  for (const Text& item : items) names.insert(CookieName(item));
  for (const Text& item : oldItems) {
    if (names.insert(CookieName(item)).second) items.push_back(item);
  }

  Text merged;
  for (const Text& item : items) {
    // A server deletes a cookie by setting it to "deleted"; such an item
    // removes the old cookie of its name above and is not kept itself.
    if (std::string_view(item).ends_with(kDeleted)) continue;
    merged += item;
    merged += kItemSeparator;
  }
  if (!merged.empty()) merged.resize(merged.size() - kItemSeparator.size());
  merged = RemoveDuplicateItems(merged, kItemSeparator);
  cookies = merged;
  return merged;
}

Text CookieName(std::string_view item) {
  const Position equals = FindText(item, "=");
  if (equals == -1) return TrimBlanks(item);
  return TrimBlanks(LeftBytes(item, equals - 1));
}

bool HasCookieName(const TextList& items, std::string_view name) {
  for (const Text& item : items) {
    if (CookieName(item) == name) return true;
  }
  return false;
}

Text RemoveDuplicateItems(std::string_view text, std::string_view separator) {
  // Only equal items collapse; a set of the items seen keeps this linear.
  const TextList parts = SplitText(text, separator);
  std::unordered_set<std::string_view> seen;
  Text out;
  out.reserve(text.size() + separator.size());
  for (const Text& part : parts) {
    if (!seen.insert(part).second) continue;
    out += part;
    out += separator;
  }
  out.resize(out.size() - std::min(out.size(), separator.size()));
  return out;
}

Position IndexOfText(const TextList& items, std::string_view value) {
  for (std::size_t index = 0; index < items.size(); ++index) {
    if (items[index] == value) return static_cast<Position>(index) + 1;
  }
  return -1;
}

Text NormalizeSetCookieNames(std::string_view headerBlock) {
  return ReplaceText(headerBlock, kSetCookie, kSetCookie, true);
}

Text CookiesFromHeaderBlock(std::string_view headerBlock) {
  Text received;
  for (const Text& line : SplitText(headerBlock, "\r\n")) {
    if (FindText(line, kSetCookie) == -1) continue;
    // The attributes (path, domain, expiry, flags) all follow the first ";".
    const Text item = FindText(line, ";") != -1 ? TextBetween(line, kSetCookieColon, ";")
                                                : ReplaceText(line, kSetCookieColon, "", true);
    received += TrimBlanks(item);
    received += kItemSeparator;
  }
  if (!received.empty()) received.resize(received.size() - kItemSeparator.size());
  return received;
}

}  // namespace morvane
