#pragma once
// The start-up check for a newer version: reads the notice page and, when it
// announces another version, tells the user, opens the download page and ends.

#include <QUrl>
#include <functional>
#include <string_view>

#include "resolvers/settings.h"
#include "resolvers/window_operations.h"

namespace morvane {

// The two effects of the check that leave the window, replaceable by tests.
struct UpdateCheckActions {
  std::function<void(const QUrl&)> openUrl;  // hands the address to the browser
  std::function<void(int)> exitProcess;      // ends the process with that code
};

inline constexpr std::string_view kVersionStartMarker = "dlbmlkzs[";
inline constexpr std::string_view kVersionEndMarker = "]";
inline constexpr std::string_view kNewerVersionMessage =
    "当前不是最新版本软件已更新，接下来会打开最新版下载地址！";
inline constexpr std::string_view kNewerVersionCaption = "提示";

// versionText and the texts shown are GBK. Returns unless another version is
// announced; then actions.exitProcess(0) is the last thing it does.
void CheckForUpdate(std::string_view versionText, const Settings& settings,
                    WindowOperations& window, const UpdateCheckActions& actions);

}  // namespace morvane
