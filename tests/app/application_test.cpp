// Process-wide pieces of the window program: the pending-events hook and the
// exit routine.

#include <QCoreApplication>
#include <QTest>
#include <thread>

#include "app/application.h"
#include "app/process_exit.h"
#include "http/pending_events.h"

class ApplicationTest : public QObject {
  Q_OBJECT

 private slots:
  void pendingEventsAreServedOnlyOnTheWindowThread();
  void exitRoutineRunsOnce();
};

void ApplicationTest::pendingEventsAreServedOnlyOnTheWindowThread() {
  morvane::InstallPendingEventsHook();
  bool served = false;
  QMetaObject::invokeMethod(
      qApp, [&served] { served = true; }, Qt::QueuedConnection);

  // A Lanzou thread fetching must not run the window's events.
  std::thread worker([] { morvane::ProcessPendingEvents(); });
  worker.join();
  QVERIFY(!served);

  // A Baidu fetch on the window's thread serves them.
  morvane::ProcessPendingEvents();
  QVERIFY(served);
  morvane::SetPendingEventsHook({});
}

void ApplicationTest::exitRoutineRunsOnce() {
  morvane::ProcessState& state = morvane::TheProcessState();
  state.baiduResolver = std::make_unique<morvane::BaiduResolver>(state.settings);
  morvane::OnProcessExit();
  QVERIFY(state.baiduResolver == nullptr);

  // Once the process is ending, later calls change nothing.
  state.baiduResolver = std::make_unique<morvane::BaiduResolver>(state.settings);
  morvane::OnProcessExit();
  QVERIFY(state.baiduResolver != nullptr);
  state.baiduResolver.reset();
}

QTEST_MAIN(ApplicationTest)
#include "application_test.moc"
