#include "app/window_bridge.h"

#include <QMessageBox>
#include <QMetaObject>
#include <QObject>
#include <condition_variable>
#include <memory>
#include <utility>

#include "app/main_window.h"
#include "text/charset.h"

namespace morvane {
namespace {

QString FromGbk(std::string_view text) { return QString::fromStdString(GbkToUtf8(text)); }

Text ToGbk(const QString& text) {
  const QByteArray utf8 = text.toUtf8();
  return Utf8ToGbk(std::string_view(utf8.constData(), static_cast<std::size_t>(utf8.size())));
}

QString ControlName(std::string_view control) {
  return QString::fromUtf8(control.data(), static_cast<qsizetype>(control.size()));
}

// What a worker thread waits for while the window's thread serves its call.
struct Completion {
  std::mutex mutex;
  std::condition_variable finished;
  bool done = false;
  Text value;

  void Wait() {
    std::unique_lock lock(mutex);
    finished.wait(lock, [this] { return done; });
  }
};

// Completes the call when the last copy goes away: after the call has run, or
// when Qt drops the queued call because the window is gone. Either way the
// worker wakes up; it never waits on a call that can no longer happen.
struct CompletionGuard {
  explicit CompletionGuard(std::shared_ptr<Completion> target) : completion(std::move(target)) {}
  CompletionGuard(const CompletionGuard&) = delete;
  CompletionGuard& operator=(const CompletionGuard&) = delete;
  ~CompletionGuard() {
    {
      std::lock_guard lock(completion->mutex);
      completion->done = true;
    }
    completion->finished.notify_all();
  }
  std::shared_ptr<Completion> completion;
};

}  // namespace

// Lives on the window's thread as the window's child, so Qt drops a wake-up
// still posted to it when the window goes. The wake-up carries no data: what
// it runs passes through the bridge's own lock.
class QueuedCallRunner final : public QObject {
  Q_OBJECT

 public:
  QueuedCallRunner(WindowBridge* bridge, QObject* window) : QObject(window), bridge_(bridge) {}
  void Forget() { bridge_ = nullptr; }

 public slots:
  void RunQueuedCalls() {
    if (bridge_ != nullptr) bridge_->RunQueuedCalls();
  }

 private:
  WindowBridge* bridge_;
};

WindowBridge::WindowBridge(MainWindow* window)
    : windowThread_(std::this_thread::get_id()),
      window_(window),
      runner_(window != nullptr ? new QueuedCallRunner(this, window) : nullptr) {}

WindowBridge::~WindowBridge() = default;

// Calls from other threads hand over only std::string: every QString is made
// and released on the window's thread, because Qt's reference counts drop
// inside its own uninstrumented code, where ThreadSanitizer cannot see them.

Text WindowBridge::ReadControlText(std::string_view control) {
  if (OnWindowThread()) {
    return window_ != nullptr ? ToGbk(window_->ControlText(ControlName(control))) : Text();
  }
  auto completion = std::make_shared<Completion>();
  {
    std::lock_guard lock(mutex_);
    if (window_ == nullptr) return {};
    auto guard = std::make_shared<CompletionGuard>(completion);
    QueueLocked([this, name = std::string(control), guard] {
      if (window_ == nullptr) return;
      Text value = ToGbk(window_->ControlText(ControlName(name)));
      std::lock_guard valueLock(guard->completion->mutex);
      guard->completion->value = std::move(value);
    });
  }
  completion->Wait();
  return std::move(completion->value);
}

void WindowBridge::WriteControlText(std::string_view control, std::string_view text) {
  std::unique_lock lock(mutex_);
  const std::uint64_t number = ++writeCount_;
  if (window_ == nullptr) return;
  if (OnWindowThread()) {
    // Applied at once, ahead of results still queued; unlocked, so that what
    // the write sets off may use the bridge again.
    lock.unlock();
    ApplyWrite(number, control, text);
    return;
  }
  // Queued calls run in the order they were queued, which is the order of
  // their numbers.
  QueueLocked([this, number, name = std::string(control), value = Text(text)] {
    ApplyWrite(number, name, value);
  });
}

void WindowBridge::ShowMessageBox(std::string_view text, std::string_view title) {
  auto caption = [](std::string_view gbkTitle) {
    return gbkTitle.empty() ? ControlName(kDefaultMessageCaption) : FromGbk(gbkTitle);
  };
  if (OnWindowThread()) {
    if (window_ != nullptr) PresentModal(FromGbk(text), caption(title));
    return;
  }
  auto completion = std::make_shared<Completion>();
  {
    std::lock_guard lock(mutex_);
    if (window_ == nullptr) return;
    auto guard = std::make_shared<CompletionGuard>(completion);
    QueueLocked([this, caption, message = Text(text), title = Text(title), guard]() mutable {
      if (window_ != nullptr) PresentModeless(FromGbk(message), caption(title), std::move(guard));
    });
  }
  completion->Wait();
}

void WindowBridge::SetMessagePresenter(MessagePresenter presenter) {
  presenter_ = std::move(presenter);
}

void WindowBridge::SetWriteObserver(WriteObserver observer) {
  writeObserver_ = std::move(observer);
}

void WindowBridge::ApplyWrite(std::uint64_t number, std::string_view control,
                              std::string_view text) {
  // Only this thread clears window_, so it can be read here without the lock.
  if (window_ == nullptr) return;
  const QString name = ControlName(control);
  const QString value = FromGbk(text);
  window_->SetControlText(name, value);
  if (writeObserver_) writeObserver_(number, name, value);
}

void WindowBridge::QueueLocked(std::function<void()> call) {
  queuedCalls_.push_back(std::move(call));
  // One wake-up serves every call queued before it runs.
  if (queuedCalls_.size() == 1) {
    QMetaObject::invokeMethod(runner_, "RunQueuedCalls", Qt::QueuedConnection);
  }
}

void WindowBridge::RunQueuedCalls() {
  std::deque<std::function<void()>> calls;
  {
    std::lock_guard lock(mutex_);
    calls.swap(queuedCalls_);
  }
  // Unlocked: a call may use the bridge again.
  for (std::function<void()>& call : calls) call();
}

void WindowBridge::Detach() {
  std::deque<std::function<void()>> dropped;
  {
    std::lock_guard lock(mutex_);
    window_ = nullptr;
    dropped.swap(queuedCalls_);
  }
  if (runner_ != nullptr) runner_->Forget();
  // Dropping a queued read or box wakes the worker waiting on it.
  dropped.clear();
  // Each box holds the completion its worker waits on; deleting it wakes them.
  for (const QPointer<QMessageBox>& box : std::exchange(modelessBoxes_, {})) delete box.data();
}

void WindowBridge::PresentModal(const QString& text, const QString& caption) {
  if (presenter_) {
    presenter_(text, caption);
    return;
  }
  // Owned by no window, yet modal for the whole application: MainWindow stays
  // disabled until the box is answered.
  QMessageBox box(QMessageBox::NoIcon, caption, text, QMessageBox::Ok);
  box.setWindowModality(Qt::ApplicationModal);
  box.exec();
}

void WindowBridge::PresentModeless(const QString& text, const QString& caption,
                                   std::shared_ptr<void> keepAlive) {
  if (presenter_) {
    presenter_(text, caption);
    return;
  }
  // A box for a worker thread blocks only that thread, so the window keeps
  // serving the user while it is open.
  auto* box = new QMessageBox(QMessageBox::NoIcon, caption, text, QMessageBox::Ok);
  box->setWindowModality(Qt::NonModal);
  box->setAttribute(Qt::WA_DeleteOnClose);
  QObject::connect(box, &QMessageBox::finished, box, &QObject::deleteLater);
  // Released as the box is destroyed, answered or deleted with the window.
  auto holder = std::make_shared<std::shared_ptr<void>>(std::move(keepAlive));
  QObject::connect(box, &QObject::destroyed, [holder] { holder->reset(); });
  modelessBoxes_.removeAll(QPointer<QMessageBox>());
  modelessBoxes_.append(box);
  box->show();
}

}  // namespace morvane

#include "window_bridge.moc"
