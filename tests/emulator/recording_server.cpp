#include "recording_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
#include <functional>

namespace morvane::emulator {
namespace {

thread_local const std::string* currentHead = nullptr;

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; };
           return lower(x) == lower(y);
         });
}

std::string_view LineName(std::string_view line) {
  auto colon = line.find(':');
  return colon == std::string_view::npos ? std::string_view{} : line.substr(0, colon);
}

std::string_view LineValue(std::string_view line) {
  auto colon = line.find(':');
  if (colon == std::string_view::npos) return {};
  auto value = line.substr(colon + 1);
  while (!value.empty() && (value.front() == ' ' || value.front() == '\t')) value.remove_prefix(1);
  return value;
}

// A socket (optionally TLS) stream that buffers its reads and keeps a copy of
// every byte handed to httplib until the request head is complete. httplib
// reads the head one byte at a time, so without the buffer every byte would
// cost a system call.
class CapturingStream final : public httplib::Stream {
 public:
  CapturingStream(socket_t sock, SSL* ssl, int readTimeoutMs, int writeTimeoutMs)
      : sock_(sock), ssl_(ssl), readTimeoutMs_(readTimeoutMs), writeTimeoutMs_(writeTimeoutMs) {}

  bool is_readable() const override {
    if (position_ < buffer_.size()) return true;
    if (ssl_ != nullptr && SSL_pending(ssl_) > 0) return true;
    return Wait(POLLIN, readTimeoutMs_);
  }

  bool is_writable() const override { return Wait(POLLOUT, writeTimeoutMs_); }

  ssize_t read(char* ptr, size_t size) override {
    if (position_ == buffer_.size()) {
      auto filled = Fill();
      if (filled <= 0) return filled;
    }
    auto count = std::min(size, buffer_.size() - position_);
    std::memcpy(ptr, buffer_.data() + position_, count);
    position_ += count;
    if (capturing_) captured_.append(ptr, count);
    return static_cast<ssize_t>(count);
  }

  ssize_t write(const char* ptr, size_t size) override {
    if (ssl_ != nullptr) {
      auto written = SSL_write(ssl_, ptr, static_cast<int>(std::min<size_t>(size, INT_MAX)));
      return written > 0 ? written : -1;
    }
    if (!is_writable()) return -1;
    ssize_t written;
    do {
      written = ::send(sock_, ptr, size, MSG_NOSIGNAL);
    } while (written < 0 && errno == EINTR);
    return written;
  }

  void get_remote_ip_and_port(std::string& ip, int& port) const override {
    Address(::getpeername, ip, port);
  }
  void get_local_ip_and_port(std::string& ip, int& port) const override {
    Address(::getsockname, ip, port);
  }
  socket_t socket() const override { return sock_; }

  // The head read so far (up to and including its empty line); stops capturing.
  std::string TakeHead() {
    capturing_ = false;
    auto end = captured_.find("\r\n\r\n");
    if (end != std::string::npos) captured_.resize(end + 4);
    return std::move(captured_);
  }

 private:
  bool Wait(short events, int timeoutMs) const {
    pollfd descriptor{sock_, events, 0};
    int ready;
    do {
      ready = ::poll(&descriptor, 1, timeoutMs);
    } while (ready < 0 && errno == EINTR);
    return ready > 0;
  }

  ssize_t Fill() {
    buffer_.resize(4096);
    position_ = 0;
    ssize_t count;
    if (ssl_ != nullptr) {
      if (SSL_pending(ssl_) == 0 && !Wait(POLLIN, readTimeoutMs_))
        count = -1;
      else {
        auto read = SSL_read(ssl_, buffer_.data(), static_cast<int>(buffer_.size()));
        count = read > 0 ? read : (SSL_get_error(ssl_, read) == SSL_ERROR_ZERO_RETURN ? 0 : -1);
      }
    } else if (!Wait(POLLIN, readTimeoutMs_)) {
      count = -1;
    } else {
      do {
        count = ::recv(sock_, buffer_.data(), buffer_.size(), 0);
      } while (count < 0 && errno == EINTR);
    }
    buffer_.resize(count > 0 ? static_cast<size_t>(count) : 0);
    return count;
  }

  template <class AddressFunction>
  void Address(AddressFunction function, std::string& ip, int& port) const {
    sockaddr_storage address{};
    socklen_t length = sizeof(address);
    if (function(sock_, reinterpret_cast<sockaddr*>(&address), &length) != 0) return;
    char text[INET6_ADDRSTRLEN] = {};
    if (address.ss_family == AF_INET) {
      auto* v4 = reinterpret_cast<sockaddr_in*>(&address);
      ::inet_ntop(AF_INET, &v4->sin_addr, text, sizeof(text));
      port = ntohs(v4->sin_port);
    } else if (address.ss_family == AF_INET6) {
      auto* v6 = reinterpret_cast<sockaddr_in6*>(&address);
      ::inet_ntop(AF_INET6, &v6->sin6_addr, text, sizeof(text));
      port = ntohs(v6->sin6_port);
    }
    ip = text;
  }

  socket_t sock_;
  SSL* ssl_;
  int readTimeoutMs_;
  int writeTimeoutMs_;
  std::string buffer_;
  size_t position_ = 0;
  bool capturing_ = true;
  std::string captured_;
};

using ProcessRequest = std::function<bool(httplib::Stream&, bool& connectionClosed,
                                          const std::function<void(httplib::Request&)>&)>;

// Serves one request on the stream; the handler sees its raw head through
// CurrentRawHead. One request per connection keeps heads and records aligned.
bool ServeOne(CapturingStream& stream, const ProcessRequest& process) {
  std::string head;
  bool connectionClosed = false;
  auto ok = process(stream, connectionClosed, [&](httplib::Request&) {
    head = stream.TakeHead();
    currentHead = &head;
  });
  currentHead = nullptr;
  return ok;
}

// Answers go out in several writes; without this, Nagle's algorithm and
// delayed acknowledgements would hold each exchange for tens of milliseconds.
void SendWithoutDelay(socket_t sock) {
  int on = 1;
  ::setsockopt(sock, IPPROTO_TCP, TCP_NODELAY, &on, sizeof(on));
}

void CloseSocket(socket_t sock) {
  ::shutdown(sock, SHUT_RDWR);
  ::close(sock);
}

int Milliseconds(time_t seconds, time_t microseconds) {
  return static_cast<int>(seconds * 1000 + microseconds / 1000);
}

}  // namespace

std::string RecordedRequest::Header(std::string_view name) const {
  for (const auto& line : headerLines) {
    if (EqualsIgnoringCase(LineName(line), name)) return std::string(LineValue(line));
  }
  return {};
}

bool RecordedRequest::HasHeader(std::string_view name) const { return HeaderCount(name) > 0; }

int RecordedRequest::HeaderCount(std::string_view name) const {
  return static_cast<int>(
      std::count_if(headerLines.begin(), headerLines.end(),
                    [&](const auto& line) { return EqualsIgnoringCase(LineName(line), name); }));
}

bool RecordedRequest::HasHeaderLine(std::string_view line) const {
  return std::find(headerLines.begin(), headerLines.end(), line) != headerLines.end();
}

std::string_view CurrentRawHead() {
  return currentHead != nullptr ? std::string_view(*currentHead) : std::string_view{};
}

std::vector<std::string> HeaderLinesOfHead(std::string_view rawHead) {
  std::vector<std::string> lines;
  bool requestLine = true;
  while (!rawHead.empty()) {
    auto end = rawHead.find("\r\n");
    auto line = rawHead.substr(0, end);
    rawHead.remove_prefix(end == std::string_view::npos ? rawHead.size() : end + 2);
    if (requestLine) {
      requestLine = false;
      continue;
    }
    if (line.empty()) break;
    lines.emplace_back(line);
  }
  return lines;
}

bool RecordingServer::process_and_close_socket(socket_t sock) {
  bool ok;
  SendWithoutDelay(sock);
  {
    CapturingStream stream(sock, nullptr, Milliseconds(read_timeout_sec_, read_timeout_usec_),
                           Milliseconds(write_timeout_sec_, write_timeout_usec_));
    ok = ServeOne(stream, [this](httplib::Stream& s, bool& closed, const auto& setup) {
      return process_request(s, true, closed, setup);
    });
  }
  CloseSocket(sock);
  return ok;
}

void RecordingServer::Prime() {
  int ends[2];
  if (::socketpair(AF_UNIX, SOCK_STREAM, 0, ends) != 0) return;
  // An unknown method: refused before routing, so no handler records it.
  constexpr std::string_view kRequest = "PRIME / HTTP/1.1\r\n\r\n";
  if (::send(ends[1], kRequest.data(), kRequest.size(), MSG_NOSIGNAL) ==
      static_cast<ssize_t>(kRequest.size())) {
    ::shutdown(ends[1], SHUT_WR);
    CapturingStream stream(ends[0], nullptr, 1000, 1000);
    bool connectionClosed = false;
    process_request(stream, true, connectionClosed, [](httplib::Request&) {});
  }
  ::close(ends[0]);
  ::close(ends[1]);
}

RecordingSslServer::RecordingSslServer(const char* certificatePath, const char* keyPath)
    : httplib::SSLServer(certificatePath, keyPath) {}

bool RecordingSslServer::process_and_close_socket(socket_t sock) {
  bool ok = false;
  SendWithoutDelay(sock);
  // The handshake runs on the blocking socket; these bound how long a silent
  // client can hold a worker.
  timeval readTimeout{read_timeout_sec_, static_cast<suseconds_t>(read_timeout_usec_)};
  timeval writeTimeout{write_timeout_sec_, static_cast<suseconds_t>(write_timeout_usec_)};
  ::setsockopt(sock, SOL_SOCKET, SO_RCVTIMEO, &readTimeout, sizeof(readTimeout));
  ::setsockopt(sock, SOL_SOCKET, SO_SNDTIMEO, &writeTimeout, sizeof(writeTimeout));
  if (SSL* ssl = SSL_new(ssl_context()); ssl != nullptr) {
    SSL_set_fd(ssl, sock);
    if (SSL_accept(ssl) == 1) {
      CapturingStream stream(sock, ssl, Milliseconds(read_timeout_sec_, read_timeout_usec_),
                             Milliseconds(write_timeout_sec_, write_timeout_usec_));
      ok = ServeOne(stream, [this](httplib::Stream& s, bool& closed, const auto& setup) {
        return process_request(s, true, closed, setup);
      });
      SSL_shutdown(ssl);
    }
    SSL_free(ssl);
  }
  CloseSocket(sock);
  return ok;
}

}  // namespace morvane::emulator
