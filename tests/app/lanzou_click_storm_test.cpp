// Fifty quick clicks of the Lanzou button against a slow emulator, then the
// window closes while threads still wait: results reach the box in the order
// their threads finished, nothing is lost while the window lives, and the
// threads that finish after it is gone end quietly.

#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSet>
#include <QTabWidget>
#include <QTest>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "service_emulator.h"
#include "test_window.h"

using morvane::Settings;
using morvane::WindowBridge;
using morvane::emulator::EmulatorOptions;
using morvane::emulator::RecordedRequest;
using morvane::emulator::ServiceEmulator;
using morvane::test::Q;
using morvane::test::TestWindow;
namespace controls = morvane::controls;

namespace {

constexpr int kClicks = 50;
// Every tenth share's page is held back until the window is gone, so that
// some threads are sure to still be waiting when it closes.
constexpr int kHeldEvery = 10;
// Bounds that only keep a broken build from hanging the run; nothing here
// measures time.
constexpr int kWaitMs = 120'000;

std::string ShareId(int click) { return "iStorm" + std::to_string(100 + click); }
bool Held(int click) { return click % kHeldEvery == kHeldEvery - 1; }

// Answers that a test lets through all at once.
class Gate {
 public:
  void Wait() {
    std::unique_lock lock(mutex_);
    opened_.wait(lock, [this] { return open_; });
  }
  void Open() {
    {
      std::lock_guard lock(mutex_);
      open_ = true;
    }
    opened_.notify_all();
  }

 private:
  std::mutex mutex_;
  std::condition_variable opened_;
  bool open_ = false;
};

// Opens the gate when the test ends, early or not, before the emulator stops:
// its server threads would otherwise wait on it for ever.
struct OpenOnExit {
  std::shared_ptr<Gate> gate;
  ~OpenOnExit() { gate->Open(); }
};

// 100 to 300 ms, different for each request, so that the threads' four
// exchanges interleave and they finish in a mixed order; held share pages
// wait for the gate first.
EmulatorOptions SlowOptions(std::shared_ptr<Gate> gate) {
  EmulatorOptions options;
  options.serverThreads = 2 * kClicks;
  options.delayOf = [gate = std::move(gate)](const RecordedRequest& request) {
    for (int click = 0; click < kClicks; ++click) {
      if (Held(click) && request.path == "/" + ShareId(click)) gate->Wait();
    }
    return std::chrono::milliseconds(100 + std::hash<std::string>{}(request.target) % 201);
  };
  return options;
}

struct AppliedWrite {
  std::uint64_t number;
  QString control;
  QString text;
};

}  // namespace

class LanzouClickStormTest : public QObject {
  Q_OBJECT

 private slots:
  void resultsInFinishingOrderThenCloseWhileThreadsWait();
};

void LanzouClickStormTest::resultsInFinishingOrderThenCloseWhileThreadsWait() {
  auto gate = std::make_shared<Gate>();
  ServiceEmulator emulator(SlowOptions(gate));
  OpenOnExit openOnExit{gate};
  QVERIFY(emulator.Running());

  Settings settings;
  settings.lanzouHost = emulator.HttpsHost();
  settings.http.caFile = ServiceEmulator::CertificateFile();
  auto fixture = std::make_unique<TestWindow>(settings);
  QStringList addresses, downloads;
  for (int click = 0; click < kClicks; ++click) {
    addresses << QString::fromStdString(emulator.LanzouShareUrl(ShareId(click)));
    downloads << QString::fromStdString(emulator.Lanzou(ShareId(click)).downloadUrl);
  }

  // Lives until every thread has let the bridge go; only the window's thread
  // touches it.
  std::vector<AppliedWrite> applied;
  std::weak_ptr<WindowBridge> bridge = fixture->window->windowOperations();
  fixture->window->windowOperations()->SetWriteObserver(
      [&applied](std::uint64_t number, const QString& control, const QString& text) {
        applied.push_back({number, control, text});
      });

  fixture->window->show();
  QVERIFY(QTest::qWaitForWindowExposed(fixture->window.get()));
  fixture->window->findChild<QTabWidget*>()->setCurrentIndex(2);
  auto* address = fixture->Find<QLineEdit>(controls::kLanzouAddress);
  auto* button = fixture->Find<QPushButton>(controls::kLanzouButton);
  auto* result = fixture->Find<QPlainTextEdit>(controls::kLanzouResult);
  QVERIFY(address != nullptr && button != nullptr && result != nullptr);
  QVERIFY(button->isVisible());

  for (const QString& share : addresses) {
    address->setText(share);
    QTest::mouseClick(button, Qt::LeftButton);
  }
  QVERIFY(fixture->lanzouHandler.lanzouAddress() == addresses.last().toStdString());

  // Some results are in; the held ones cannot be.
  QTRY_VERIFY_WITH_TIMEOUT(applied.size() >= 10, kWaitMs);
  QVERIFY(fixture->events.isEmpty());  // no "解析失败" box

  // Each applied write is the result of one click, none twice, in the order
  // the threads handed them over: numbers 1, 2, 3, ... with none skipped, so
  // no result that finished while the window lived was lost or overtaken.
  QSet<QString> seen;
  for (std::size_t i = 0; i < applied.size(); ++i) {
    const AppliedWrite& write = applied[i];
    QCOMPARE(write.number, i + 1);
    QCOMPARE(write.control, Q(controls::kLanzouResult));
    const auto click = static_cast<int>(downloads.indexOf(write.text));
    QVERIFY2(click >= 0, qPrintable(write.text));
    QVERIFY2(!Held(click), qPrintable(write.text));
    QVERIFY2(!seen.contains(write.text), qPrintable(write.text));
    seen.insert(write.text);
  }
  QCOMPARE(result->toPlainText(), applied.back().text);

  // Closes the window while threads wait, then lets the held ones go.
  fixture.reset();
  const std::size_t appliedWhileOpen = applied.size();
  QVERIFY(appliedWhileOpen < static_cast<std::size_t>(kClicks));
  qInfo("%zu of %d results were in when the window closed", appliedWhileOpen, kClicks);
  gate->Open();

  // Every thread runs to its end against the gone window; their writes are
  // dropped. The last one to finish releases the bridge.
  QTRY_VERIFY_WITH_TIMEOUT(bridge.expired(), kWaitMs);
  QCOMPARE(applied.size(), appliedWhileOpen);
  QCOMPARE(emulator.RequestsTo("/file/").size(), static_cast<std::size_t>(kClicks));
}

QTEST_MAIN(LanzouClickStormTest)
#include "lanzou_click_storm_test.moc"
