#pragma once
// The cookie text ("name=value" items joined by "; "), the Set-Cookie rule that
// turns a response header block into such a text, and the merge of two texts.

#include <string_view>

#include "text/text.h"

namespace morvane {

// Merges newCookies into cookies: new items first, then old items whose names
// are not among the new ones; "=deleted" items are dropped, blanks removed and
// duplicates collapsed. Both arguments are rewritten (see the cookie rules);
// cookies receives the result, which is also returned.
Text MergeCookies(Text& cookies, Text& newCookies);
Text CookieName(std::string_view item);
bool HasCookieName(const TextList& items, std::string_view name);
Text RemoveDuplicateItems(std::string_view text, std::string_view separator);
// 1-based number of the first item equal to value, or -1.
Position IndexOfText(const TextList& items, std::string_view value);

// The header block with every "Set-Cookie", in any letter case, written
// exactly "Set-Cookie".
Text NormalizeSetCookieNames(std::string_view headerBlock);
// The items of the block's Set-Cookie lines joined by "; " (attributes after
// the first ";" dropped). Expects a block already passed through
// NormalizeSetCookieNames.
Text CookiesFromHeaderBlock(std::string_view headerBlock);

}  // namespace morvane
