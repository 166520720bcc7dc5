#pragma once
// Baidu netdisk: share link -> direct download link of the first file.

#include <string_view>

#include "resolvers/settings.h"
#include "resolvers/window_operations.h"
#include "text/text.h"

namespace morvane {

class BaiduResolver {
 public:
  explicit BaiduResolver(Settings settings);

  // The download link, or the empty text. Keeps cookies for later resolves.
  // window shows "解析失败" when the share page holds no page data.
  Text ResolveBaiduLink(std::string_view shareUrl, WindowOperations& window);
  Text MakeLogId() const;
  Text RandomDigits(int digitCount = 0) const;
  // text without backslashes, or without forward slashes when forwardSlash.
  Text RemoveSlashes(std::string_view text, bool forwardSlash = false) const;

  const Text& cookies() const { return cookies_; }

 private:
  Settings settings_;
  Text cookies_;
};

// Click handler of the Baidu "解析" button: read the box, resolve, write the box.
void OnResolveBaidu(WindowOperations& window, BaiduResolver& resolver);

}  // namespace morvane
