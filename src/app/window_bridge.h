#pragma once
// The window operations of the core, served by MainWindow. Handlers and
// Lanzou threads share one bridge through std::shared_ptr; it may outlive the
// window, after which writes are dropped and message boxes return at once.

#include <QList>
#include <QPointer>
#include <QString>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <string_view>
#include <thread>

#include "resolvers/window_operations.h"

class QMessageBox;

namespace morvane {

class MainWindow;
class QueuedCallRunner;

// Shows a message box and returns when it is answered. Tests install one that
// records the box and answers at once; it always runs on the window's thread.
using MessagePresenter = std::function<void(const QString& text, const QString& caption)>;

// Sees each write the window applies. Writes are numbered from 1 in the order
// they reach the bridge, from whichever thread, so of two results from worker
// threads the one that finished first carries the smaller number and is
// applied first. A write on the window's thread is applied as it is made.
using WriteObserver =
    std::function<void(std::uint64_t number, const QString& control, const QString& text)>;

// The caption of a box asked for without a title.
inline constexpr std::string_view kDefaultMessageCaption = "信息：";

class WindowBridge final : public WindowOperations {
 public:
  // Construct on the window's thread: that thread is the one allowed to touch
  // the controls directly.
  explicit WindowBridge(MainWindow* window);
  ~WindowBridge() override;

  Text ReadControlText(std::string_view control) override;
  void WriteControlText(std::string_view control, std::string_view text) override;
  void ShowMessageBox(std::string_view text, std::string_view title) override;

  // Window's thread only.
  void SetMessagePresenter(MessagePresenter presenter);
  // Window's thread only; the observer is called there, after each write.
  void SetWriteObserver(WriteObserver observer);
  // Called by the window as it is destroyed: cuts the bridge loose and closes
  // the boxes that worker threads are waiting on.
  void Detach();

 private:
  friend class QueuedCallRunner;

  bool OnWindowThread() const { return std::this_thread::get_id() == windowThread_; }
  // Window's thread: presents one box and returns when it is closed.
  void PresentModal(const QString& text, const QString& caption);
  // Window's thread: presents one box without blocking; keepAlive is held
  // until the box is gone, which is what the waiting worker watches.
  void PresentModeless(const QString& text, const QString& caption,
                       std::shared_ptr<void> keepAlive);
  // mutex_ held, window_ set: queues a call for the window's thread. Calls
  // from other threads reach the window only this way, so everything they
  // hand over is ordered by mutex_, which ThreadSanitizer can follow (it
  // cannot see into Qt's own event queue), and they hand over no Qt objects.
  void QueueLocked(std::function<void()> call);
  // Window's thread: runs what other threads queued, in the order queued.
  void RunQueuedCalls();
  // Window's thread: applies one write and tells the observer.
  void ApplyWrite(std::uint64_t number, std::string_view control, std::string_view text);

  const std::thread::id windowThread_;
  std::mutex mutex_;                               // guards window_, writeCount_, queuedCalls_
  MainWindow* window_ = nullptr;                   // null once the window is gone
  std::uint64_t writeCount_ = 0;                   // writes that reached the bridge
  std::deque<std::function<void()>> queuedCalls_;  // guarded by mutex_
  QueuedCallRunner* const runner_;                 // the window's child
  WriteObserver writeObserver_;                    // window's thread only
  MessagePresenter presenter_;                     // window's thread only
  QList<QPointer<QMessageBox>> modelessBoxes_;     // window's thread only
};

}  // namespace morvane
