#pragma once
// httplib servers that keep the raw request head of every exchange, so that
// tests can assert on header lines in the order the client sent them (httplib
// itself keeps headers in a map sorted by name).

#include <httplib.h>

#include <string>
#include <string_view>
#include <vector>

namespace morvane::emulator {

// One request as it arrived.
struct RecordedRequest {
  std::string scheme;  // "http" or "https"
  std::string method;
  std::string target;                    // path and query, as sent
  std::string path;                      // target without the query
  std::vector<std::string> headerLines;  // "Name: value", in arrival order
  std::string body;

  // The value of the first header with this name (any letter case), or "".
  std::string Header(std::string_view name) const;
  bool HasHeader(std::string_view name) const;
  // How many header lines carry this name (any letter case).
  int HeaderCount(std::string_view name) const;
  bool HasHeaderLine(std::string_view line) const;
  // The Cookie header's value; empty when the request carried none.
  std::string Cookies() const { return Header("Cookie"); }
};

// The request head (request line and header lines) that the current handler
// thread is serving, captured byte for byte; empty outside a handler.
std::string_view CurrentRawHead();

// Splits a raw head into its header lines (the request line is skipped).
std::vector<std::string> HeaderLinesOfHead(std::string_view rawHead);

// Answers one request per connection and captures its raw head.
class RecordingServer : public httplib::Server {
 public:
  // Reads one request that httplib turns away, on the calling thread, before
  // any serving thread starts. httplib builds a table on its first request in
  // code ThreadSanitizer cannot see into; built here, it is ordered before
  // every serving thread, which then only read it.
  void Prime();

 private:
  bool process_and_close_socket(socket_t sock) override;
};

// The same over TLS, with the certificate and key of the given files.
class RecordingSslServer : public httplib::SSLServer {
 public:
  RecordingSslServer(const char* certificatePath, const char* keyPath);

 private:
  bool process_and_close_socket(socket_t sock) override;
};

}  // namespace morvane::emulator
