#pragma once
// What the resolver tests share: window operations that record what the
// resolvers deliver, settings aimed at the emulator, and request assertions.

#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <map>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "resolvers/settings.h"
#include "resolvers/window_operations.h"
#include "service_emulator.h"

namespace morvane::testing {

// "解析失败" in GBK.
inline constexpr std::string_view kResolveFailedGbk = "\xBD\xE2\xCE\xF6\xCA\xA7\xB0\xDC";

// Window operations that keep the boxes' texts and record every write and
// message box, from any thread, in the order they arrive.
class RecordingWindow final : public WindowOperations {
 public:
  struct Event {
    bool messageBox = false;
    std::string control;  // empty for a message box
    Text text;
    Text title;
  };

  void SetControlText(std::string_view control, std::string_view text) {
    std::lock_guard lock(mutex_);
    boxes_[std::string(control)] = text;
  }

  Text ControlText(std::string_view control) const {
    std::lock_guard lock(mutex_);
    auto found = boxes_.find(std::string(control));
    return found == boxes_.end() ? Text() : found->second;
  }

  Text ReadControlText(std::string_view control) override { return ControlText(control); }

  void WriteControlText(std::string_view control, std::string_view text) override {
    {
      std::lock_guard lock(mutex_);
      boxes_[std::string(control)] = text;
      events_.push_back({false, std::string(control), Text(text), {}});
    }
    arrived_.notify_all();
  }

  void ShowMessageBox(std::string_view text, std::string_view title) override {
    {
      std::lock_guard lock(mutex_);
      events_.push_back({true, {}, Text(text), Text(title)});
    }
    arrived_.notify_all();
  }

  std::vector<Event> Events() const {
    std::lock_guard lock(mutex_);
    return events_;
  }

  std::vector<Event> MessageBoxes() const {
    std::vector<Event> boxes;
    for (const auto& event : Events()) {
      if (event.messageBox) boxes.push_back(event);
    }
    return boxes;
  }

  // Waits until count events have arrived. The bound only keeps a broken
  // resolver from hanging the run; the tests never measure time.
  bool WaitForEvents(size_t count) {
    std::unique_lock lock(mutex_);
    return arrived_.wait_for(lock, std::chrono::seconds(60),
                             [&] { return events_.size() >= count; });
  }

 private:
  mutable std::mutex mutex_;
  std::condition_variable arrived_;
  std::map<std::string, Text> boxes_;
  std::vector<Event> events_;
};

inline Settings EmulatorSettings(const emulator::ServiceEmulator& emulator) {
  Settings settings;
  settings.lanzouHost = emulator.HttpsHost();
  settings.baiduHost = emulator.HttpHost();
  settings.http.caFile = emulator::ServiceEmulator::CertificateFile();
  return settings;
}

// A loopback port on which nothing listens (it was free a moment ago).
inline int UnusedPort() {
  int sock = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof(address);
  ::bind(sock, reinterpret_cast<sockaddr*>(&address), sizeof(address));
  ::getsockname(sock, reinterpret_cast<sockaddr*>(&address), &length);
  ::close(sock);
  return ntohs(address.sin_port);
}

// The lines appear among the request's header lines, in this order.
inline ::testing::AssertionResult HasHeaderLinesInOrder(const emulator::RecordedRequest& request,
                                                        const std::vector<std::string>& lines) {
  size_t next = 0;
  for (const auto& line : request.headerLines) {
    if (next < lines.size() && line == lines[next]) ++next;
  }
  if (next == lines.size()) return ::testing::AssertionSuccess();
  auto failure = ::testing::AssertionFailure();
  failure << "missing or out of order: \"" << lines[next] << "\"; the request sent:";
  for (const auto& line : request.headerLines) failure << "\n  " << line;
  return failure;
}

}  // namespace morvane::testing
