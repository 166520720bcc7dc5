#include "app/application.h"

#include <QApplication>
#include <QCoreApplication>
#include <QIcon>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <thread>

#include "app/command_line.h"
#include "app/main_window.h"
#include "app/process_exit.h"
#include "http/pending_events.h"
#include "version.h"

namespace morvane {
namespace {

void RunExitRoutine() { OnProcessExit(); }

}  // namespace

void InstallPendingEventsHook() {
  const std::thread::id windowThread = std::this_thread::get_id();
  SetPendingEventsHook([windowThread] {
    if (std::this_thread::get_id() != windowThread) return;
    if (QCoreApplication::instance() == nullptr) return;
    QCoreApplication::processEvents();
  });
}

namespace {

// Prints what the options asked for, or what is wrong with them, and ends the
// process; returns only when the window is to run.
void HandleCommandLineAction(const CommandLine& commandLine) {
  switch (commandLine.action) {
    case CommandLine::Action::kRun:
      return;
    case CommandLine::Action::kShowHelp:
    case CommandLine::Action::kShowVersion:
      std::fputs(qPrintable(commandLine.message + '\n'), stdout);
      std::fflush(stdout);
      std::_Exit(0);
    case CommandLine::Action::kUsageError:
      std::fprintf(stderr, "morvane: %s\nTry 'morvane --help'.\n", qPrintable(commandLine.message));
      std::fflush(stderr);
      std::_Exit(2);
  }
}

}  // namespace

void RunApplication(int argc, char** argv) {
  // --help and --version need no display, so they are answered before the
  // toolkit connects to one.
  QStringList rawArguments;
  for (int i = 0; i < argc; ++i) rawArguments << QString::fromLocal8Bit(argv[i]);
  if (const CommandLine early = ParseCommandLine(rawArguments);
      early.action == CommandLine::Action::kShowHelp ||
      early.action == CommandLine::Action::kShowVersion) {
    HandleCommandLineAction(early);
  }

  QApplication application(argc, argv);
  QApplication::setApplicationName(QStringLiteral("morvane"));
  QApplication::setApplicationVersion(QString::fromUtf8(kVersion.data(), kVersion.size()));
  QApplication::setWindowIcon(QIcon(QStringLiteral(":/icons/morvane.png")));
  // Parsed again without the toolkit's own options (-platform, -style, ...).
  const CommandLine commandLine = ParseCommandLine(QCoreApplication::arguments());
  HandleCommandLineAction(commandLine);

  ProcessState& state = TheProcessState();
  state.settings = commandLine.settings;
  state.baiduResolver = std::make_unique<BaiduResolver>(state.settings);
  // Whatever ends the process through exit() still releases the state.
  std::atexit(RunExitRoutine);
  InstallPendingEventsHook();

  // A hidden window and a closed worker message box must not end the program:
  // only closing the window does.
  application.setQuitOnLastWindowClosed(false);
  auto window =
      std::make_unique<MainWindow>(state.settings, *state.baiduResolver, state.lanzouHandler);
  QObject::connect(window.get(), &MainWindow::closed, &application, &QCoreApplication::quit);
  // The created event: every control exists, nothing is shown yet, so the user
  // cannot act before the check has decided.
  window->OnCreated();
  window->show();
  window->CentreOnScreen();
  const int exitCode = QApplication::exec();
  // Lanzou threads may still be waiting on the network: from here on their
  // writes are dropped, and the process ends without tearing down globals.
  window.reset();
  EndProcess(exitCode);
}

}  // namespace morvane
