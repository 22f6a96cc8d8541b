// The event notification window laid out from template 101.
#include "ui/AlertDialog.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QCheckBox>
#include <QCloseEvent>
#include <QFrame>
#include <QGuiApplication>
#include <QLabel>
#include <QPainter>
#include <QPixmap>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>

#include "mail/SettingsStore.h"
#include "monitor/EventSeverity.h"
#include "shell/DesktopNotice.h"
#include "ui/DialogUnits.h"

namespace kivo {

namespace {

// Assistive technologies learn that the window is an alert (an AT-SPI
// "alert", which screen readers announce as it appears), not a dialog.
class AlertAccessible : public QAccessibleWidget {
 public:
  explicit AlertAccessible(QWidget* widget) : QAccessibleWidget(widget, QAccessible::AlertMessage) {}
};

QAccessibleInterface* AlertAccessibleFactory(const QString& className, QObject* object) {
  if (className == QLatin1String(AlertDialog::staticMetaObject.className()) && object != nullptr &&
      object->isWidgetType()) {
    return new AlertAccessible(static_cast<QWidget*>(object));
  }
  return nullptr;
}

constexpr char kEmptyMessageName[] = "Event messages";

}  // namespace

QString AlertDialog::NewestEntryName(const std::string& message) {
  const std::vector<std::string> entries = SplitEventLines(message);
  if (entries.empty()) return QString::fromLatin1(kEmptyMessageName);
  QString name = QString::fromLatin1(entries.front().c_str());
  name.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  return name.trimmed();
}

AlertDialog::AlertDialog(const platform::PlatformContext& context, int& audioOffFlag, Beeper& beeper,
                         Flasher& flasher, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowCloseButtonHint | Qt::WindowStaysOnTopHint |
                          Qt::MSWindowsFixedSizeDialogHint),
      context_(context),
      audioOffFlag_(audioOffFlag),
      beeper_(beeper),
      flasher_(flasher) {
  LoadUiResources();
  static const bool factoryInstalled = [] {
    QAccessible::installFactory(&AlertAccessibleFactory);
    return true;
  }();
  (void)factoryInstalled;
  setObjectName(QStringLiteral("alertDialog"));
  setWindowTitle(QStringLiteral("Kivo - Event Notification Message"));
  setFont(DialogFont());
  const DialogUnits du = DialogUnits::ForFont(font());
  setFixedSize(du.Size(437, 215));

  auto* frame = new QFrame(this);
  frame->setFrameStyle(QFrame::Box | QFrame::Sunken);
  frame->setGeometry(du.Rect(7, 6, 74, 31));
  auto* logo = new QLabel(this);
  logo->setObjectName(QStringLiteral("logo147"));
  logo->setGeometry(du.Rect(7, 7, 73, 30));
  logo->setPixmap(QPixmap(QStringLiteral(":/kivo/147.png")));
  logo->setScaledContents(true);

  messageEdit_ = new QPlainTextEdit(this);
  messageEdit_->setObjectName(QStringLiteral("control1013"));
  messageEdit_->setReadOnly(true);
  messageEdit_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  messageEdit_->setGeometry(du.Rect(7, 41, 423, 138));

  okButton_ = new QPushButton(QStringLiteral("OK"), this);
  okButton_->setObjectName(QStringLiteral("control1"));
  okButton_->setGeometry(du.Rect(105, 188, 75, 14));
  okButton_->setDefault(true);
  connect(okButton_, &QPushButton::clicked, this, &AlertDialog::Acknowledge);

  browserButton_ = new QPushButton(QStringLiteral("Open Browser"), this);
  browserButton_->setObjectName(QStringLiteral("control2"));
  browserButton_->setGeometry(du.Rect(257, 188, 75, 14));
  browserButton_->setAutoDefault(false);
  connect(browserButton_, &QPushButton::clicked, this, &AlertDialog::OpenBrowser);

  audioOffBox_ = new QCheckBox(QStringLiteral("Audio off"), this);
  audioOffBox_->setObjectName(QStringLiteral("control1034"));
  audioOffBox_->setGeometry(du.Rect(16, 192, 55, 10));
  connect(audioOffBox_, &QCheckBox::clicked, this, &AlertDialog::AudioOffClicked);

  if (const QScreen* screen = QGuiApplication::primaryScreen()) {
    const QRect area = screen->geometry();
    move(area.center() - QPoint(width() / 2, height() / 2));
  }

  // The timers run for the window's whole life; the alarm state decides
  // whether a tick does anything.
  PushFields();
  beepTimer_.setInterval(AlertLogic::kBeepPeriodMs);
  flashTimer_.setInterval(AlertLogic::kFlashPeriodMs);
  connect(&beepTimer_, &QTimer::timeout, this, &AlertDialog::BeepTick);
  connect(&flashTimer_, &QTimer::timeout, this, &AlertDialog::FlashTick);
  beepTimer_.start();
  flashTimer_.start();
}

void AlertDialog::PushFields() {
  // The edit control shows CR LF as one line break.
  QString text =
      QString::fromLatin1(logic_.Message().data(), static_cast<qsizetype>(logic_.Message().size()));
  text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  messageEdit_->setPlainText(text);
  // A screen reader reads the newest entry as the text's name, and as the
  // alert's description when the window appears.
  const QString newest = NewestEntryName(logic_.Message());
  messageEdit_->setAccessibleName(newest);
  setAccessibleDescription(logic_.Message().empty() ? QString() : newest);
  audioOffBox_->setChecked(logic_.AudioOff() != 0);
}

void AlertDialog::ShowAlert(const std::string& line, const std::string& activationToken) {
  logic_.ShowAlert(line, audioOffFlag_);
  PushFields();
  // The window may sit on another workspace or under another window: it
  // asks to be activated, and is marked urgent where that is refused.
  activation_.Activate(activationToken);
  QAccessibleEvent shown(this, QAccessible::Alert);
  QAccessible::updateAccessibility(&shown);
  if (presence_ != nullptr) presence_->AlarmRaised(line);
}

void AlertDialog::Acknowledge() {
  logic_.Acknowledge();
  ShowFlash(false);
  hide();
  Acknowledged();
}

void AlertDialog::Acknowledged() {
  if (presence_ != nullptr) presence_->AlarmAcknowledged();
}

void AlertDialog::OpenBrowser() {
  const unsigned port = context_.registry != nullptr ? ReadHttpPort(*context_.registry) : kDefaultHttpPort;
  if (context_.launcher != nullptr) context_.launcher->OpenUrl(AlertLogic::AlarmsPageUrl(port));
}

void AlertDialog::AudioOffClicked() {
  logic_.SetAudioOff(audioOffBox_->isChecked() ? 1 : 0);
  audioOffFlag_ = logic_.AudioOff();
  emit AudioOffChanged(logic_.AudioOff());
  if (context_.registry != nullptr && context_.messageBoxes != nullptr) {
    WriteAudioOff(*context_.registry, *context_.messageBoxes, logic_.AudioOff());
  }
}

void AlertDialog::SetAudioOff(int audioOff) {
  logic_.SetAudioOff(audioOff);
  audioOffBox_->setChecked(logic_.AudioOff() != 0);
}

void AlertDialog::BeepTick() {
  if (logic_.BeepTick()) beeper_.Beep(AlertLogic::kBeepFrequencyHz, AlertLogic::kBeepDurationMs);
}

void AlertDialog::FlashTick() {
  const int invert = logic_.FlashTick();
  if (invert < 0) return;
  flasher_.FlashWindow(*this, invert != 0);
  ShowFlash(invert != 0);
}

void AlertDialog::ShowFlash(bool inverted) {
  // A window manager ignores the attention hint of the active window, and
  // the caption it draws is not the program's: the flash is drawn inside
  // the window's own frame too, so it shows whether the window is active
  // or not.
  if (flashShown_ != inverted) {
    flashShown_ = inverted;
    update();
  }
  emit Flashed(inverted);
}

void AlertDialog::paintEvent(QPaintEvent* event) {
  QDialog::paintEvent(event);
  if (!flashShown_) return;
  // The margin around the controls (the template keeps 6 units free at
  // every edge) takes the colour of an active caption.
  const DialogUnits du = DialogUnits::ForFont(font());
  const int side = du.X(5);
  const int top = du.Y(5);
  QPainter painter(this);
  const QColor colour = palette().color(QPalette::Active, QPalette::Highlight);
  painter.fillRect(0, 0, width(), top, colour);
  painter.fillRect(0, height() - top, width(), top, colour);
  painter.fillRect(0, 0, side, height(), colour);
  painter.fillRect(width() - side, 0, side, height(), colour);
}

void AlertDialog::accept() {
  Acknowledge();
}

void AlertDialog::reject() {
  OpenBrowser();
}

void AlertDialog::closeEvent(QCloseEvent* event) {
  logic_.Acknowledge();
  ShowFlash(false);
  event->accept();
  Acknowledged();
}

}  // namespace kivo
