// The Qt main window: its window messages, painting, and the view its model
// runs the steps against.
#include "ui/MainDialog.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QEvent>
#include <QEventLoop>
#include <QGuiApplication>
#include <QLabel>
#include <QMenu>
#include <QPainter>
#include <QScreen>
#include <QStyle>
#include <QTreeWidget>

#include "monitor/ServiceLink.h"
#include "report/DiskReport.h"
#include "report/Snapshot.h"
#include "shell/StartupSequence.h"
#include "ui/AboutDialog.h"
#include "ui/AlertDialog.h"
#include "ui/DialogUnits.h"
#include "ui/MainDialogControls.h"
#include "ui/QtDesktopPresence.h"

namespace kivo {

namespace {

constexpr int kSystemIconSize = 32;  // SM_CXICON, SM_CYICON

// A window message queued for the window's own thread.
class WindowMessageEvent : public QEvent {
 public:
  static QEvent::Type EventType() {
    static const auto type = static_cast<QEvent::Type>(QEvent::registerEventType());
    return type;
  }
  WindowMessageEvent(int message, std::uintptr_t wParam, std::intptr_t lParam)
      : QEvent(EventType()), message(message), wParam(wParam), lParam(lParam) {}
  int message;
  std::uintptr_t wParam;
  std::intptr_t lParam;
};

// The menu bar's check marks, as ToggleAudio reads and sets them.
class ActionCheckMenu : public CheckMenu {
 public:
  explicit ActionCheckMenu(const MainDialog& window) : window_(window) {}
  bool IsItemChecked(platform::UINT commandId) override {
    const QAction* action = window_.ActionFor(static_cast<int>(commandId));
    return action != nullptr && action->isChecked();
  }
  void CheckItem(platform::UINT commandId, bool checked) override {
    if (QAction* action = window_.ActionFor(static_cast<int>(commandId))) action->setChecked(checked);
  }

 private:
  const MainDialog& window_;
};

// The context with the Qt message boxes and launcher where it has none.
platform::PlatformContext WithDesktop(const platform::PlatformContext& context,
                                      std::unique_ptr<QtMessageBoxes>& boxes,
                                      std::unique_ptr<QtLauncher>& launcher) {
  platform::PlatformContext result = context;
  boxes = std::make_unique<QtMessageBoxes>();
  launcher = std::make_unique<QtLauncher>();
  if (result.messageBoxes == nullptr) result.messageBoxes = boxes.get();
  if (result.launcher == nullptr) result.launcher = launcher.get();
  return result;
}

QString Latin1(const std::string& text) {
  return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
}

QString Latin1Field(const std::array<char, 128>& field) {
  return QString::fromLatin1(field.data(), static_cast<qsizetype>(strnlen(field.data(), field.size())));
}

}  // namespace

MainDialog::MainDialog(const platform::PlatformContext& context, MainDialogServices services, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint |
                          Qt::MSWindowsFixedSizeDialogHint),
      context_(WithDesktop(context, ownBoxes_, ownLauncher_)),
      monitorContext_(context_),
      services_(services),
      tray_(*this, this, services.bus.value_or(QDBusConnection::sessionBus())) {
  ownBoxes_->SetOwner(this);
  emailLog_ = std::make_unique<EmailLog>(*context_.messageBoxes);
  socketWatcher_.SetClock(context_.clock);
  mailSender_ =
      std::make_unique<MailSender>(*this, socketWatcher_, *emailLog_, SmtpSession::kSmtpPort, &socketWait_);
  LoadUiResources();
  // The program lives hidden in the tray: closing or hiding its last window
  // never ends it; only the Exit command does.
  QGuiApplication::setQuitOnLastWindowClosed(false);
  if (services_.serviceLink == nullptr) {
    ownLink_ = std::make_unique<ServiceLink>(context_.rpcDirectory);
    services_.serviceLink = ownLink_.get();
  }
  if (services_.beeper == nullptr) {
    ownBeeper_ = std::make_unique<SoundBeeper>();
    services_.beeper = ownBeeper_.get();
  }
  if (services_.flasher == nullptr) {
    ownFlasher_ = std::make_unique<AttentionFlasher>();
    services_.flasher = ownFlasher_.get();
  }
  if (services_.monitorClock != nullptr) monitorContext_.clock = services_.monitorClock;
  QtDesktopPresence::Hooks hooks;
  hooks.acknowledgeAlarm = [this] {
    if (alert_ != nullptr && alert_->Logic().AlarmStopped() == 0) alert_->Acknowledge();
  };
  hooks.showAlert = [this](const std::string& token) {
    if (alert_ != nullptr && !model_->Exited()) alert_->ShowAlert("", token);
  };
  hooks.showMainWindow = [this](const std::string& token) { ShowMainWindow(token); };
  hooks.desktopSound = [this] { return AudioOffFlag == 0 && !services_.beeper->Audible(); };
  presence_ = std::make_unique<QtDesktopPresence>(services.bus.value_or(QDBusConnection::sessionBus()), tray_,
                                                  std::move(hooks));
  model_ = std::make_unique<MainWindowModel>(*this, context_, monitorContext_, *services_.serviceLink);
  commands.showAbout = [this] { ShowAboutBox(this); };
  appIcon_ = QIcon(QStringLiteral(":/kivo/128.png"));
  setObjectName(QStringLiteral("mainDialog"));
  setWindowTitle(QString::fromLatin1(kMainWindowTitle));
  setFont(DialogFont());
  controls_ = std::make_unique<MainDialogControls>(*this, [this](int id) { DispatchCommand(id); });
}

MainDialog::~MainDialog() {
  // The monitor thread posts to this window: it goes first.
  model_.reset();
  delete alert_;
  alert_ = nullptr;
  if (commands.closeHelp) commands.closeHelp();
}

QAction* MainDialog::ActionFor(int id) const {
  return controls_->ActionFor(id);
}

int MainDialog::exec() {
  OnInitDialog();
  // QDialog's own modal loop ends whenever the dialog is hidden; this window
  // lives hidden, so it runs a loop of its own that only done() ends.
  setResult(0);
  show();
  QEventLoop loop;
  runLoop_ = &loop;
  loop.exec(QEventLoop::DialogExec);
  runLoop_ = nullptr;
  return result();
}

void MainDialog::done(int result) {
  hide();
  setResult(result);
  if (runLoop_ != nullptr) runLoop_->exit(result);
  emit finished(result);
}

void MainDialog::OnInitDialog() {
  if (initialised_) return;
  initialised_ = true;
  // A window that starts hidden waits off-screen for its HideRequest.
  if (model_->StartHidden() == 1) {
    const QScreen* screen = QGuiApplication::primaryScreen();
    const int screenWidth = screen != nullptr ? screen->geometry().width() : 0;
    move(OffScreenX(screenWidth, frameGeometry().width()), 0);
    setUpdatesEnabled(false);
  }
  // The system menu's About item lives in the window's context menu.
  setWindowIcon(appIcon_);
  model_->Start();
}
void MainDialog::PostWindowMessage(int message, std::uintptr_t wParam, std::intptr_t lParam) {
  QCoreApplication::postEvent(this, new WindowMessageEvent(message, wParam, lParam));
}

void MainDialog::PostMonitorMessage(std::uint32_t wParam) {
  PostWindowMessage(MonitorMessage, wParam, 0);
}

bool MainDialog::event(QEvent* event) {
  if (event->type() == WindowMessageEvent::EventType()) {
    const auto* posted = static_cast<WindowMessageEvent*>(event);
    WindowMessage(posted->message, posted->wParam, posted->lParam);
    return true;
  }
  return QDialog::event(event);
}

int MainDialog::WindowMessage(int message, std::uintptr_t wParam, std::intptr_t lParam) {
  switch (message) {
    case message::kTrayCallback:
      tray_.HandleTrayCallback(static_cast<int>(lParam));
      return 1;
    case MonitorMessage:
      return model_->HandleMonitorMessage(static_cast<std::uint32_t>(wParam));
    case message::kMailStatusMessage:
      return static_cast<int>(
          mailSender_->HandleMailStatus(static_cast<int>(wParam), static_cast<long>(lParam)));
    case message::kHideRequest:
      hide();
      model_->ClearStartHidden();
      setUpdatesEnabled(true);
      return 1;
    default:
      return 0;
  }
}

void MainDialog::DispatchCommand(int id) {
  RouteCommand(*this, id);
}

void MainDialog::TakeSnapshot() {
  Snapshot(context_);
}

void MainDialog::CopyReport() {
  if (commands.copyReportToClipboard) commands.copyReportToClipboard();
}

void MainDialog::ShowHelp() {
  if (commands.showHelp) commands.showHelp();
}

void MainDialog::ShowAbout() {
  if (commands.showAbout) commands.showAbout();
}

void MainDialog::ViewAlarms() {
  ShowAlert("");
}

void MainDialog::OpenEmailSetup() {
  if (commands.openEmailSetup) commands.openEmailSetup();
}
void MainDialog::EndWithOk() {
  model_->EndWithOk();
}
void MainDialog::SysCommand(int id) {
  if ((id & 0xFFF0) == command::kSysAbout && commands.showAbout) commands.showAbout();
}

void MainDialog::ToggleAudioItem() {
  if (context_.registry == nullptr || context_.messageBoxes == nullptr) return;
  ActionCheckMenu menu(*this);
  ToggleAudio(menu, *context_.registry, *context_.messageBoxes);
  if (alert_ != nullptr) alert_->SetAudioOff(AudioOffFlag);
}

void MainDialog::Refresh() {
  model_->Refresh();
}
void MainDialog::SelectController() {
  model_->SelectController();
}
void MainDialog::ShowAlert(const std::string& line) {
  if (alert_ != nullptr) alert_->ShowAlert(line);
}

int MainDialog::SelectedEntry() {
  return controls_->ControllerBox()->currentIndex();
}

int MainDialog::FindEntry(const std::string& text) {
  return controls_->ControllerBox()->findText(Latin1(text), Qt::MatchExactly | Qt::MatchCaseSensitive);
}
void MainDialog::SetBusy(bool busy) {
  if (busy) {
    QApplication::setOverrideCursor(Qt::WaitCursor);
  } else {
    QApplication::restoreOverrideCursor();
  }
}
void MainDialog::SetEntries(const std::vector<std::string>& entries, int selected) {
  const QSignalBlocker quiet(controls_->ControllerBox());
  controls_->ControllerBox()->clear();
  for (const std::string& entry : entries) controls_->ControllerBox()->addItem(Latin1(entry));
  controls_->ControllerBox()->setCurrentIndex(selected);
}
void MainDialog::SetUnitRows(int firstTime, const DisplayRow* rows, int count) {
  controls_->UnitList()->clear();
  if ((firstTime != 0 && !smallIconsCreated_) || !smallIconsCreated_) {
    for (std::size_t i = 0; i < smallIcons_.size(); ++i) {
      smallIcons_[i] = QIcon(QStringLiteral(":/kivo/%1.png").arg(kRowImageResources[i]));
    }
    smallIconsCreated_ = true;
  }
  if (!columnsCreated_) {
    columnsCreated_ = true;
    // Fractions of the room inside the frame and a vertical scroll bar
    // (kept for one, so that none appearing later brings a horizontal bar
    // that hides the last row).
    const int inside = controls_->UnitList()->frameGeometry().width() -
                       2 * controls_->UnitList()->frameWidth() -
                       controls_->UnitList()->style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr,
                                                                   controls_->UnitList());
    const std::array<int, 4> widths = UnitColumnWidths(inside);
    controls_->UnitList()->setColumnCount(4);
    QStringList titles;
    for (const char* title : kUnitColumnTitles) titles << QString::fromLatin1(title);
    controls_->UnitList()->setHeaderLabels(titles);
    for (int column = 0; column < 4; ++column) {
      controls_->UnitList()->setColumnWidth(column, widths[static_cast<std::size_t>(column)]);
      controls_->UnitList()->headerItem()->setTextAlignment(column, Qt::AlignLeft | Qt::AlignVCenter);
    }
  }
  for (int k = 0; k < count; ++k) {
    const DisplayRow& display = rows[k];
    auto* item = new QTreeWidgetItem(controls_->UnitList());
    item->setIcon(0, smallIcons_[static_cast<std::size_t>(RowImageOf(display))]);
    item->setText(0, Latin1Field(display.nameText));
    item->setText(1, Latin1Field(display.typeText));
    item->setText(2, Latin1Field(display.sizeText));
    item->setText(3, Latin1Field(display.statusText));
    item->setData(0, Qt::UserRole, RowImageOf(display));
  }
}

void MainDialog::SetDisplayTexts(const DisplayTexts& texts) {
  const std::pair<int, const std::string*> bindings[] = {{1000, &texts.operatingSystem},
                                                         {1001, &texts.driver},
                                                         {1002, &texts.monitor},
                                                         {1003, &texts.firmware},
                                                         {1004, &texts.bios},
                                                         {1005, &texts.pcba},
                                                         {1006, &texts.aChip},
                                                         {1007, &texts.pChip},
                                                         {1008, &texts.time},
                                                         {1009, &texts.model},
                                                         {1031, &texts.status},
                                                         {1035, &texts.computerName},
                                                         {1037, &texts.units}};
  for (const auto& [id, text] : bindings) {
    QString shown = Latin1(*text);
    shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    if (QLabel* label = controls_->Control(id)) label->setText(shown);
  }
  controls_->LayOut();
}
void MainDialog::SetAudioMark(bool checked) {
  if (QAction* audio = ActionFor(command::kAudioOff)) audio->setChecked(checked);
}

void MainDialog::AddTrayIcon(const char* tip) {
  tray_.AddTrayIcon(TrayIcon::kTrayIconId, appIcon_, tip);
}

void MainDialog::RemoveTrayIcon() {
  tray_.RemoveTrayIcon(TrayIcon::kTrayIconId);
}

void MainDialog::CreateAlert() {
  // A window of its own (deleted with this one), so the boxes and dialogs
  // that hold up this window never hold up the alarm's OK.
  alert_ = new AlertDialog(context_, AudioOffFlag, *services_.beeper, *services_.flasher);
  alert_->setWindowIcon(appIcon_);
  // Each alarm also goes to the tray item and the desktop's notifications.
  alert_->SetPresence(presence_.get());
  // The window's "Audio off" box and the menu's check mark show one setting.
  connect(alert_, &AlertDialog::AudioOffChanged, this, [this](int audioOff) { SetAudioMark(audioOff != 0); });
  // The tray icon flashes with the alert window, as tray monitors do.
  connect(alert_, &AlertDialog::Flashed, this, [this](bool inverted) { tray_.ShowAlarmIcon(inverted); });
}

void MainDialog::SilenceAlert() {
  if (alert_ == nullptr) return;
  alert_->Acknowledge();
  alert_->BeepTimer().stop();
  alert_->FlashTimer().stop();
}

void MainDialog::PostHideRequest() {
  PostWindowMessage(message::kHideRequest, 0, 0);
}

void MainDialog::EndRun(int result) {
  if (result == kExitResult && commands.closeHelp) commands.closeHelp();
  done(result);
}
void MainDialog::SendMailStatus(int wParam, long lParam) {
  WindowMessage(message::kMailStatusMessage, static_cast<std::uintptr_t>(wParam), lParam);
}

void MainDialog::PostMailStatus(int wParam, long lParam) {
  PostWindowMessage(message::kMailStatusMessage, static_cast<std::uintptr_t>(wParam), lParam);
}

void MainDialog::HideWindow() {
  hide();
  // Without a tray nothing would show that the utility still runs.
  presence_->MainWindowHidden();
}

void MainDialog::ShowMainWindow(const std::string& activationToken) {
  if (model_->Exited()) return;
  // A window that started hidden waited off-screen; one on a screen that has
  // gone is as lost. Either comes back in the middle of the available area.
  const QScreen* screen = QGuiApplication::primaryScreen();
  if (screen != nullptr && !screen->availableGeometry().intersects(frameGeometry())) {
    QRect frame = frameGeometry();
    frame.moveCenter(screen->availableGeometry().center());
    move(frame.topLeft());
  }
  model_->ClearStartHidden();
  setUpdatesEnabled(true);
  setWindowState(windowState() & ~Qt::WindowMinimized);
  activation_.Activate(activationToken);
}

void MainDialog::Exit() {
  model_->Exit();
}
void MainDialog::accept() {
  // The run ends with OK (start-up then removes the tray icon).
  model_->EndWithOk();
}
void MainDialog::reject() {
  DispatchCommand(command::kCancel);
}

void MainDialog::changeEvent(QEvent* event) {
  // A new font (another DPI) needs the template laid out anew.
  if (event->type() == QEvent::FontChange && controls_ != nullptr) controls_->LayOut();
  QDialog::changeEvent(event);
}

void MainDialog::closeEvent(QCloseEvent* event) {
  // The close box only hides the window; the program goes on.
  HideWindow();
  event->ignore();
}

void MainDialog::paintEvent(QPaintEvent* event) {
  switch (DecidePaint(isMinimized(), model_->StartHidden())) {
    case PaintAction::kIcon: {
      QPainter painter(this);
      const int x = (width() - kSystemIconSize + 1) / 2;
      const int y = (height() - kSystemIconSize + 1) / 2;
      appIcon_.paint(&painter, x, y, kSystemIconSize, kSystemIconSize);
      break;
    }
    case PaintAction::kDefault:
      QDialog::paintEvent(event);
      break;
    case PaintAction::kNothing:
      break;
  }
}

void MainDialog::contextMenuEvent(QContextMenuEvent* event) {
  // Stands in for the system menu's "&About Kivo..." item (command 16).
  QMenu menu(this);
  menu.addSeparator();
  QAction* about = menu.addAction(QStringLiteral("&About Kivo..."));
  if (menu.exec(event->globalPos()) == about) SysCommand(command::kSysAbout);
}

}  // namespace kivo
