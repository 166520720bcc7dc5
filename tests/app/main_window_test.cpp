// The window's controls, clear-all, the frame, and hiding behind the
// notification-area icon.

#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QSignalSpy>
#include <QStackedWidget>
#include <QSystemTrayIcon>
#include <QTabWidget>
#include <QTest>
#include <QTextBlock>
#include <QTextLayout>

#include "test_window.h"

using morvane::MainWindow;
using morvane::test::Q;
using morvane::test::TestWindow;
namespace controls = morvane::controls;

namespace {

// A widget's parent as the control table names it: a control's own name, or
// "高级选择夹1/<caption>" for a page of the tab control.
QString ParentName(const QWidget* widget) {
  const QWidget* parent = widget->parentWidget();
  if (parent == nullptr) return {};
  if (!parent->objectName().isEmpty() && parent->objectName() != "qt_tabwidget_stackedwidget") {
    return parent->objectName();
  }
  const auto* stack = qobject_cast<const QStackedWidget*>(parent->parentWidget());
  const auto* tabs =
      stack != nullptr ? qobject_cast<const QTabWidget*>(stack->parentWidget()) : nullptr;
  if (tabs == nullptr) return QStringLiteral("?");
  return tabs->objectName() + '/' + tabs->tabText(tabs->indexOf(const_cast<QWidget*>(parent)));
}

QString ShownText(const QWidget* widget) {
  if (auto* line = qobject_cast<const QLineEdit*>(widget)) return line->text();
  if (auto* lines = qobject_cast<const QPlainTextEdit*>(widget)) return lines->toPlainText();
  if (auto* button = qobject_cast<const QPushButton*>(widget)) return button->text();
  if (auto* label = qobject_cast<const QLabel*>(widget)) return label->text();
  if (auto* group = qobject_cast<const QGroupBox*>(widget)) return group->title();
  if (auto* tabs = qobject_cast<const QTabWidget*>(widget)) {
    QStringList captions;
    for (int i = 0; i < tabs->count(); ++i) captions << tabs->tabText(i);
    return captions.join(',');
  }
  return QStringLiteral("?");
}

const std::string_view kClearedBoxes[] = {controls::kBaiduAddress,    controls::kBaiduResult,
                                          controls::kChengtongResult, controls::kChengtongAddress,
                                          controls::kLanzouResult,    controls::kLanzouAddress};

}  // namespace

class MainWindowTest : public QObject {
  Q_OBJECT

 private slots:
  void controlsMatchTheTable_data();
  void controlsMatchTheTable();
  void editBoxesBehaveAsSpecified();
  void windowHasFixedFrameTitleIconAndCentre();
  void clearAllEmptiesSixBoxesInOrder();
  void minimisingHidesBehindTheIconAndCodeOneRestores();
  void movingWithoutMinimisingShowsNoIcon();
  void withoutNotificationAreaMinimisingKeepsTheWindow();
  void realNotificationAreaShowsTheIcon();
  void closingTheWindowAsksToEndTheProcess();
};

void MainWindowTest::controlsMatchTheTable_data() {
  QTest::addColumn<QString>("kind");
  QTest::addColumn<QString>("parent");
  QTest::addColumn<QRect>("place");
  QTest::addColumn<QString>("text");

  auto row = [](const char* name, const char* kind, const char* parent, QRect place,
                const char* text) {
    QTest::newRow(name) << QString(kind) << QString::fromUtf8(parent) << place
                        << QString::fromUtf8(text);
  };
  row("版本", "QLineEdit", "MainWindow", {400, 0, 56, 16}, "1.0");
  row("透明标签4", "QLabel", "MainWindow", {368, 0, 48, 16}, "版本：");
  row("一键清空所有解析数据", "QPushButton", "MainWindow", {152, 290, 280, 24},
      "一键清空所有解析数据");
  row("高级选择夹1", "QTabWidget", "MainWindow", {16, 16, 560, 304}, "百度,诚通,蓝奏");
  row("分组框1", "QGroupBox", "高级选择夹1/百度", {44, 32, 472, 240}, "");
  row("百度云解析数据", "QPlainTextEdit", "分组框1", {72, 56, 288, 144}, "");
  row("百度云解析按钮", "QPushButton", "分组框1", {374, 13, 56, 32}, "解析");
  row("透明标签1", "QLabel", "分组框1", {11, 17, 56, 24}, "解析地址：");
  row("百度云解析地址", "QLineEdit", "分组框1", {66, 19, 304, 24}, "");
  row("分组框2", "QGroupBox", "高级选择夹1/诚通", {44, 32, 472, 240}, "");
  row("诚通网盘解析数据", "QPlainTextEdit", "分组框2", {72, 56, 288, 144}, "");
  row("诚通网盘解析按钮", "QPushButton", "分组框2", {374, 13, 56, 32}, "解析");
  row("透明标签2", "QLabel", "分组框2", {11, 17, 56, 24}, "解析地址：");
  row("诚通网盘解析地址", "QLineEdit", "分组框2", {66, 19, 304, 24}, "");
  row("分组框3", "QGroupBox", "高级选择夹1/蓝奏", {44, 32, 472, 240}, "");
  row("蓝奏解析数据", "QPlainTextEdit", "分组框3", {72, 56, 288, 144}, "");
  row("蓝奏解析数据按钮", "QPushButton", "分组框3", {374, 13, 56, 32}, "解析");
  row("透明标签3", "QLabel", "分组框3", {11, 17, 56, 24}, "解析地址：");
  row("蓝奏解析地址", "QLineEdit", "分组框3", {66, 19, 304, 24}, "");
}

void MainWindowTest::controlsMatchTheTable() {
  QFETCH(QString, kind);
  QFETCH(QString, parent);
  QFETCH(QRect, place);
  QFETCH(QString, text);
  TestWindow fixture;
  fixture.window->show();
  QVERIFY(QTest::qWaitForWindowExposed(fixture.window.get()));

  const QString name = QString::fromUtf8(QTest::currentDataTag());
  const QList<QWidget*> found = fixture.window->findChildren<QWidget*>(name);
  QCOMPARE(found.size(), 1);
  QWidget* control = found.first();
  QCOMPARE(control->metaObject()->className(), kind);
  QCOMPARE(control->accessibleName(), name);
  QCOMPARE(ParentName(control), parent);
  QCOMPARE(control->geometry(), place);
  QCOMPARE(ShownText(control), text);
  if (auto* label = qobject_cast<QLabel*>(control)) QVERIFY(!label->autoFillBackground());
}

void MainWindowTest::editBoxesBehaveAsSpecified() {
  TestWindow fixture;
  fixture.window->show();
  QVERIFY(QTest::qWaitForWindowExposed(fixture.window.get()));

  const QList<QLineEdit*> lines = fixture.window->findChildren<QLineEdit*>();
  QCOMPARE(lines.size(), 4);
  for (QLineEdit* line : lines) {
    QVERIFY2(!line->isReadOnly(), qPrintable(line->objectName()));
    QVERIFY(line->alignment() & Qt::AlignLeft);
    QCOMPARE(line->maxLength(), std::numeric_limits<int>::max());
  }

  for (std::string_view name :
       {controls::kBaiduResult, controls::kChengtongResult, controls::kLanzouResult}) {
    auto* box = fixture.Find<QPlainTextEdit>(name);
    QVERIFY(box != nullptr);
    QVERIFY(!box->isReadOnly());
    QCOMPARE(box->horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
    QCOMPARE(box->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
  }

  // Long addresses wrap at the box's width although they hold no space, and
  // Enter starts a new line.
  fixture.window->findChild<QTabWidget*>()->setCurrentIndex(2);
  auto* box = fixture.Find<QPlainTextEdit>(controls::kLanzouResult);
  box->setPlainText("https://example.com/" + QString(300, 'x'));
  QTRY_VERIFY(box->document()->firstBlock().layout()->lineCount() > 1);
  box->setFocus();
  box->moveCursor(QTextCursor::End);
  QTest::keyClick(box, Qt::Key_Return);
  QTest::keyClicks(box, "next");
  QCOMPARE(box->document()->blockCount(), 2);
  QVERIFY(box->toPlainText().endsWith("\nnext"));
}

void MainWindowTest::windowHasFixedFrameTitleIconAndCentre() {
  TestWindow fixture;
  MainWindow& window = *fixture.window;
  window.show();
  QVERIFY(QTest::qWaitForWindowExposed(&window));

  QCOMPARE(window.windowTitle(), Q("Morvane云解析工具Ver1.0"));
  QCOMPARE(window.frameGeometry().size(), QSize(599, 356));
  QCOMPARE(window.minimumSize(), window.maximumSize());
  const Qt::WindowFlags flags = window.windowFlags();
  QVERIFY(flags & Qt::WindowMinimizeButtonHint);
  QVERIFY(flags & Qt::WindowCloseButtonHint);
  QVERIFY(flags & Qt::WindowSystemMenuHint);
  QVERIFY(!(flags & Qt::WindowMaximizeButtonHint));
  QVERIFY(!window.windowIcon().isNull());
  QVERIFY(!window.windowIcon().pixmap(32, 32).isNull());

  const QRect area = window.screen()->availableGeometry();
  const QPoint offset = window.frameGeometry().center() - area.center();
  QVERIFY2(qAbs(offset.x()) <= 1 && qAbs(offset.y()) <= 1,
           qPrintable(QStringLiteral("off centre by %1,%2").arg(offset.x()).arg(offset.y())));
}

void MainWindowTest::clearAllEmptiesSixBoxesInOrder() {
  TestWindow fixture;
  fixture.window->show();
  QVERIFY(QTest::qWaitForWindowExposed(fixture.window.get()));

  QStringList writes;
  for (std::string_view name : kClearedBoxes) {
    const QString boxName = Q(name);
    if (auto* line = fixture.Find<QLineEdit>(name)) {
      line->setText("filled");
      connect(line, &QLineEdit::textChanged, this, [&writes, boxName] { writes << boxName; });
    } else {
      auto* lines = fixture.Find<QPlainTextEdit>(name);
      QVERIFY(lines != nullptr);
      lines->setPlainText("filled\nfilled");
      connect(lines, &QPlainTextEdit::textChanged, this, [&writes, boxName] { writes << boxName; });
    }
  }

  auto* clearAll = fixture.Find<QPushButton>(controls::kClearAll);
  QTest::mouseClick(clearAll, Qt::LeftButton);

  QStringList expected;
  for (std::string_view name : kClearedBoxes) expected << Q(name);
  QCOMPARE(writes, expected);
  for (std::string_view name : kClearedBoxes) {
    QCOMPARE(fixture.window->ControlText(Q(name)), QString());
  }
  QCOMPARE(fixture.Find<QLineEdit>(controls::kVersion)->text(), QStringLiteral("1.0"));
}

void MainWindowTest::minimisingHidesBehindTheIconAndCodeOneRestores() {
  TestWindow fixture;
  MainWindow& window = *fixture.window;
  window.SetTrayAvailability([] { return true; });
  window.show();
  QVERIFY(QTest::qWaitForWindowExposed(&window));
  window.move(3, 5);

  window.setWindowState(Qt::WindowMinimized);
  QTRY_VERIFY(!window.isVisible());
  QSystemTrayIcon* icon = window.trayIcon();
  QVERIFY(icon != nullptr);
  QVERIFY(icon->isVisible());
  QCOMPARE(icon->toolTip(), Q("双击图标打开软件"));
  QCOMPARE(icon->icon().cacheKey(), window.windowIcon().cacheKey());

  // Minimising again while hidden replaces the icon rather than adding one.
  window.setWindowState(Qt::WindowMinimized);
  QCoreApplication::processEvents();
  QCOMPARE(window.findChildren<QSystemTrayIcon*>().size(), 1);
  icon = window.trayIcon();

  // Right clicks, double clicks and middle clicks leave the window hidden.
  window.OnTrayIcon(3);
  window.OnTrayIcon(2);
  emit icon->activated(QSystemTrayIcon::Context);
  emit icon->activated(QSystemTrayIcon::MiddleClick);
  QCoreApplication::processEvents();
  QVERIFY(!window.isVisible());
  QVERIFY(window.trayIcon() == icon);

  // A left click on the icon (code 1) restores, centres and removes the icon.
  emit icon->activated(QSystemTrayIcon::Trigger);
  QTRY_VERIFY(window.isVisible());
  QVERIFY(!window.isMinimized());
  QVERIFY(window.trayIcon() == nullptr);
  QTRY_VERIFY(window.findChildren<QSystemTrayIcon*>().isEmpty());
  const QRect area = window.screen()->availableGeometry();
  const QPoint offset = window.frameGeometry().center() - area.center();
  QVERIFY(qAbs(offset.x()) <= 1 && qAbs(offset.y()) <= 1);
}

void MainWindowTest::movingWithoutMinimisingShowsNoIcon() {
  TestWindow fixture;
  MainWindow& window = *fixture.window;
  window.SetTrayAvailability([] { return true; });
  window.show();
  QVERIFY(QTest::qWaitForWindowExposed(&window));
  window.move(40, 30);
  window.activateWindow();
  window.OnPositionChanged();
  QCoreApplication::processEvents();
  QVERIFY(window.isVisible());
  QVERIFY(window.trayIcon() == nullptr);
}

void MainWindowTest::withoutNotificationAreaMinimisingKeepsTheWindow() {
  TestWindow fixture;
  MainWindow& window = *fixture.window;
  window.SetTrayAvailability([] { return false; });
  window.show();
  QVERIFY(QTest::qWaitForWindowExposed(&window));

  window.setWindowState(Qt::WindowMinimized);
  QCoreApplication::processEvents();
  QCoreApplication::processEvents();
  // Hidden without an icon it could never be brought back.
  QVERIFY(window.isVisible());
  QVERIFY(window.isMinimized());
  QVERIFY(window.trayIcon() == nullptr);
}

void MainWindowTest::realNotificationAreaShowsTheIcon() {
  if (!QSystemTrayIcon::isSystemTrayAvailable()) {
    QSKIP("this desktop has no notification area");
  }
  TestWindow fixture;
  MainWindow& window = *fixture.window;
  window.show();
  QVERIFY(QTest::qWaitForWindowExposed(&window));
  window.setWindowState(Qt::WindowMinimized);
  QTRY_VERIFY(!window.isVisible());
  QVERIFY(window.trayIcon() != nullptr && window.trayIcon()->isVisible());
  window.OnTrayIcon(1);
  QTRY_VERIFY(window.isVisible());
}

void MainWindowTest::closingTheWindowAsksToEndTheProcess() {
  TestWindow fixture;
  QSignalSpy closed(fixture.window.get(), &MainWindow::closed);
  fixture.window->show();
  QVERIFY(QTest::qWaitForWindowExposed(fixture.window.get()));
  QVERIFY(fixture.window->close());
  QCOMPARE(closed.count(), 1);
}

QTEST_MAIN(MainWindowTest)
#include "main_window_test.moc"
