#pragma once
// The one window: three service tabs, the version box, the clear-all button,
// the notification-area icon while minimised, and the window operations.

#include <QHash>
#include <QPointer>
#include <QSize>
#include <QString>
#include <QWidget>
#include <functional>
#include <memory>

#include "app/update_check.h"
#include "app/window_bridge.h"
#include "resolvers/baidu.h"
#include "resolvers/lanzou.h"
#include "resolvers/settings.h"

class QSystemTrayIcon;

namespace morvane {

inline constexpr char kWindowTitle[] = "Morvane云解析工具Ver1.0";
// The size of the whole window, frame included.
inline constexpr QSize kOuterSize(599, 356);
inline constexpr char kTrayToolTip[] = "双击图标打开软件";

class MainWindow : public QWidget {
  Q_OBJECT

 public:
  // The handlers bound to the "解析" buttons use these; all three must outlive
  // the window.
  MainWindow(const Settings& settings, BaiduResolver& baiduResolver,
             LanzouClickHandler& lanzouHandler, QWidget* parent = nullptr);
  ~MainWindow() override;

  // Shared with Lanzou threads; stays safe to call after the window is gone.
  std::shared_ptr<WindowBridge> windowOperations() const { return bridge_; }

  // The created event: runs the update check once all controls exist.
  void OnCreated();
  // Hides the window behind the notification-area icon when it is minimised.
  void OnPositionChanged();
  // 1 restores the window from the icon; 2 and 3 do nothing.
  void OnTrayIcon(int code);
  void OnClearAll();
  // Places the frame in the middle of the available area of the window's screen.
  void CentreOnScreen();

  // Texts of controls by name, on the window's thread. Unknown names read as
  // empty and ignore writes.
  QString ControlText(const QString& name) const;
  void SetControlText(const QString& name, const QString& text);

  // The icon shown while the window is hidden; null otherwise.
  QSystemTrayIcon* trayIcon() const { return trayIcon_; }

  // Seams: what the update check does instead of opening the browser and
  // ending the process, and whether the desktop has a notification area.
  void SetUrlOpener(std::function<void(const QUrl&)> openUrl);
  void SetProcessExit(std::function<void(int)> exitProcess);
  void SetTrayAvailability(std::function<bool()> trayAvailable);

 signals:
  // The user closed the window; the process should end.
  void closed();

 protected:
  void changeEvent(QEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  void showEvent(QShowEvent* event) override;
  void moveEvent(QMoveEvent* event) override;

 private:
  void CreateControls();
  void BindHandlers();
  // Keeps frame plus client at kOuterSize once the platform reports its frame.
  void FitFrameToOuterSize();

  Settings settings_;
  BaiduResolver& baiduResolver_;
  LanzouClickHandler& lanzouHandler_;
  std::shared_ptr<WindowBridge> bridge_;
  QHash<QString, QWidget*> controls_;
  QSystemTrayIcon* trayIcon_ = nullptr;
  UpdateCheckActions updateActions_;
  std::function<bool()> trayAvailable_;
};

}  // namespace morvane
