// morvane-emulator: serves the service emulator on loopback until it is ended
// (Ctrl+C or SIGTERM), for trying the window and the command line by hand.

#include <signal.h>

#include <chrono>
#include <cstdlib>
#include <iostream>
#include <string>
#include <string_view>

#include "service_emulator.h"

namespace {

void PrintUsage() {
  std::cout << "usage: morvane-emulator [--delay-ms N] [--notice-version V] [--fail SHAPE]...\n"
               "failure shapes: chengtong-page, chengtong-answer, lanzou-page, lanzou-frame,\n"
               "  lanzou-dom, lanzou-url, lanzou-location, baidu-page, baidu-dlink, baidu-bdclnd\n";
}

bool SetShape(morvane::emulator::EmulatorOptions& options, std::string_view shape) {
  struct Shape {
    std::string_view name;
    bool morvane::emulator::EmulatorOptions::*flag;
  };
  using Options = morvane::emulator::EmulatorOptions;
  static constexpr Shape kShapes[] = {
      {"chengtong-page", &Options::chengtongPageWithoutValues},
      {"chengtong-answer", &Options::chengtongAnswerWithoutDownurl},
      {"lanzou-page", &Options::lanzouPageWithoutFrame},
      {"lanzou-frame", &Options::lanzouFrameWithoutValues},
      {"lanzou-dom", &Options::lanzouAnswerWithoutDom},
      {"lanzou-url", &Options::lanzouAnswerWithoutUrl},
      {"lanzou-location", &Options::lanzouFileWithoutLocation},
      {"baidu-page", &Options::baiduPageWithoutData},
      {"baidu-dlink", &Options::baiduAnswerWithoutDlink},
      {"baidu-bdclnd", &Options::baiduSetsBdclnd},
  };
  for (const auto& known : kShapes) {
    if (known.name == shape) {
      options.*known.flag = true;
      return true;
    }
  }
  return false;
}

}  // namespace

int main(int argc, char** argv) {
  morvane::emulator::EmulatorOptions options;
  for (int i = 1; i < argc; ++i) {
    std::string_view argument = argv[i];
    bool hasValue = i + 1 < argc;
    if (argument == "--delay-ms" && hasValue) {
      options.delay = std::chrono::milliseconds(std::atoi(argv[++i]));
    } else if (argument == "--notice-version" && hasValue) {
      options.noticeVersion = argv[++i];
    } else if (argument == "--fail" && hasValue && SetShape(options, argv[i + 1])) {
      ++i;
    } else {
      PrintUsage();
      return argument == "--help" ? 0 : 2;
    }
  }

  // Block the ending signals before any server thread starts, so that only
  // sigwait below receives them.
  sigset_t endSignals;
  sigemptyset(&endSignals);
  sigaddset(&endSignals, SIGINT);
  sigaddset(&endSignals, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &endSignals, nullptr);

  morvane::emulator::ServiceEmulator emulator(options);
  if (!emulator.Running()) {
    std::cerr << "morvane-emulator: the loopback servers did not start\n";
    return 1;
  }
  std::cout << "http base:      " << emulator.HttpBase() << "\n"
            << "https base:     " << emulator.HttpsBase() << "\n"
            << "certificate:    " << emulator.CertificateFile() << "\n"
            << "lanzou host:    " << emulator.HttpsHost() << "\n"
            << "baidu host:     " << emulator.HttpHost() << "\n"
            << "notice page:    " << emulator.NoticeUrl() << "\n"
            << "chengtong share: " << emulator.ChengtongShareUrl() << "\n"
            << "lanzou share:    " << emulator.LanzouShareUrl() << "\n"
            << "baidu share:     " << emulator.BaiduShareUrl() << "\n"
            << std::flush;
  emulator.SetObserver([](const morvane::emulator::RecordedRequest& request) {
    std::cout << request.scheme << " " << request.method << " " << request.target << std::endl;
  });

  int received = 0;
  sigwait(&endSignals, &received);
  return 0;
}
