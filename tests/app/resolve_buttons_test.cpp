// The three "解析" buttons against the loopback service emulator: each click
// reaches its handler and the handler's result reaches the window.

#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTest>
#include <QTimer>

#include "app/application.h"
#include "http/pending_events.h"
#include "service_emulator.h"
#include "test_window.h"

using morvane::Settings;
using morvane::emulator::EmulatorOptions;
using morvane::emulator::ServiceEmulator;
using morvane::test::Q;
using morvane::test::TestWindow;
namespace controls = morvane::controls;

namespace {

enum class Service { kBaidu, kChengtong, kLanzou };

struct Tab {
  int page;
  std::string_view address, button, result;
};

Tab TabOf(Service service) {
  switch (service) {
    case Service::kBaidu:
      return {0, controls::kBaiduAddress, controls::kBaiduButton, controls::kBaiduResult};
    case Service::kChengtong:
      return {1, controls::kChengtongAddress, controls::kChengtongButton,
              controls::kChengtongResult};
    case Service::kLanzou:
      break;
  }
  return {2, controls::kLanzouAddress, controls::kLanzouButton, controls::kLanzouResult};
}

Settings SettingsFor(const ServiceEmulator& emulator) {
  Settings settings;
  settings.lanzouHost = emulator.HttpsHost();
  settings.baiduHost = emulator.HttpHost();
  settings.http.caFile = ServiceEmulator::CertificateFile();
  return settings;
}

}  // namespace

Q_DECLARE_METATYPE(Service)
Q_DECLARE_METATYPE(EmulatorOptions)

class ResolveButtonsTest : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase();
  void cleanupTestCase() { morvane::SetPendingEventsHook({}); }
  void clickFillsTheResultBox_data();
  void clickFillsTheResultBox();
  void windowIsServedWhileABaiduFetchWaits();

 private:
  // Shows the tab with its address box holding the share address and its
  // result box an earlier result; returns the tab's button.
  QPushButton* Prepare(TestWindow& fixture, Service service, const QString& shareUrl);
};

void ResolveButtonsTest::initTestCase() {
  // As in the program: a Baidu fetch serves the window's events while it waits.
  morvane::InstallPendingEventsHook();
}

QPushButton* ResolveButtonsTest::Prepare(TestWindow& fixture, Service service,
                                         const QString& shareUrl) {
  const Tab tab = TabOf(service);
  fixture.window->show();
  if (!QTest::qWaitForWindowExposed(fixture.window.get())) return nullptr;
  fixture.window->findChild<QTabWidget*>()->setCurrentIndex(tab.page);
  fixture.Find<QLineEdit>(tab.address)->setText(shareUrl);
  fixture.Find<QPlainTextEdit>(tab.result)->setPlainText("earlier result");
  auto* button = fixture.Find<QPushButton>(tab.button);
  return button != nullptr && button->isVisible() ? button : nullptr;
}

void ResolveButtonsTest::clickFillsTheResultBox_data() {
  QTest::addColumn<Service>("service");
  QTest::addColumn<EmulatorOptions>("options");
  // "address" for the share's download address, "" for an emptied box,
  // "unchanged" when the box keeps the earlier result.
  QTest::addColumn<QString>("expected");
  QTest::addColumn<QStringList>("messages");

  const QStringList none;
  const QStringList failed{Q("box:信息：:解析失败")};
  EmulatorOptions healthy;
  EmulatorOptions withoutDownurl;
  withoutDownurl.chengtongAnswerWithoutDownurl = true;
  EmulatorOptions withoutLocation;
  withoutLocation.lanzouFileWithoutLocation = true;
  EmulatorOptions withoutFrame;
  withoutFrame.lanzouPageWithoutFrame = true;
  EmulatorOptions withoutDlink;
  withoutDlink.baiduAnswerWithoutDlink = true;
  EmulatorOptions withoutData;
  withoutData.baiduPageWithoutData = true;

  QTest::newRow("baidu") << Service::kBaidu << healthy << "address" << none;
  QTest::newRow("chengtong") << Service::kChengtong << healthy << "address" << none;
  QTest::newRow("lanzou") << Service::kLanzou << healthy << "address" << none;
  QTest::newRow("baidu without dlink") << Service::kBaidu << withoutDlink << "" << none;
  QTest::newRow("chengtong without downurl") << Service::kChengtong << withoutDownurl << "" << none;
  QTest::newRow("lanzou without location") << Service::kLanzou << withoutLocation << "" << none;
  QTest::newRow("baidu without page data") << Service::kBaidu << withoutData << "" << failed;
  QTest::newRow("lanzou without frame")
      << Service::kLanzou << withoutFrame << "unchanged" << failed;
}

void ResolveButtonsTest::clickFillsTheResultBox() {
  QFETCH(Service, service);
  QFETCH(EmulatorOptions, options);
  QFETCH(QString, expected);
  QFETCH(QStringList, messages);
  ServiceEmulator emulator(options);
  QVERIFY(emulator.Running());
  TestWindow fixture(SettingsFor(emulator));

  std::string shareUrl, downloadUrl;
  switch (service) {
    case Service::kBaidu:
      shareUrl = emulator.BaiduShareUrl();
      downloadUrl = emulator.Baidu().downloadUrl;
      break;
    case Service::kChengtong:
      shareUrl = emulator.ChengtongShareUrl();
      downloadUrl = emulator.Chengtong().downloadUrl;
      break;
    case Service::kLanzou:
      shareUrl = emulator.LanzouShareUrl();
      downloadUrl = emulator.Lanzou().downloadUrl;
      break;
  }
  if (expected == "address") expected = QString::fromStdString(downloadUrl);
  if (expected == "unchanged") expected = "earlier result";

  QPushButton* button = Prepare(fixture, service, QString::fromStdString(shareUrl));
  QVERIFY(button != nullptr);
  QTest::mouseClick(button, Qt::LeftButton);
  auto* result = fixture.Find<QPlainTextEdit>(TabOf(service).result);
  if (service == Service::kLanzou) {
    // The Lanzou handler returns at once; its thread delivers the outcome.
    if (messages.isEmpty()) {
      QTRY_COMPARE(result->toPlainText(), expected);
    } else {
      QTRY_COMPARE(fixture.events, messages);
      QCOMPARE(result->toPlainText(), expected);
    }
  } else {
    QCOMPARE(result->toPlainText(), expected);
    QCOMPARE(fixture.events, messages);
  }
}

void ResolveButtonsTest::windowIsServedWhileABaiduFetchWaits() {
  EmulatorOptions slow;
  slow.delay = std::chrono::milliseconds(300);
  ServiceEmulator emulator(slow);
  QVERIFY(emulator.Running());
  TestWindow fixture(SettingsFor(emulator));

  QPushButton* button =
      Prepare(fixture, Service::kBaidu, QString::fromStdString(emulator.BaiduShareUrl()));
  QVERIFY(button != nullptr);
  bool clickReturned = false;
  bool servedDuringFetch = false;
  QTimer::singleShot(50, this, [&] { servedDuringFetch = !clickReturned; });
  QTest::mouseClick(button, Qt::LeftButton);
  clickReturned = true;
  QVERIFY(servedDuringFetch);
  QCOMPARE(fixture.Find<QPlainTextEdit>(controls::kBaiduResult)->toPlainText(),
           QString::fromStdString(emulator.Baidu().downloadUrl));
}

QTEST_MAIN(ResolveButtonsTest)
#include "resolve_buttons_test.moc"
