#pragma once
// A MainWindow with the dependencies it needs, and with every seam that could
// leave the test process (browser, process exit, real message boxes) replaced
// by a recorder.

#include <QString>
#include <QStringList>
#include <memory>

#include "app/main_window.h"
#include "resolvers/baidu.h"
#include "resolvers/lanzou.h"
#include "resolvers/settings.h"

namespace morvane::test {

inline QString Q(std::string_view utf8) {
  return QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
}

struct TestWindow {
  explicit TestWindow(Settings windowSettings = {}, bool answerMessageBoxes = true)
      : settings(std::move(windowSettings)),
        baiduResolver(settings),
        window(std::make_unique<MainWindow>(settings, baiduResolver, lanzouHandler)) {
    if (answerMessageBoxes) {
      window->windowOperations()->SetMessagePresenter(
          [this](const QString& text, const QString& caption) {
            events << QStringLiteral("box:%1:%2").arg(caption, text);
          });
    }
    window->SetUrlOpener([this](const QUrl& url) { events << "open:" + url.toString(); });
    window->SetProcessExit([this](int code) { events << QStringLiteral("exit:%1").arg(code); });
  }

  template <typename Widget>
  Widget* Find(std::string_view name) const {
    return window->findChild<Widget*>(Q(name));
  }

  Settings settings;
  BaiduResolver baiduResolver;
  LanzouClickHandler lanzouHandler;
  std::unique_ptr<MainWindow> window;
  // What the seams saw, in order: "box:CAPTION:TEXT", "open:URL", "exit:CODE".
  QStringList events;
};

}  // namespace morvane::test
