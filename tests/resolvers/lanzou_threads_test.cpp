// Fifty Lanzou clicks at once against a slow emulator, with window operations
// that the clicker lets go of at once: every thread delivers its own share's
// address exactly once, and the last thread to finish ends the window
// operations' life. Run under ThreadSanitizer with no suppressions.

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "resolver_test_support.h"
#include "resolvers/lanzou.h"

namespace morvane {
namespace {

using emulator::EmulatorOptions;
using emulator::RecordedRequest;
using emulator::ServiceEmulator;

constexpr int kClicks = 50;

std::string ShareId(int click) { return "iBurst" + std::to_string(100 + click); }

// What the window operations saw, kept by the test beyond their life.
struct Log {
  std::mutex mutex;
  std::condition_variable changed;
  std::vector<std::pair<std::string, Text>> writes;  // in the order they arrived
  int messageBoxes = 0;
  bool gone = false;
};

// Window operations safe to call from any thread; they tell the log when they
// are destroyed, on whichever thread lets them go last.
class BurstWindow final : public WindowOperations {
 public:
  explicit BurstWindow(std::shared_ptr<Log> log) : log_(std::move(log)) {}
  ~BurstWindow() override {
    {
      std::lock_guard lock(log_->mutex);
      log_->gone = true;
    }
    log_->changed.notify_all();
  }

  void SetAddress(Text address) {
    std::lock_guard lock(mutex_);
    address_ = std::move(address);
  }

  Text ReadControlText(std::string_view control) override {
    std::lock_guard lock(mutex_);
    return control == controls::kLanzouAddress ? address_ : Text();
  }

  void WriteControlText(std::string_view control, std::string_view text) override {
    std::lock_guard lock(log_->mutex);
    log_->writes.emplace_back(std::string(control), Text(text));
  }

  void ShowMessageBox(std::string_view, std::string_view) override {
    std::lock_guard lock(log_->mutex);
    ++log_->messageBoxes;
  }

 private:
  std::shared_ptr<Log> log_;
  std::mutex mutex_;
  Text address_;
};

TEST(LanzouThreadsTest, FiftyClicksDeliverEachResultOnceAfterTheirStarterLetsGo) {
  EmulatorOptions options;
  options.serverThreads = 2 * kClicks;
  // 100 to 300 ms, different for each request, so that the threads' exchanges
  // interleave and they finish in a mixed order.
  options.delayOf = [](const RecordedRequest& request) {
    return std::chrono::milliseconds(100 + std::hash<std::string>{}(request.target) % 201);
  };
  ServiceEmulator emulator(options);
  ASSERT_TRUE(emulator.Running());
  const Settings settings = testing::EmulatorSettings(emulator);

  auto log = std::make_shared<Log>();
  auto window = std::make_shared<BurstWindow>(log);
  auto handler = std::make_unique<LanzouClickHandler>();
  std::map<Text, int> expected;  // download address -> click
  for (int click = 0; click < kClicks; ++click) {
    window->SetAddress(emulator.LanzouShareUrl(ShareId(click)));
    handler->OnResolveLanzou(window, settings);
    expected.emplace(emulator.Lanzou(ShareId(click)).downloadUrl, click);
  }
  EXPECT_EQ(handler->lanzouAddress(), emulator.LanzouShareUrl(ShareId(kClicks - 1)));
  // The exit routine and the clicker go while the threads still wait; the
  // threads own what they use.
  handler->Release();
  handler.reset();
  window.reset();

  std::unique_lock lock(log->mutex);
  ASSERT_TRUE(log->changed.wait_for(lock, std::chrono::minutes(2), [&] { return log->gone; }))
      << log->writes.size() << " of " << kClicks << " results before the bound";
  EXPECT_EQ(log->messageBoxes, 0);
  // One write per click, each its own share's address: no thread lost its
  // result or took another's. The log's lock gives the writes one order, the
  // order in which the threads finished.
  ASSERT_EQ(log->writes.size(), static_cast<std::size_t>(kClicks));
  std::map<int, int> deliveries;
  for (const auto& [control, text] : log->writes) {
    EXPECT_EQ(control, controls::kLanzouResult);
    auto found = expected.find(text);
    ASSERT_NE(found, expected.end()) << text;
    ++deliveries[found->second];
  }
  EXPECT_EQ(deliveries.size(), static_cast<std::size_t>(kClicks));
  EXPECT_EQ(emulator.RequestsTo("/file/").size(), static_cast<std::size_t>(kClicks));
}

}  // namespace
}  // namespace morvane
