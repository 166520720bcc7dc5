#pragma once
// A loopback HTTP server of a few lines of socket code, for the tests that must
// see the exact request bytes or need a server that misbehaves: one that stops
// halfway through a body, never answers, or keeps a connection open.

#include <atomic>
#include <chrono>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "text/text.h"

namespace morvane::test {

// One request as it arrived.
struct RawRequest {
  std::string head;  // request line and header lines, each with its CR LF, and the empty line
  std::string body;  // as many bytes as its Content-Length announced

  std::string RequestLine() const;
  // The header lines in their order, without line ends.
  std::vector<std::string> HeaderLines() const;
  // The value of every line with this name (any letter case), in order.
  std::vector<std::string> HeaderValues(std::string_view name) const;
};

// The rest of a reply, sent piece by piece: for answers too long to hold in
// memory (a body of hundreds of megabytes made up as it goes) or too slow to
// send at once (a byte now and then).
class ReplyStream {
 public:
  // Both say false once the client has left or the server is stopping, and
  // the stream should end.
  bool Send(std::string_view piece);
  bool Pause(std::chrono::milliseconds pause);

 private:
  friend class RawServer;
  ReplyStream(int socket, int wakeRead) : socket_(socket), wakeRead_(wakeRead) {}

  int socket_;
  int wakeRead_;
  bool gone_ = false;
};

struct RawReply {
  enum class Then {
    kClose,     // close the connection after the bytes
    kKeepOpen,  // read the next request on the same connection
    kHang,      // send the bytes, then stay silent until the client leaves
  };
  std::string bytes;
  Then then = Then::kClose;
  // Runs after bytes went out and before then.
  std::function<void(ReplyStream&)> stream = {};
};

// A complete response: the status line, the given header lines,
// Content-Length, "Connection: close" and the body.
std::string MakeResponse(std::string_view statusLine, const std::vector<std::string>& headerLines,
                         std::string_view body);

class RawServer {
 public:
  using Handler = std::function<RawReply(const RawRequest&)>;
  // Serves one connection at a time on 127.0.0.1 and an ephemeral port.
  explicit RawServer(Handler handler);
  ~RawServer();
  RawServer(const RawServer&) = delete;
  RawServer& operator=(const RawServer&) = delete;

  int Port() const { return port_; }
  std::string Url(std::string_view path = "/") const;
  std::vector<RawRequest> Requests() const;
  int ConnectionCount() const { return connections_; }

 private:
  void Serve();
  void ServeConnection(int socket);
  bool WaitReadable(int socket) const;

  Handler handler_;
  int listener_ = -1;
  int wakeRead_ = -1;
  int wakeWrite_ = -1;
  int port_ = 0;
  std::atomic<bool> stopping_{false};
  std::atomic<int> connections_{0};
  mutable std::mutex mutex_;
  std::vector<RawRequest> requests_;
  std::thread thread_;
};

// A socket that listens on 127.0.0.1 but never accepts: the kernel completes
// connections and buffers what clients send, and nothing ever answers or reads
// beyond the buffers.
class SilentListener {
 public:
  SilentListener();
  ~SilentListener();
  SilentListener(const SilentListener&) = delete;
  SilentListener& operator=(const SilentListener&) = delete;

  std::string Url(std::string_view path = "/") const;

 private:
  int socket_ = -1;
  int port_ = 0;
};

// Small conveniences the fetcher tests share.

inline std::string AsString(const Bytes& bytes) { return std::string(bytes.begin(), bytes.end()); }

inline ByteView AsBytes(std::string_view text) {
  return ByteView(reinterpret_cast<const std::uint8_t*>(text.data()), text.size());
}

// A handler that answers every request with the same bytes.
inline RawServer::Handler Answer(std::string response) {
  return [response](const RawRequest&) { return RawReply{response}; };
}

// The header lines of the first request the server saw, without Host.
inline std::vector<std::string> LinesSent(const RawServer& server) {
  std::vector<std::string> lines = server.Requests().at(0).HeaderLines();
  lines.erase(lines.begin());
  return lines;
}

}  // namespace morvane::test
