// window_snapshot PREFIX: renders the window once per tab into PREFIX-N.png,
// for looking at the layout and the fonts without a desktop (run it with
// QT_QPA_PLATFORM=offscreen). Not a test: it checks nothing.

#include <QApplication>
#include <QPixmap>
#include <QTabWidget>
#include <QTest>
#include <cstdio>

#include "test_window.h"

int main(int argc, char** argv) {
  QApplication application(argc, argv);
  if (argc != 2) {
    std::fprintf(stderr, "usage: window_snapshot PREFIX\n");
    return 2;
  }
  morvane::test::TestWindow fixture;
  fixture.window->show();
  if (!QTest::qWaitForWindowExposed(fixture.window.get())) return 1;
  auto* tabs = fixture.window->findChild<QTabWidget*>();
  for (int page = 0; page < tabs->count(); ++page) {
    tabs->setCurrentIndex(page);
    QCoreApplication::processEvents();
    const QString path = QStringLiteral("%1-%2.png").arg(QString::fromLocal8Bit(argv[1])).arg(page);
    if (!fixture.window->grab().save(path)) return 1;
    std::printf("%s\n", qPrintable(path));
  }
  return 0;
}
