#include "app/update_check.h"

#include "http/fetch_wininet.h"
#include "text/charset.h"
#include "text/text.h"

namespace morvane {

void CheckForUpdate(std::string_view versionText, const Settings& settings,
                    WindowOperations& window, const UpdateCheckActions& actions) {
  WinInetOptions options;
  options.settings = &settings.http;
  const Bytes body = FetchWithWinInet(settings.updateUrl, options);
  const Text page = TextFromBytes(body);
  const Text latest = TextBetween(page, kVersionStartMarker, kVersionEndMarker);
  // A page that cannot be read or names no version tells nothing about newer
  // versions; treating it as one would lock every offline user out.
  if (latest.empty() || latest == versionText) return;

  window.ShowMessageBox(Utf8ToGbk(kNewerVersionMessage), Utf8ToGbk(kNewerVersionCaption));
  if (actions.openUrl) actions.openUrl(QUrl(QString::fromStdString(settings.downloadUrl)));
  if (actions.exitProcess) actions.exitProcess(0);
}

}  // namespace morvane
