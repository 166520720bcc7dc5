// The start-up update check against a notice page served on loopback.

#include <arpa/inet.h>
#include <httplib.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QTest>
#include <mutex>
#include <thread>

#include "test_window.h"
#include "text/charset.h"

using morvane::Settings;
using morvane::test::Q;
using morvane::test::TestWindow;

namespace {

// Serves one notice page whose body the test chooses.
class NoticeServer {
 public:
  NoticeServer() {
    server_.Get("/notice.html", [this](const httplib::Request&, httplib::Response& response) {
      std::lock_guard lock(mutex_);
      response.set_content(body_, "text/html; charset=utf-8");
    });
    port_ = server_.bind_to_any_port("127.0.0.1");
    // Already listening: connections queue until the loop accepts them.
    thread_ = std::thread([this] { server_.listen_after_bind(); });
  }
  ~NoticeServer() {
    while (!server_.is_running()) std::this_thread::yield();
    server_.stop();
    thread_.join();
  }
  void SetBody(std::string body) {
    std::lock_guard lock(mutex_);
    body_ = std::move(body);
  }
  std::string Url() const { return "http://127.0.0.1:" + std::to_string(port_) + "/notice.html"; }

 private:
  httplib::Server server_;
  std::mutex mutex_;
  std::string body_;
  int port_ = -1;
  std::thread thread_;
};

// A port on loopback where nothing listens.
int ClosedPort() {
  const int probe = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  ::bind(probe, reinterpret_cast<sockaddr*>(&address), length);
  ::getsockname(probe, reinterpret_cast<sockaddr*>(&address), &length);
  ::close(probe);  // bound but never listening: connections are refused
  return ntohs(address.sin_port);
}

constexpr char kDownloadUrl[] = "http://127.0.0.1:9/download.html";

}  // namespace

class UpdateCheckTest : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase() { QVERIFY(server_ != nullptr); }
  void outcomes_data();
  void outcomes();
  void unreachablePageLeavesTheWindowUsable();

 private:
  std::unique_ptr<NoticeServer> server_ = std::make_unique<NoticeServer>();
};

void UpdateCheckTest::outcomes_data() {
  QTest::addColumn<QString>("versionBox");
  QTest::addColumn<QByteArray>("page");
  QTest::addColumn<bool>("announcesOther");

  const QByteArray head = "<html><body><p>最新版本：";
  QTest::newRow("same version") << "1.0" << head + "dlbmlkzs[1.0]</p>" << false;
  QTest::newRow("newer version") << "1.0" << head + "dlbmlkzs[1.1]</p>" << true;
  QTest::newRow("older version counts too") << "1.0" << head + "dlbmlkzs[0.9]</p>" << true;
  QTest::newRow("trailing blank differs") << "1.0" << head + "dlbmlkzs[1.0 ]</p>" << true;
  QTest::newRow("first marker counts") << "1.0" << head + "dlbmlkzs[1.0] dlbmlkzs[2.0]" << false;
  QTest::newRow("reads the version box") << "2.0" << head + "dlbmlkzs[2.0]" << false;
  // A page that names no version says nothing about newer ones.
  QTest::newRow("no start marker") << "1.0" << head + "1.1</p>" << false;
  QTest::newRow("no end marker") << "1.0" << head + "dlbmlkzs[1.1</p>" << false;
  QTest::newRow("empty version") << "1.0" << head + "dlbmlkzs[]" << false;
  QTest::newRow("empty page") << "1.0" << QByteArray() << false;
}

void UpdateCheckTest::outcomes() {
  QFETCH(QString, versionBox);
  QFETCH(QByteArray, page);
  QFETCH(bool, announcesOther);
  // The notice page is written in the Chinese code page, as the texts it is
  // compared with are.
  server_->SetBody(morvane::Utf8ToGbk(std::string_view(page.constData(), page.size())));
  Settings settings;
  settings.updateUrl = server_->Url();
  settings.downloadUrl = kDownloadUrl;
  TestWindow fixture(settings);
  fixture.window->SetControlText(Q(morvane::controls::kVersion), versionBox);

  fixture.window->OnCreated();

  if (announcesOther) {
    QCOMPARE(fixture.events,
             QStringList({Q("box:提示:当前不是最新版本软件已更新，接下来会打开最新版下载地址！"),
                          QString("open:") + kDownloadUrl, "exit:0"}));
  } else {
    QCOMPARE(fixture.events, QStringList());
  }
}

void UpdateCheckTest::unreachablePageLeavesTheWindowUsable() {
  Settings settings;
  settings.updateUrl = "http://127.0.0.1:" + std::to_string(ClosedPort()) + "/notice.html";
  TestWindow fixture(settings);
  fixture.window->OnCreated();
  QCOMPARE(fixture.events, QStringList());
}

QTEST_MAIN(UpdateCheckTest)
#include "update_check_test.moc"
