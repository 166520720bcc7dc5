#include "app/window_bridge.h"

#include <QMessageBox>
#include <QMetaObject>
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

WindowBridge::WindowBridge(MainWindow* window)
    : windowThread_(std::this_thread::get_id()), window_(window) {}

WindowBridge::~WindowBridge() = default;

Text WindowBridge::ReadControlText(std::string_view control) {
  const QString name = ControlName(control);
  if (OnWindowThread()) {
    return window_ != nullptr ? ToGbk(window_->ControlText(name)) : Text();
  }
  auto completion = std::make_shared<Completion>();
  {
    std::lock_guard lock(mutex_);
    if (window_ == nullptr) return {};
    auto guard = std::make_shared<CompletionGuard>(completion);
    QMetaObject::invokeMethod(
        window_,
        [window = window_, name, guard] {
          Text value = ToGbk(window->ControlText(name));
          std::lock_guard valueLock(guard->completion->mutex);
          guard->completion->value = std::move(value);
        },
        Qt::QueuedConnection);
  }
  completion->Wait();
  return std::move(completion->value);
}

void WindowBridge::WriteControlText(std::string_view control, std::string_view text) {
  const QString name = ControlName(control);
  const QString value = FromGbk(text);
  std::unique_lock lock(mutex_);
  const std::uint64_t number = ++writeCount_;
  if (window_ == nullptr) return;
  if (OnWindowThread()) {
    // Applied at once, ahead of results still queued; unlocked, so that what
    // the write sets off may use the bridge again.
    lock.unlock();
    ApplyWrite(number, name, value);
    return;
  }
  // The lock keeps the window alive while the call is queued; Qt discards the
  // queued call with the window if it goes before the call runs. Queued calls
  // run in the order they were queued, which is the order of their numbers.
  // The bridge outlives the window it serves, so `this` is valid in the call.
  QMetaObject::invokeMethod(
      window_, [this, number, name, value] { ApplyWrite(number, name, value); },
      Qt::QueuedConnection);
}

void WindowBridge::ShowMessageBox(std::string_view text, std::string_view title) {
  const QString message = FromGbk(text);
  const QString caption = title.empty() ? ControlName(kDefaultMessageCaption) : FromGbk(title);
  if (OnWindowThread()) {
    if (window_ != nullptr) PresentModal(message, caption);
    return;
  }
  auto completion = std::make_shared<Completion>();
  {
    std::lock_guard lock(mutex_);
    if (window_ == nullptr) return;
    auto guard = std::make_shared<CompletionGuard>(completion);
    // The bridge outlives the window it serves (the window holds a reference),
    // and the call runs only while the window exists, so `this` is valid there.
    QMetaObject::invokeMethod(
        window_,
        [this, message, caption, guard]() mutable {
          PresentModeless(message, caption, std::move(guard));
        },
        Qt::QueuedConnection);
  }
  completion->Wait();
}

void WindowBridge::SetMessagePresenter(MessagePresenter presenter) {
  presenter_ = std::move(presenter);
}

void WindowBridge::SetWriteObserver(WriteObserver observer) {
  writeObserver_ = std::move(observer);
}

void WindowBridge::ApplyWrite(std::uint64_t number, const QString& control, const QString& text) {
  // Only this thread clears window_, so it can be read here without the lock.
  if (window_ == nullptr) return;
  window_->SetControlText(control, text);
  if (writeObserver_) writeObserver_(number, control, text);
}

void WindowBridge::Detach() {
  {
    std::lock_guard lock(mutex_);
    window_ = nullptr;
  }
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
