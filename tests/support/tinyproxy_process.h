#pragma once
// A real HTTP proxy for the tests: tinyproxy on 127.0.0.1 with Basic
// authentication, run as a child process for the life of the object.

#include <sys/types.h>

#include <string>
#include <string_view>

namespace morvane::test {

class TinyproxyProcess {
 public:
  static constexpr const char* kProgram = "/usr/bin/tinyproxy";
  static bool Installed();

  // Starts the proxy and waits until it accepts connections; Running() tells
  // whether that worked.
  TinyproxyProcess(std::string_view user, std::string_view password);
  ~TinyproxyProcess();
  TinyproxyProcess(const TinyproxyProcess&) = delete;
  TinyproxyProcess& operator=(const TinyproxyProcess&) = delete;

  bool Running() const { return child_ > 0; }
  // "127.0.0.1:<port>"
  std::string Address() const;

 private:
  pid_t child_ = -1;
  int port_ = 0;
  std::string configFile_;
};

}  // namespace morvane::test
