// The main window's steps, written once for both desktop shells.
#include "shell/MainWindowModel.h"

#include <algorithm>

#include "controller/TimeStamp.h"
#include "mail/MailSender.h"
#include "monitor/MessageLock.h"
#include "monitor/ServiceLink.h"
#include "report/DiskReport.h"
#include "report/ReportText.h"
#include "shell/StartupSequence.h"

namespace kivo {

MainWindowModel::MainWindowModel(MainWindowView& view, const platform::PlatformContext& context,
                                 const platform::PlatformContext& monitorContext, ServiceLink& link)
    : view_(view),
      context_(context),
      monitorContext_(monitorContext),
      link_(link),
      records_(context),
      handler_(*context.clock, *this, &ReportText()) {}

MainWindowModel::~MainWindowModel() {
  // The thread posts to the window and writes these fields: it goes first.
  if (monitorThread_) monitorThread_->Stop();
  monitorThread_.reset();
}

void MainWindowModel::Start() {
  view_.AddTrayIcon(kMainWindowTitle);
  // The first scan shows its errors in boxes too.
  SetErrorBoxesEnabled(true);
  ScanControllers(1);
  SetErrorBoxesEnabled(false);
  ShowController(1, 0);
  if (AudioOffFlag != 0) view_.SetAudioMark(true);
  if (context_.registry != nullptr) LoadEmailSettings(*context_.registry, email_);
  // The alert window exists, hidden, before the monitor can report.
  view_.CreateAlert();
  // Monitoring runs only when the first scan found a controller.
  monitorThread_ = std::make_unique<MonitorThread>(monitorContext_, link_, *this);
  StartMonitoring(controllerTotal_, *monitorThread_);
  PushDisplayTexts();
  if (startHidden_ == 1) view_.PostHideRequest();
}

void MainWindowModel::Refresh() {
  selectedRow_ = view_.SelectedEntry();
  ScanControllers(0);
  ShowController(0, selectedRow_);
  PushDisplayTexts();
}

void MainWindowModel::SelectController() {
  selectedRow_ = view_.SelectedEntry();
  SetErrorBoxesEnabled(true);
  ScanControllers(0);
  SetErrorBoxesEnabled(false);
  ShowController(0, selectedRow_);
  PushDisplayTexts();
}

void MainWindowModel::ScanControllers(int firstTime) {
  view_.SetBusy(true);
  kivo::ScanControllers(firstTime, records_);
  view_.SetBusy(false);
}

void MainWindowModel::ShowController(int firstTime, int row) {
  // An entry outside the records (no selection) shows the first record.
  if (row < 0 || row >= ControllerRecords::kCount) row = 0;
  texts_.time = TakeTimeText(context_);
  texts_.operatingSystem = MachineInfo().OsText();
  texts_.computerName = ReadComputerName(context_);
  controllerTotal_ = MachineInfo().ControllerCount();

  ControllerInfo& record = records_[row];
  const int rowCount = record.HasTables() ? std::clamp(record.rowCount, 0, kDisplayRows) : 0;
  view_.SetUnitRows(firstTime, record.HasTables() ? record.Rows() : nullptr, rowCount);
  std::vector<std::string> entries;
  if (controllerTotal_ == 0) entries.emplace_back(kNoControllerEntry);
  for (int i = 0; i < controllerTotal_; ++i) entries.push_back(ControllerEntryText(record.ControllerIdAt(i)));
  view_.SetEntries(entries, row < static_cast<int>(entries.size()) ? row : -1);

  SetControllerTexts(texts_, record, context_);
}

void MainWindowModel::PushDisplayTexts() {
  texts_.status = StatusLine();
  view_.SetDisplayTexts(texts_);
}

void MainWindowModel::ShowAlert(const std::string& line) {
  view_.ShowAlert(line);
}

int MainWindowModel::FindControllerEntry(const std::string& text) {
  return view_.FindEntry(text);
}

void MainWindowModel::PostMonitorMessage(std::uint32_t wParam) {
  view_.PostMonitorMessage(wParam);
}

void MainWindowModel::StartMonitorThread() {
  if (monitorThread_ && !exited_) monitorThread_->Start();
}

int MainWindowModel::HandleMonitorMessage(std::uint32_t wParam) {
  // After Exit nothing is shown any more.
  if (exited_) return 1;
  return handler_.Handle(wParam);
}

bool MainWindowModel::MonitorRunning() const {
  return monitorThread_ && monitorThread_->Running();
}

void MainWindowModel::StopMonitoring() {
  if (monitorThread_) monitorThread_->Stop();
  MessageLock::Retire();
}

void MainWindowModel::Exit() {
  if (exited_) return;
  exited_ = true;
  view_.RemoveTrayIcon();
  view_.SilenceAlert();
  StopMonitoring();
  view_.EndRun(kExitResult);
}

void MainWindowModel::EndWithOk() {
  // Start-up then removes the tray icon.
  StopMonitoring();
  view_.EndRun(1);
}

void MainWindowModel::OpenEmailSetup(EmailSetupForm& form, MailSender& sender) {
  if (context_.messageBoxes == nullptr) return;
  platform::MessageBoxes& boxes = *context_.messageBoxes;
  EmailSetupFields fields = FieldsOf(email_);
  EmailSetupServices setup;
  setup.timeText = [this] {
    TimeStamp stamp;
    stamp.Now(*context_.clock);
    return std::string(stamp.Text());
  };
  setup.computerName = [this] { return texts_.computerName; };
  setup.save = [this, &boxes](const EmailSetupFields& confirmed) {
    CopyFields(confirmed, email_);
    if (context_.registry != nullptr) SaveEmailSettings(*context_.registry, email_, boxes);
  };
  // The window owns the one SMTP session; its MailStatusMessage handler drops
  // the session when the dialogue ends.
  setup.send = [this, &sender](const std::string& message) {
    return sender.SendEmailMessage(email_, message);
  };
  kivo::OpenEmailSetup(form, fields, boxes, setup);
}

}  // namespace kivo
