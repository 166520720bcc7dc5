#pragma once
// The fixed addresses of the system, filled by the front ends from their
// command-line options. The core never reads the environment or files.

#include <string>

#include "http/http_settings.h"

namespace morvane {

struct Settings {
  // Host (and optional ":port") of the Lanzou frame page and "/ajaxm.php", over https.
  std::string lanzouHost = "www.lanzoux.com";
  // Host (and optional ":port") of the Baidu "/api/sharedownload" interface, over http.
  std::string baiduHost = "pan.baidu.com";
  // The project has no public home yet: these live under the reserved
  // ".example" domain, which never resolves, so the update check passes.
  std::string updateUrl = "http://update.morvane.example/notice.html";
  std::string downloadUrl = "http://www.morvane.example/download.html";
  HttpSettings http;
};

}  // namespace morvane
