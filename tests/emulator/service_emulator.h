#pragma once
// A loopback stand-in for the three cloud services and the update-notice page,
// served over HTTP and HTTPS at once. It answers the exchanges the resolvers
// make with pages shaped like the real ones (UTF-8, Chinese text, values split
// over lines), checks the values a client sends back, and records every request
// so that tests can assert on what was sent and on what must never be sent.

#include <chrono>
#include <condition_variable>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "recording_server.h"

namespace morvane::emulator {

// Failure shapes and timing; every switch is off in a healthy emulator.
struct EmulatorOptions {
  bool chengtongPageWithoutValues = false;     // share page lacks abuse?uid= and free_down(
  bool chengtongAnswerWithoutDownurl = false;  // interface answers without "downurl"
  bool lanzouPageWithoutFrame = false;         // share page lacks the frame element
  bool lanzouFrameWithoutValues = false;       // frame page lacks the four form values
  bool lanzouAnswerWithoutDom = false;         // /ajaxm.php answers without "dom"
  bool lanzouAnswerWithoutUrl = false;         // /ajaxm.php answers without "url"
  bool lanzouFileWithoutLocation = false;      // /file/ answers 200 without Location
  bool baiduPageWithoutData = false;           // share page lacks yunData.setData(...);
  bool baiduAnswerWithoutDlink = false;        // /api/sharedownload answers without "dlink"
  // The share is password protected: every share page sets a BDCLND cookie and
  // the interface answers only a form whose extra carries that value as sekey.
  bool baiduSetsBdclnd = false;
  std::chrono::milliseconds delay{0};  // waited before every answer
  // A further wait chosen per request, so that answers to a burst of clients
  // come back in a mixed order. Runs on the server's thread before the answer
  // and may itself block (a test's gate); the emulator's end cuts short only
  // the wait it returns.
  std::function<std::chrono::milliseconds(const RecordedRequest&)> delayOf = {};
  // Requests each server answers at once; 0 keeps httplib's pool size.
  int serverThreads = 0;
  std::string noticeVersion = "1.0";  // announced as "dlbmlkzs[" version "]"
};

// The values a share's pages carry and the address it resolves to.
struct ChengtongShare {
  std::string uid, fid, fileChk, downloadUrl;
};
struct LanzouShare {
  std::string framePath;  // without the leading "/"
  std::string action, fileId, t, k;
  std::string dom, url, downloadUrl;
};
struct BaiduShare {
  std::string sign, timestamp, bdstoken, uk, shareid, fsId, appId, bdclnd, downloadUrl;
};

class ServiceEmulator {
 public:
  static constexpr std::string_view kChengtongShareId = "tempdir-Ab12Cd34Ef";
  static constexpr std::string_view kLanzouShareId = "iRuSh0a1b2c";
  static constexpr std::string_view kBaiduShareId = "AbCdEfGh1234567890";

  // Starts both servers on ephemeral loopback ports; Running() tells whether
  // they came up.
  explicit ServiceEmulator(EmulatorOptions options = {});
  ~ServiceEmulator();
  ServiceEmulator(const ServiceEmulator&) = delete;
  ServiceEmulator& operator=(const ServiceEmulator&) = delete;

  bool Running() const;
  int HttpPort() const { return httpPort_; }
  int HttpsPort() const { return httpsPort_; }
  std::string HttpHost() const;   // "127.0.0.1:<port>"
  std::string HttpsHost() const;  // "127.0.0.1:<port>"
  std::string HttpBase() const { return "http://" + HttpHost(); }
  std::string HttpsBase() const { return "https://" + HttpsHost(); }
  // The PEM certificate the HTTPS server presents (also its own CA).
  static std::string CertificateFile();

  EmulatorOptions Options() const;
  void SetOptions(EmulatorOptions options);

  // Share addresses of this emulator; different ids are different files.
  std::string ChengtongShareUrl(std::string_view shareId = kChengtongShareId,
                                bool https = true) const;
  std::string LanzouShareUrl(std::string_view shareId = kLanzouShareId, bool https = true) const;
  std::string BaiduShareUrl(std::string_view shareId = kBaiduShareId, bool https = true) const;
  std::string NoticeUrl() const;

  ChengtongShare Chengtong(std::string_view shareId = kChengtongShareId) const;
  LanzouShare Lanzou(std::string_view shareId = kLanzouShareId) const;
  BaiduShare Baidu(std::string_view shareId = kBaiduShareId) const;

  // Every request so far, in order of arrival (the moment its head was read).
  std::vector<RecordedRequest> Requests() const;
  // Those whose path starts with pathPrefix.
  std::vector<RecordedRequest> RequestsTo(std::string_view pathPrefix) const;
  void ClearRequests();
  // Called on the server's thread with every request as it arrives.
  void SetObserver(std::function<void(const RecordedRequest&)> observer);

 private:
  using Handler = std::function<void(const httplib::Request&, httplib::Response&,
                                     const EmulatorOptions&, std::string_view scheme)>;
  void Install(httplib::Server& server, std::string_view scheme);
  httplib::Server::Handler Wrap(std::string_view scheme, Handler handler);
  RecordedRequest Record(const httplib::Request& request, std::string_view scheme);
  void Delay(std::chrono::milliseconds delay);

  void ChengtongPage(const httplib::Request&, httplib::Response&, const EmulatorOptions&);
  void ChengtongInterface(const httplib::Request&, httplib::Response&, const EmulatorOptions&);
  void LanzouPage(const httplib::Request&, httplib::Response&, const EmulatorOptions&);
  void LanzouFrame(const httplib::Request&, httplib::Response&, const EmulatorOptions&);
  void LanzouInterface(const httplib::Request&, httplib::Response&, const EmulatorOptions&);
  void LanzouFile(const httplib::Request&, httplib::Response&, const EmulatorOptions&);
  void BaiduPage(const httplib::Request&, httplib::Response&, const EmulatorOptions&);
  void BaiduInterface(const httplib::Request&, httplib::Response&, const EmulatorOptions&);
  void NoticePage(const httplib::Request&, httplib::Response&, const EmulatorOptions&);

  std::string Page(const std::string& name) const;

  mutable std::mutex mutex_;
  std::condition_variable stopping_;
  bool stopped_ = false;
  EmulatorOptions options_;
  std::vector<RecordedRequest> requests_;
  std::function<void(const RecordedRequest&)> observer_;
  // Shares whose pages were served, keyed by a value the client sends back.
  std::map<std::string, std::string> chengtongByFid_, lanzouByFrame_, lanzouByFileId_,
      lanzouByToken_, baiduBySign_;
  int baiduCookieCount_ = 0;

  std::map<std::string, std::string> pages_;
  std::unique_ptr<RecordingServer> http_;
  std::unique_ptr<RecordingSslServer> https_;
  int httpPort_ = -1;
  int httpsPort_ = -1;
  std::thread httpThread_;
  std::thread httpsThread_;
};

}  // namespace morvane::emulator
