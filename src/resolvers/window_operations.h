#pragma once
// The three window operations through which the click handlers and resolvers
// reach the user. The window implements them; so do the command line and the
// tests. Texts are GBK; control names are the controls' own (UTF-8) names.

#include <string_view>

#include "text/text.h"

namespace morvane {

namespace controls {
inline constexpr std::string_view kVersion = "版本";
inline constexpr std::string_view kBaiduAddress = "百度云解析地址";
inline constexpr std::string_view kBaiduResult = "百度云解析数据";
inline constexpr std::string_view kBaiduButton = "百度云解析按钮";
inline constexpr std::string_view kChengtongAddress = "诚通网盘解析地址";
inline constexpr std::string_view kChengtongResult = "诚通网盘解析数据";
inline constexpr std::string_view kChengtongButton = "诚通网盘解析按钮";
inline constexpr std::string_view kLanzouAddress = "蓝奏解析地址";
inline constexpr std::string_view kLanzouResult = "蓝奏解析数据";
inline constexpr std::string_view kLanzouButton = "蓝奏解析数据按钮";
inline constexpr std::string_view kClearAll = "一键清空所有解析数据";
}  // namespace controls

class WindowOperations {
 public:
  virtual ~WindowOperations() = default;
  // The control's whole current text.
  virtual Text ReadControlText(std::string_view control) = 0;
  // Replaces the control's whole text; may be called from any thread.
  virtual void WriteControlText(std::string_view control, std::string_view text) = 0;
  // Shows text with an OK button and returns when it is closed; an empty title
  // means the caption "信息：". Blocks only the calling thread.
  virtual void ShowMessageBox(std::string_view text, std::string_view title) = 0;
};

}  // namespace morvane
