#pragma once
// What the script-object tests share: GBK texts written in UTF-8, and the
// GBK page fixtures of this folder's data/.

#include <fstream>
#include <sstream>
#include <string>
#include <string_view>

#include "text/charset.h"

namespace morvane::test {

// Tests are written in UTF-8; the objects work on GBK.
inline Text G(std::string_view utf8) { return Utf8ToGbk(utf8); }

inline Text ReadFixture(const std::string& name) {
  std::ifstream file(std::string(MORVANE_TEST_DATA_DIR) + "/" + name, std::ios::binary);
  std::ostringstream content;
  content << file.rdbuf();
  return content.str();
}

}  // namespace morvane::test
