#include "http/header_lines.h"

#include <algorithm>

namespace morvane {
namespace {

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
  return std::ranges::equal(a, b, [](char x, char y) {
    auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; };
    return lower(x) == lower(y);
  });
}

}  // namespace

std::string_view CutAtLineBreak(std::string_view text) {
  return text.substr(0, std::min(text.find_first_of("\r\n"), text.size()));
}

void SetHeaderLine(std::vector<std::string>& lines, std::string_view name, std::string_view value) {
  std::string line = std::string(name) + ": " + std::string(CutAtLineBreak(value));
  for (std::string& existing : lines) {
    std::string_view existingName = std::string_view(existing).substr(0, existing.find(':'));
    if (EqualsIgnoringCase(existingName, name)) {
      existing = std::move(line);
      return;
    }
  }
  lines.push_back(std::move(line));
}

ByteView BytesOf(std::string_view text) {
  return ByteView(reinterpret_cast<const std::uint8_t*>(text.data()), text.size());
}

}  // namespace morvane
