#include "app/main_window.h"

#include <QCloseEvent>
#include <QDesktopServices>
#include <QEvent>
#include <QGroupBox>
#include <QGuiApplication>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QMetaObject>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QSystemTrayIcon>
#include <QTabWidget>
#include <QTextOption>
#include <limits>

#include "app/process_exit.h"
#include "resolvers/chengtong.h"
#include "version.h"

namespace morvane {
namespace {

QString Name(std::string_view name) {
  return QString::fromUtf8(name.data(), static_cast<qsizetype>(name.size()));
}

// Tests and accessibility tools find a control by its own name; the three
// "解析" buttons would otherwise all be read out alike.
void Identify(QWidget* control, std::string_view name) {
  control->setObjectName(Name(name));
  control->setAccessibleName(Name(name));
}

QLineEdit* MakeLineEdit(QWidget* parent, std::string_view name, QRect place, const QString& text) {
  auto* box = new QLineEdit(text, parent);
  Identify(box, name);
  box->setGeometry(place);
  // The boxes take any length a user or a service hands them.
  box->setMaxLength(std::numeric_limits<int>::max());
  box->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  return box;
}

QPlainTextEdit* MakeResultBox(QWidget* parent, std::string_view name, QRect place) {
  auto* box = new QPlainTextEdit(parent);
  Identify(box, name);
  box->setGeometry(place);
  // Download addresses have no spaces: wrap anywhere rather than run past the edge.
  box->setLineWrapMode(QPlainTextEdit::WidgetWidth);
  box->setWordWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
  box->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  box->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  box->setTabChangesFocus(true);
  return box;
}

QLabel* MakeLabel(QWidget* parent, std::string_view name, QRect place, std::string_view text) {
  auto* label = new QLabel(Name(text), parent);
  Identify(label, name);
  label->setGeometry(place);
  label->setAutoFillBackground(false);
  label->setAttribute(Qt::WA_TranslucentBackground);
  return label;
}

QPushButton* MakeButton(QWidget* parent, std::string_view name, QRect place,
                        std::string_view text) {
  auto* button = new QPushButton(Name(text), parent);
  Identify(button, name);
  button->setGeometry(place);
  return button;
}

// One service's tab: a caption-less group box holding the address box and its
// label, the "解析" button and the result box.
struct ServicePage {
  std::string_view caption;
  std::string_view groupBox;
  std::string_view result;
  std::string_view button;
  std::string_view label;
  std::string_view address;
};

constexpr ServicePage kServicePages[] = {
    {"百度", "分组框1", controls::kBaiduResult, controls::kBaiduButton, "透明标签1",
     controls::kBaiduAddress},
    {"诚通", "分组框2", controls::kChengtongResult, controls::kChengtongButton, "透明标签2",
     controls::kChengtongAddress},
    {"蓝奏", "分组框3", controls::kLanzouResult, controls::kLanzouButton, "透明标签3",
     controls::kLanzouAddress},
};

// Multi-line boxes speak CR LF to the core, as edit boxes of the original
// platform do, and LF to Qt.
QString ToDocumentLines(QString text) { return text.replace(QStringLiteral("\r\n"), "\n"); }
QString ToCoreLines(QString text) { return text.replace('\n', QStringLiteral("\r\n")); }

}  // namespace

MainWindow::MainWindow(const Settings& settings, BaiduResolver& baiduResolver,
                       LanzouClickHandler& lanzouHandler, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                          Qt::WindowCloseButtonHint),
      settings_(settings),
      baiduResolver_(baiduResolver),
      lanzouHandler_(lanzouHandler),
      bridge_(std::make_shared<WindowBridge>(this)),
      updateActions_{.openUrl = [](const QUrl& url) { QDesktopServices::openUrl(url); },
                     .exitProcess = [](int code) { EndProcess(code); }},
      trayAvailable_([] { return QSystemTrayIcon::isSystemTrayAvailable(); }) {
  setObjectName(QStringLiteral("MainWindow"));
  setWindowTitle(QString::fromUtf8(kWindowTitle));
  setWindowIcon(QIcon(QStringLiteral(":/icons/morvane.png")));
  QFont font;
  font.setFamilies({QStringLiteral("Microsoft YaHei"), QStringLiteral("WenQuanYi Micro Hei"),
                    QStringLiteral("Noto Sans CJK SC"), QStringLiteral("SimSun")});
  font.setPixelSize(12);
  setFont(font);
  // Until the platform reports a frame, the frame is taken to be empty.
  setFixedSize(kOuterSize);
  CreateControls();
  BindHandlers();
  CentreOnScreen();
}

MainWindow::~MainWindow() { bridge_->Detach(); }

void MainWindow::CreateControls() {
  auto* tabs = new QTabWidget(this);
  Identify(tabs, "高级选择夹1");
  tabs->setGeometry(16, 16, 560, 304);
  for (const ServicePage& page : kServicePages) {
    auto* pageWidget = new QWidget();
    tabs->addTab(pageWidget, Name(page.caption));
    auto* group = new QGroupBox(pageWidget);
    Identify(group, page.groupBox);
    group->setGeometry(44, 32, 472, 240);
    controls_.insert(Name(page.result), MakeResultBox(group, page.result, {72, 56, 288, 144}));
    controls_.insert(Name(page.button), MakeButton(group, page.button, {374, 13, 56, 32}, "解析"));
    controls_.insert(Name(page.label),
                     MakeLabel(group, page.label, {11, 17, 56, 24}, "解析地址："));
    QLineEdit* address = MakeLineEdit(group, page.address, {66, 19, 304, 24}, QString());
    controls_.insert(Name(page.address), address);
    address->raise();  // its left edge overlaps the label's last pixel
  }
  controls_.insert(QStringLiteral("透明标签4"),
                   MakeLabel(this, "透明标签4", {368, 0, 48, 16}, "版本："));
  QLineEdit* version = MakeLineEdit(this, controls::kVersion, {400, 0, 56, 16}, Name(kVersion));
  controls_.insert(Name(controls::kVersion), version);
  // Lies over the lower edge of the tab control, so it is stacked above it.
  controls_.insert(Name(controls::kClearAll),
                   MakeButton(this, controls::kClearAll, {152, 290, 280, 24}, controls::kClearAll));
}

void MainWindow::BindHandlers() {
  auto button = [this](std::string_view name) {
    return static_cast<QPushButton*>(controls_.value(Name(name)));
  };
  connect(button(controls::kClearAll), &QPushButton::clicked, this, &MainWindow::OnClearAll);
  connect(button(controls::kBaiduButton), &QPushButton::clicked, this,
          [this] { OnResolveBaidu(*bridge_, baiduResolver_); });
  connect(button(controls::kChengtongButton), &QPushButton::clicked, this,
          [this] { OnResolveChengtong(*bridge_, settings_); });
  connect(button(controls::kLanzouButton), &QPushButton::clicked, this,
          [this] { lanzouHandler_.OnResolveLanzou(bridge_, settings_); });
}

void MainWindow::OnCreated() {
  const Text versionText = bridge_->ReadControlText(controls::kVersion);
  CheckForUpdate(versionText, settings_, *bridge_, updateActions_);
}

void MainWindow::OnPositionChanged() {
  if (!(windowState() & Qt::WindowMinimized)) return;
  // Without a notification area the icon would be the only way back and it
  // cannot be shown: the window stays minimised in the ordinary way.
  if (!trayAvailable_()) return;
  hide();
  delete trayIcon_;
  trayIcon_ = new QSystemTrayIcon(windowIcon(), this);
  trayIcon_->setToolTip(QString::fromUtf8(kTrayToolTip));
  connect(trayIcon_, &QSystemTrayIcon::activated, this,
          [this](QSystemTrayIcon::ActivationReason reason) {
            switch (reason) {
              case QSystemTrayIcon::Trigger:
                OnTrayIcon(1);
                break;
              case QSystemTrayIcon::DoubleClick:
                OnTrayIcon(2);
                break;
              case QSystemTrayIcon::Context:
                OnTrayIcon(3);
                break;
              default:
                break;  // middle clicks and the rest raise no event
            }
          });
  trayIcon_->show();
}

void MainWindow::OnTrayIcon(int code) {
  if (code != 1) return;
  setWindowState(windowState() & ~Qt::WindowMinimized);
  show();
  CentreOnScreen();
  raise();
  activateWindow();
  if (trayIcon_ != nullptr) {
    trayIcon_->hide();
    // This may run inside the icon's own signal: let it finish first.
    trayIcon_->deleteLater();
    trayIcon_ = nullptr;
  }
}

void MainWindow::OnClearAll() {
  for (std::string_view name :
       {controls::kBaiduAddress, controls::kBaiduResult, controls::kChengtongResult,
        controls::kChengtongAddress, controls::kLanzouResult, controls::kLanzouAddress}) {
    bridge_->WriteControlText(name, {});
  }
}

void MainWindow::CentreOnScreen() {
  QScreen* display = screen() != nullptr ? screen() : QGuiApplication::primaryScreen();
  if (display == nullptr) return;
  const QRect area = display->availableGeometry();
  const QSize outer = frameGeometry().size();
  move(area.x() + (area.width() - outer.width()) / 2,
       area.y() + (area.height() - outer.height()) / 2);
}

QString MainWindow::ControlText(const QString& name) const {
  QWidget* control = controls_.value(name);
  if (auto* line = qobject_cast<QLineEdit*>(control)) return line->text();
  if (auto* lines = qobject_cast<QPlainTextEdit*>(control))
    return ToCoreLines(lines->toPlainText());
  if (auto* button = qobject_cast<QPushButton*>(control)) return button->text();
  if (auto* label = qobject_cast<QLabel*>(control)) return label->text();
  return {};
}

void MainWindow::SetControlText(const QString& name, const QString& text) {
  QWidget* control = controls_.value(name);
  if (auto* line = qobject_cast<QLineEdit*>(control)) {
    line->setText(text);
  } else if (auto* lines = qobject_cast<QPlainTextEdit*>(control)) {
    lines->setPlainText(ToDocumentLines(text));
  } else if (auto* button = qobject_cast<QPushButton*>(control)) {
    button->setText(text);
  } else if (auto* label = qobject_cast<QLabel*>(control)) {
    label->setText(text);
  }
}

void MainWindow::SetUrlOpener(std::function<void(const QUrl&)> openUrl) {
  updateActions_.openUrl = std::move(openUrl);
}

void MainWindow::SetProcessExit(std::function<void(int)> exitProcess) {
  updateActions_.exitProcess = std::move(exitProcess);
}

void MainWindow::SetTrayAvailability(std::function<bool()> trayAvailable) {
  trayAvailable_ = std::move(trayAvailable);
}

void MainWindow::changeEvent(QEvent* event) {
  QWidget::changeEvent(event);
  // Hiding from inside the state change confuses some window managers; look
  // at the state once the change has settled.
  if (event->type() == QEvent::WindowStateChange) {
    QMetaObject::invokeMethod(this, &MainWindow::OnPositionChanged, Qt::QueuedConnection);
  }
}

void MainWindow::closeEvent(QCloseEvent* event) {
  QWidget::closeEvent(event);
  emit closed();
}

void MainWindow::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  FitFrameToOuterSize();
}

void MainWindow::moveEvent(QMoveEvent* event) {
  QWidget::moveEvent(event);
  // Window managers report the frame only after mapping the window.
  FitFrameToOuterSize();
}

void MainWindow::FitFrameToOuterSize() {
  const QRect outer = frameGeometry();
  const QRect inner = geometry();
  const QSize frame(outer.width() - inner.width(), outer.height() - inner.height());
  const QSize client = kOuterSize - frame;
  if (client == size() || client.width() <= 0 || client.height() <= 0) return;
  setFixedSize(client);
  CentreOnScreen();
}

}  // namespace morvane
