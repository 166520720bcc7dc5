#include "support/http_server.h"

#include <chrono>
#include <cstdlib>

namespace morvane::test {

std::string CertificateFile(std::string_view name) {
  return std::string(MORVANE_TEST_CERT_DIR) + "/" + std::string(name) + ".crt";
}

HttpServer::HttpServer(const Routes& routes, std::string_view certificateName) {
  if (certificateName.empty()) {
    server_ = std::make_unique<httplib::Server>();
    scheme_ = "http";
  } else {
    std::string key =
        std::string(MORVANE_TEST_CERT_DIR) + "/" + std::string(certificateName) + ".key";
    server_ =
        std::make_unique<httplib::SSLServer>(CertificateFile(certificateName).c_str(), key.c_str());
    scheme_ = "https";
  }
  routes(*server_);
  port_ = server_->bind_to_any_port("127.0.0.1");
  if (port_ <= 0) std::abort();
  thread_ = std::thread([this] { server_->listen_after_bind(); });
  // stop() only reaches a server that has started listening.
  while (!server_->is_running()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
}

HttpServer::~HttpServer() {
  server_->stop();
  thread_.join();
}

std::string HttpServer::Url(std::string_view path) const {
  return scheme_ + "://127.0.0.1:" + std::to_string(port_) + std::string(path);
}

}  // namespace morvane::test
