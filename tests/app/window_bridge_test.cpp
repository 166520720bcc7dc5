// The window operations: GBK on the core's side, Qt strings on the window's,
// writes and message boxes from other threads, and calls that arrive after
// the window is gone.

#include <QApplication>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <atomic>
#include <thread>

#include "app/window_bridge.h"
#include "test_window.h"
#include "text/charset.h"

using morvane::Text;
using morvane::Utf8ToGbk;
using morvane::WindowBridge;
using morvane::test::Q;
using morvane::test::TestWindow;
namespace controls = morvane::controls;

namespace {

// The message boxes currently on screen.
QList<QMessageBox*> OpenBoxes() {
  QList<QMessageBox*> boxes;
  for (QWidget* widget : QApplication::topLevelWidgets()) {
    if (auto* box = qobject_cast<QMessageBox*>(widget); box != nullptr && box->isVisible()) {
      boxes << box;
    }
  }
  return boxes;
}

// What a box offers the user besides its text.
void VerifyPlainOkBox(QMessageBox* box) {
  QCOMPARE(box->icon(), QMessageBox::NoIcon);
  QCOMPARE(box->standardButtons(), QMessageBox::StandardButtons(QMessageBox::Ok));
  QCOMPARE(box->buttons().size(), 1);
  QVERIFY(box->parentWidget() == nullptr);
}

}  // namespace

class WindowBridgeTest : public QObject {
  Q_OBJECT

 private slots:
  void convertsBetweenGbkAndTheControls();
  void writesAndReadsFromAnotherThreadReachTheWindow();
  void callsAfterTheWindowIsGoneAreDropped();
  void queuedWriteDroppedWithTheWindow();
  void boxOnTheWindowThreadIsApplicationModal();
  void boxFromAWorkerLeavesTheWindowUsable();
  void destroyingTheWindowReleasesAWaitingWorker();
  void presenterSeamAnswersForBothThreads();
};

void WindowBridgeTest::convertsBetweenGbkAndTheControls() {
  TestWindow fixture;
  WindowBridge& window = *fixture.window->windowOperations();

  const Text address = Utf8ToGbk(std::string_view("https://pan.example/s/分享?pwd=提取码"));
  window.WriteControlText(controls::kBaiduAddress, address);
  QCOMPARE(fixture.Find<QLineEdit>(controls::kBaiduAddress)->text(),
           Q("https://pan.example/s/分享?pwd=提取码"));
  QCOMPARE(window.ReadControlText(controls::kBaiduAddress), address);
  QCOMPARE(window.ReadControlText(controls::kVersion), Text("1.0"));

  // Result boxes speak CR LF to the core, like the edit boxes it was made for.
  auto* result = fixture.Find<QPlainTextEdit>(controls::kBaiduResult);
  window.WriteControlText(controls::kBaiduResult, Utf8ToGbk(std::string_view("第一行\r\nline 2")));
  QCOMPARE(result->document()->blockCount(), 2);
  QCOMPARE(result->toPlainText(), Q("第一行\nline 2"));
  QCOMPARE(window.ReadControlText(controls::kBaiduResult),
           Utf8ToGbk(std::string_view("第一行\r\nline 2")));
  // An empty write empties a box that held an earlier result.
  window.WriteControlText(controls::kBaiduResult, "");
  QCOMPARE(result->toPlainText(), QString());

  // Names that are no control read as empty and take no write.
  window.WriteControlText("no such control", "x");
  QCOMPARE(window.ReadControlText("no such control"), Text());
}

void WindowBridgeTest::writesAndReadsFromAnotherThreadReachTheWindow() {
  TestWindow fixture;
  auto window = fixture.window->windowOperations();
  fixture.Find<QLineEdit>(controls::kLanzouAddress)->setText(Q("https://lanzou.example/共享"));

  std::atomic<bool> done{false};
  Text readBack;
  std::thread worker([&] {
    window->WriteControlText(controls::kLanzouResult,
                             Utf8ToGbk(std::string_view("https://dl.example/文件.zip")));
    readBack = window->ReadControlText(controls::kLanzouAddress);
    done = true;
  });
  // The worker's read is served by this thread's event loop.
  QTRY_VERIFY(done.load());
  worker.join();
  QCOMPARE(readBack, Utf8ToGbk(std::string_view("https://lanzou.example/共享")));
  QTRY_COMPARE(fixture.Find<QPlainTextEdit>(controls::kLanzouResult)->toPlainText(),
               Q("https://dl.example/文件.zip"));
}

void WindowBridgeTest::callsAfterTheWindowIsGoneAreDropped() {
  std::shared_ptr<WindowBridge> window;
  {
    TestWindow fixture({}, /*answerMessageBoxes=*/false);
    window = fixture.window->windowOperations();
  }
  // A Lanzou thread that finishes late still holds the bridge.
  Text readBack = "unread";
  std::thread worker([&] {
    window->WriteControlText(controls::kLanzouResult, "late");
    readBack = window->ReadControlText(controls::kLanzouResult);
    window->ShowMessageBox("late", "");  // returns at once: nobody could answer it
  });
  worker.join();
  QCOMPARE(readBack, Text());
  window->WriteControlText(controls::kLanzouResult, "late");
  window->ShowMessageBox("late", "");
  QCoreApplication::processEvents();
  QVERIFY(OpenBoxes().isEmpty());
}

void WindowBridgeTest::queuedWriteDroppedWithTheWindow() {
  auto fixture = std::make_unique<TestWindow>();
  auto window = fixture->window->windowOperations();
  std::thread worker([&] { window->WriteControlText(controls::kLanzouResult, "queued"); });
  worker.join();
  // The write is queued for the window, which goes before it is delivered.
  fixture.reset();
  QCoreApplication::processEvents();
  QCoreApplication::sendPostedEvents();
}

void WindowBridgeTest::boxOnTheWindowThreadIsApplicationModal() {
  TestWindow fixture({}, /*answerMessageBoxes=*/false);
  fixture.window->show();
  QVERIFY(QTest::qWaitForWindowExposed(fixture.window.get()));

  QString caption, text;
  bool windowBlocked = false;
  QTimer::singleShot(0, this, [&] {
    const QList<QMessageBox*> boxes = OpenBoxes();
    QCOMPARE(boxes.size(), 1);
    QMessageBox* box = boxes.first();
    caption = box->windowTitle();
    text = box->text();
    VerifyPlainOkBox(box);
    windowBlocked =
        QApplication::activeModalWidget() == box && box->windowModality() == Qt::ApplicationModal;
    QTest::mouseClick(box->button(QMessageBox::Ok), Qt::LeftButton);
  });
  fixture.window->windowOperations()->ShowMessageBox(Utf8ToGbk(std::string_view("解析失败")), "");
  QCOMPARE(caption, Q("信息："));
  QCOMPARE(text, Q("解析失败"));
  QVERIFY(windowBlocked);
  QVERIFY(OpenBoxes().isEmpty());
}

void WindowBridgeTest::boxFromAWorkerLeavesTheWindowUsable() {
  TestWindow fixture({}, /*answerMessageBoxes=*/false);
  fixture.window->show();
  QVERIFY(QTest::qWaitForWindowExposed(fixture.window.get()));
  auto window = fixture.window->windowOperations();

  std::atomic<bool> answered{false};
  std::thread worker([&] {
    window->ShowMessageBox(Utf8ToGbk(std::string_view("解析失败")), "");
    answered = true;
  });
  QTRY_COMPARE(OpenBoxes().size(), 1);
  QMessageBox* box = OpenBoxes().first();
  QCOMPARE(box->windowTitle(), Q("信息："));
  QCOMPARE(box->text(), Q("解析失败"));
  VerifyPlainOkBox(box);

  // While the worker waits, the window still takes the user's clicks.
  QVERIFY(QApplication::activeModalWidget() == nullptr);
  auto* address = fixture.Find<QLineEdit>(controls::kBaiduAddress);
  address->setText("typed");
  QTest::mouseClick(fixture.Find<QPushButton>(controls::kClearAll), Qt::LeftButton);
  QCOMPARE(address->text(), QString());
  QVERIFY(!answered.load());

  QTest::mouseClick(box->button(QMessageBox::Ok), Qt::LeftButton);
  QTRY_VERIFY(answered.load());
  worker.join();
  QTRY_VERIFY(OpenBoxes().isEmpty());
}

void WindowBridgeTest::destroyingTheWindowReleasesAWaitingWorker() {
  auto fixture = std::make_unique<TestWindow>(morvane::Settings{}, false);
  auto window = fixture->window->windowOperations();
  std::atomic<bool> returned{false};
  std::thread worker([&] {
    window->ShowMessageBox("waiting", "");
    returned = true;
  });
  QTRY_COMPARE(OpenBoxes().size(), 1);
  fixture.reset();
  QTRY_VERIFY(returned.load());
  worker.join();
  QVERIFY(OpenBoxes().isEmpty());
}

void WindowBridgeTest::presenterSeamAnswersForBothThreads() {
  TestWindow fixture;
  auto window = fixture.window->windowOperations();
  window->ShowMessageBox(Utf8ToGbk(std::string_view("当前不是最新版本")),
                         Utf8ToGbk(std::string_view("提示")));
  std::atomic<bool> done{false};
  std::thread worker([&] {
    window->ShowMessageBox(Utf8ToGbk(std::string_view("解析失败")), "");
    done = true;
  });
  QTRY_VERIFY(done.load());
  worker.join();
  QCOMPARE(fixture.events, QStringList({Q("box:提示:当前不是最新版本"), Q("box:信息：:解析失败")}));
  QVERIFY(OpenBoxes().isEmpty());
}

QTEST_MAIN(WindowBridgeTest)
#include "window_bridge_test.moc"
