#pragma once
// A cpp-httplib server on 127.0.0.1 and an ephemeral port, plain or with one of
// the test certificates, started in the constructor and stopped in the
// destructor.

#include <httplib.h>

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <thread>

namespace morvane::test {

// MORVANE_TEST_CERT_DIR + "/" + name + ".crt".
std::string CertificateFile(std::string_view name);

class HttpServer {
 public:
  using Routes = std::function<void(httplib::Server&)>;
  // routes registers the handlers before the server starts. certificateName
  // ("localhost" or "other") makes it an HTTPS server with that certificate.
  explicit HttpServer(const Routes& routes, std::string_view certificateName = {});
  ~HttpServer();
  HttpServer(const HttpServer&) = delete;
  HttpServer& operator=(const HttpServer&) = delete;

  int Port() const { return port_; }
  // "http://127.0.0.1:<port>" + path, or https for a certificate server.
  std::string Url(std::string_view path = "/") const;

 private:
  std::unique_ptr<httplib::Server> server_;
  std::string scheme_;
  int port_ = 0;
  std::thread thread_;
};

}  // namespace morvane::test
