#pragma once
// Settings that every exchange of the fetchers shares: certificate checks and
// an optional observer of finished exchanges (the command line's --verbose).

#include <chrono>
#include <cstddef>
#include <functional>
#include <string>

namespace morvane {

// What an observer learns about one finished exchange.
struct ExchangeSummary {
  std::string method;
  std::string url;
  long status = 0;  // 0 when no response arrived
  std::size_t bytesSent = 0;
  std::size_t bytesReceived = 0;
  std::string error;  // empty on success; otherwise what failed, in plain words
  // The bounds the exchange ran under: its longest duration and largest body.
  std::chrono::milliseconds totalTimeout{0};
  std::size_t maxBodyBytes = 0;
};

struct HttpSettings {
  // Certificates are verified against the system's trust store; caFile adds
  // the CA certificates of a PEM file (self-hosted or test servers).
  std::string caFile = {};
  // Switches certificate verification off on purpose.
  bool insecure = false;
  // Called on the fetching thread after every exchange, when set.
  std::function<void(const ExchangeSummary&)> onExchange = {};
};

}  // namespace morvane
