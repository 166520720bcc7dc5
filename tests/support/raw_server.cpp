#include "support/raw_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdlib>

namespace morvane::test {
namespace {

// A socket listening on 127.0.0.1 and an ephemeral port; aborts when the
// system refuses one, since no test could run without it.
int ListenOnLoopback(int& port) {
  int listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  if (listener < 0 || ::bind(listener, reinterpret_cast<sockaddr*>(&address), length) != 0 ||
      ::listen(listener, 16) != 0 ||
      ::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
    std::abort();
  }
  port = ntohs(address.sin_port);
  return listener;
}

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
  return std::ranges::equal(
      a, b, [](unsigned char x, unsigned char y) { return std::tolower(x) == std::tolower(y); });
}

void SendAll(int socket, std::string_view bytes) {
  while (!bytes.empty()) {
    ssize_t sent = ::send(socket, bytes.data(), bytes.size(), MSG_NOSIGNAL);
    if (sent <= 0) return;
    bytes.remove_prefix(static_cast<std::size_t>(sent));
  }
}

}  // namespace

bool ReplyStream::Send(std::string_view piece) {
  while (!gone_ && !piece.empty()) {
    // Never blocked in send: a client that stops reading must not keep the
    // server's destructor waiting.
    pollfd watched[2] = {{socket_, POLLOUT, 0}, {wakeRead_, POLLIN, 0}};
    if (::poll(watched, 2, -1) < 0 && errno != EINTR) gone_ = true;
    if (gone_ || watched[1].revents != 0) {
      gone_ = true;
      break;
    }
    ssize_t sent = ::send(socket_, piece.data(), piece.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
    if (sent < 0 && (errno == EAGAIN || errno == EINTR)) continue;
    if (sent <= 0) {
      gone_ = true;
      break;
    }
    piece.remove_prefix(static_cast<std::size_t>(sent));
  }
  return !gone_;
}

bool ReplyStream::Pause(std::chrono::milliseconds pause) {
  if (gone_) return false;
  pollfd watched[2] = {{socket_, POLLRDHUP, 0}, {wakeRead_, POLLIN, 0}};
  int ready = ::poll(watched, 2, static_cast<int>(pause.count()));
  if (ready != 0 && !(ready < 0 && errno == EINTR)) gone_ = true;
  return !gone_;
}

std::string RawRequest::RequestLine() const { return head.substr(0, head.find("\r\n")); }

std::vector<std::string> RawRequest::HeaderLines() const {
  std::vector<std::string> lines;
  std::size_t start = head.find("\r\n");
  while (start != std::string::npos) {
    start += 2;
    std::size_t end = head.find("\r\n", start);
    if (end == std::string::npos || end == start) break;
    lines.push_back(head.substr(start, end - start));
    start = end;
  }
  return lines;
}

std::vector<std::string> RawRequest::HeaderValues(std::string_view name) const {
  std::vector<std::string> values;
  for (const std::string& line : HeaderLines()) {
    std::size_t colon = line.find(':');
    if (colon == std::string::npos || !EqualsIgnoringCase(line.substr(0, colon), name)) continue;
    std::size_t start = line.find_first_not_of(' ', colon + 1);
    values.push_back(start == std::string::npos ? std::string() : line.substr(start));
  }
  return values;
}

std::string MakeResponse(std::string_view statusLine, const std::vector<std::string>& headerLines,
                         std::string_view body) {
  std::string response(statusLine);
  response += "\r\n";
  for (const std::string& line : headerLines) response += line + "\r\n";
  response += "Content-Length: " + std::to_string(body.size()) + "\r\n";
  response += "Connection: close\r\n\r\n";
  response += body;
  return response;
}

RawServer::RawServer(Handler handler) : handler_(std::move(handler)) {
  int pipeEnds[2];
  if (::pipe(pipeEnds) != 0) std::abort();
  wakeRead_ = pipeEnds[0];
  wakeWrite_ = pipeEnds[1];
  listener_ = ListenOnLoopback(port_);
  thread_ = std::thread([this] { Serve(); });
}

RawServer::~RawServer() {
  stopping_ = true;
  char wake = 1;
  [[maybe_unused]] ssize_t written = ::write(wakeWrite_, &wake, 1);
  thread_.join();
  ::close(listener_);
  ::close(wakeRead_);
  ::close(wakeWrite_);
}

std::string RawServer::Url(std::string_view path) const {
  return "http://127.0.0.1:" + std::to_string(port_) + std::string(path);
}

std::vector<RawRequest> RawServer::Requests() const {
  std::lock_guard lock(mutex_);
  return requests_;
}

bool RawServer::WaitReadable(int socket) const {
  pollfd watched[2] = {{socket, POLLIN, 0}, {wakeRead_, POLLIN, 0}};
  while (!stopping_) {
    int ready = ::poll(watched, 2, -1);
    if (ready < 0) return false;
    if (watched[1].revents != 0) return false;
    if (watched[0].revents != 0) return true;
  }
  return false;
}

void RawServer::Serve() {
  while (WaitReadable(listener_)) {
    int connection = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
    if (connection < 0) continue;
    ++connections_;
    ServeConnection(connection);
    ::close(connection);
  }
}

void RawServer::ServeConnection(int socket) {
  std::string received;
  char buffer[65536];
  for (;;) {
    // Read one request: its head, then as many body bytes as announced.
    std::size_t headEnd;
    while ((headEnd = received.find("\r\n\r\n")) == std::string::npos) {
      if (!WaitReadable(socket)) return;
      ssize_t count = ::recv(socket, buffer, sizeof buffer, 0);
      if (count <= 0) return;
      received.append(buffer, static_cast<std::size_t>(count));
    }
    RawRequest request;
    request.head = received.substr(0, headEnd + 4);
    std::size_t bodyLength = 0;
    for (const std::string& value : request.HeaderValues("Content-Length")) {
      bodyLength = std::strtoull(value.c_str(), nullptr, 10);
    }
    while (received.size() < headEnd + 4 + bodyLength) {
      if (!WaitReadable(socket)) return;
      ssize_t count = ::recv(socket, buffer, sizeof buffer, 0);
      if (count <= 0) return;
      received.append(buffer, static_cast<std::size_t>(count));
    }
    request.body = received.substr(headEnd + 4, bodyLength);
    received.erase(0, headEnd + 4 + bodyLength);
    {
      std::lock_guard lock(mutex_);
      requests_.push_back(request);
    }
    RawReply reply = handler_(request);
    SendAll(socket, reply.bytes);
    if (reply.stream) {
      ReplyStream stream(socket, wakeRead_);
      reply.stream(stream);
    }
    switch (reply.then) {
      case RawReply::Then::kClose:
        return;
      case RawReply::Then::kKeepOpen:
        break;
      case RawReply::Then::kHang:
        // Silent until the client gives up and closes its end.
        while (WaitReadable(socket)) {
          if (::recv(socket, buffer, sizeof buffer, 0) <= 0) return;
        }
        return;
    }
  }
}

SilentListener::SilentListener() { socket_ = ListenOnLoopback(port_); }

SilentListener::~SilentListener() { ::close(socket_); }

std::string SilentListener::Url(std::string_view path) const {
  return "http://127.0.0.1:" + std::to_string(port_) + std::string(path);
}

}  // namespace morvane::test
