#include "support/tinyproxy_process.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <thread>

extern char** environ;

namespace morvane::test {
namespace {

int FreeLoopbackPort() {
  int probe = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  int port = 0;
  if (::bind(probe, reinterpret_cast<sockaddr*>(&address), length) == 0 &&
      ::getsockname(probe, reinterpret_cast<sockaddr*>(&address), &length) == 0) {
    port = ntohs(address.sin_port);
  }
  ::close(probe);
  return port;
}

bool Accepts(int port) {
  int probe = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons(static_cast<std::uint16_t>(port));
  bool connected = ::connect(probe, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
  ::close(probe);
  return connected;
}

}  // namespace

bool TinyproxyProcess::Installed() { return ::access(kProgram, X_OK) == 0; }

TinyproxyProcess::TinyproxyProcess(std::string_view user, std::string_view password) {
  port_ = FreeLoopbackPort();
  char path[] = "/tmp/morvane-tinyproxy-XXXXXX";
  int file = ::mkstemp(path);
  if (file < 0 || port_ == 0) return;
  ::close(file);
  configFile_ = path;
  {
    // No ConnectPort lines, so tunnels to any port (the test servers') work.
    std::ofstream config(configFile_);
    config << "Port " << port_ << "\n"
           << "Listen 127.0.0.1\n"
           << "Allow 127.0.0.1\n"
           << "BasicAuth " << user << " " << password << "\n"
           << "Timeout 10\n"
           << "LogLevel Critical\n";
  }
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  std::string program = kProgram;
  char* arguments[] = {program.data(), const_cast<char*>("-d"), const_cast<char*>("-c"),
                       configFile_.data(), nullptr};
  pid_t child = -1;
  int spawned = posix_spawn(&child, kProgram, &actions, nullptr, arguments, environ);
  posix_spawn_file_actions_destroy(&actions);
  if (spawned != 0) return;
  child_ = child;
  for (int attempt = 0; attempt < 500; ++attempt) {
    if (Accepts(port_)) return;
    if (::waitpid(child_, nullptr, WNOHANG) == child_) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  ::kill(child_, SIGKILL);
  ::waitpid(child_, nullptr, 0);
  child_ = -1;
}

TinyproxyProcess::~TinyproxyProcess() {
  if (child_ > 0) {
    ::kill(child_, SIGTERM);
    for (int attempt = 0; attempt < 200; ++attempt) {
      if (::waitpid(child_, nullptr, WNOHANG) == child_) {
        child_ = -1;
        break;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    if (child_ > 0) {
      ::kill(child_, SIGKILL);
      ::waitpid(child_, nullptr, 0);
    }
  }
  if (!configFile_.empty()) std::remove(configFile_.c_str());
}

std::string TinyproxyProcess::Address() const { return "127.0.0.1:" + std::to_string(port_); }

}  // namespace morvane::test
