// The main window's procedure and the view its model runs the steps
// against: the controller box, the unit list, the texts, tray and alert.
#include "win32ui/MainWindow.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "win32ui/AboutBox.h"
#include "win32ui/EmailSetupWindow.h"
#include "win32ui/ModalWindows.h"
#include "win32ui/StaticTextFit.h"
#include "win32ui/TrayIcon.h"
#include "win32ui/WinClipboard.h"
#include "win32ui/WorkArea.h"

namespace kivo::win32ui {

namespace {

std::string FieldText(const std::array<char, 128>& field) {
  return std::string(field.data(), strnlen(field.data(), field.size()));
}

// The menu bar's check marks, as ToggleAudio reads and sets them.
class MenuCheckMarks : public CheckMenu {
 public:
  explicit MenuCheckMarks(HWND window) : menu_(GetMenu(window)) {}
  bool IsItemChecked(platform::UINT commandId) override {
    return (GetMenuState(menu_, commandId, MF_BYCOMMAND) & MF_CHECKED) != 0;
  }
  void CheckItem(platform::UINT commandId, bool checked) override {
    CheckMenuItem(menu_, commandId, MF_BYCOMMAND | (checked ? MF_CHECKED : MF_UNCHECKED));
  }

 private:
  HMENU menu_;
};

}  // namespace

MainWindow::MainWindow(HINSTANCE instance, const platform::PlatformContext& context, WinMessageBoxes& boxes,
                       platform::Clock& monitorClock)
    : instance_(instance),
      context_(context),
      monitorContext_(context),
      boxes_(boxes),
      link_(context.rpcDirectory),
      alert_(context_, AudioOffFlag),
      emailLog_(boxes),
      mailSender_(*this, socketWatcher_, emailLog_),
      model_(std::make_unique<MainWindowModel>(*this, context_, monitorContext_, link_)) {
  monitorContext_.clock = &monitorClock;
  appIcon_ = LoadIconA(instance_, MAKEINTRESOURCEA(IDR_MAINFRAME));
  appIconSmall_ =
      static_cast<HICON>(LoadImageA(instance_, MAKEINTRESOURCEA(IDR_MAINFRAME), IMAGE_ICON,
                                    GetSystemMetrics(SM_CXSMICON), GetSystemMetrics(SM_CYSMICON), 0));
}

MainWindow::~MainWindow() {
  // The monitor thread posts to this window: it goes first.
  model_.reset();
  mailSender_.DropSession();
  if (window_ != nullptr) DestroyWindow(window_);
  if (smallIcons_ != nullptr) ImageList_Destroy(smallIcons_);
}

int MainWindow::RunModal() {
  window_ = CreateDialogParamA(instance_, MAKEINTRESOURCEA(IDD_MAIN), nullptr, Procedure,
                               reinterpret_cast<LPARAM>(this));
  if (window_ == nullptr) return kExitResult;
  // Hiding the window does not end the run; only Exit or OK do. The alert
  // window is modeless, so its keys are routed here too.
  running_ = true;
  MSG message;
  while (running_ && GetMessageA(&message, nullptr, 0, 0) > 0) {
    if (alert_.Handle() != nullptr && IsDialogMessageA(alert_.Handle(), &message)) continue;
    if (window_ != nullptr && IsDialogMessageA(window_, &message)) continue;
    TranslateMessage(&message);
    DispatchMessageA(&message);
  }
  return result_;
}

void MainWindow::EndModal(int result) {
  result_ = result;
  running_ = false;
  // Wakes the loop when it waits for a message.
  PostMessageA(nullptr, WM_NULL, 0, 0);
}

INT_PTR CALLBACK MainWindow::Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_INITDIALOG) {
    SetWindowLongPtrA(window, DWLP_USER, lParam);
    reinterpret_cast<MainWindow*>(lParam)->window_ = window;
  }
  auto* self = reinterpret_cast<MainWindow*>(GetWindowLongPtrA(window, DWLP_USER));
  return self != nullptr ? self->OnMessage(message, wParam, lParam) : FALSE;
}

INT_PTR MainWindow::OnMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_INITDIALOG:
      return OnInitDialog();
    case TrayIcon::kTrayCallback:
      switch (TrayIcon::ActionOfMouseMessage(lParam)) {
        case TrayIcon::TrayAction::kShowAlert:
          ShowAlert("");
          break;
        case TrayIcon::TrayAction::kMenu:
          TrayIcon::ShowMenu(instance_, window_);
          break;
        case TrayIcon::TrayAction::kNone:
          break;
      }
      SetWindowLongPtrA(window_, DWLP_MSGRESULT, 1);
      return TRUE;
    case MonitorMessage:
      model_->HandleMonitorMessage(static_cast<std::uint32_t>(wParam));
      SetWindowLongPtrA(window_, DWLP_MSGRESULT, 1);
      return TRUE;
    case message::kHideRequest:
      ShowWindow(window_, SW_HIDE);
      model_->ClearStartHidden();
      SetWindowLongPtrA(window_, DWLP_MSGRESULT, 1);
      return TRUE;
    case message::kMailStatusMessage:
      mailSender_.HandleMailStatus(static_cast<int>(wParam), static_cast<long>(lParam));
      return TRUE;
    case AsyncSocketWatcher::kSocketMessage:
      socketWatcher_.Dispatch(wParam, lParam);
      return TRUE;
    case WM_TIMER:
      if (wParam != AsyncSocketWatcher::kTimeLimitTimer) return FALSE;
      socketWatcher_.CheckTimeLimits();
      return TRUE;
    case WM_COMMAND:
      OnCommand(LOWORD(wParam), HIWORD(wParam), lParam);
      return TRUE;
    case WM_SYSCOMMAND:
      if ((wParam & 0xFFF0) == command::kSysAbout) {
        ShowAbout();
        return TRUE;
      }
      return FALSE;
    case WM_CLOSE:
      // The close box never ends the program.
      HideWindow();
      return TRUE;
    case WM_PAINT:
      if (DecidePaint(IsIconic(window_) != FALSE, model_->StartHidden()) == PaintAction::kDefault)
        return FALSE;
      OnPaint();
      return TRUE;
    case WM_QUERYDRAGICON:
      return reinterpret_cast<INT_PTR>(appIcon_);
    case WM_DESTROY:
      // The help pages are shown by the browser, which stays the user's.
      return FALSE;
    default:
      if (message != ShowRequestMessage()) return FALSE;
      ShowRequested();
      SetWindowLongPtrA(window_, DWLP_MSGRESULT, 1);
      return TRUE;
  }
}

UINT MainWindow::ShowRequestMessage() {
  static const UINT message = RegisterWindowMessageA("Kivo Disk Management Utility: show the main window");
  return message;
}

void MainWindow::ShowRequested() {
  if (model_->Exited()) return;
  // A window that started hidden waits off-screen: it comes back centred in
  // the work area of the nearest screen.
  RECT frame{};
  GetWindowRect(window_, &frame);
  if (MonitorFromRect(&frame, MONITOR_DEFAULTTONULL) == nullptr) CenterInWorkArea(window_);
  model_->ClearStartHidden();
  ShowWindow(window_, IsIconic(window_) != FALSE ? SW_RESTORE : SW_SHOW);
  SetForegroundWindow(window_);
}

BOOL MainWindow::OnInitDialog() {
  boxes_.SetWindow(window_);
  socketWatcher_.SetWindow(window_);
  // A window that starts hidden waits off-screen for its HideRequest.
  if (model_->StartHidden() == 1) {
    RECT frame{};
    GetWindowRect(window_, &frame);
    SetWindowPos(window_, nullptr, OffScreenX(GetSystemMetrics(SM_CXSCREEN), frame.right - frame.left), 0, 0,
                 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
  }
  char aboutText[128] = "";
  LoadStringA(instance_, IDS_ABOUTBOX, aboutText, sizeof aboutText);
  if (aboutText[0] != '\0') {
    HMENU systemMenu = GetSystemMenu(window_, FALSE);
    AppendMenuA(systemMenu, MF_SEPARATOR, 0, nullptr);
    AppendMenuA(systemMenu, MF_STRING, command::kSysAbout, aboutText);
  }
  SendMessageA(window_, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(appIcon_));
  SendMessageA(window_, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(appIconSmall_));
  model_->Start();
  return TRUE;
}

void MainWindow::OnCommand(int id, int code, LPARAM control) {
  // The controller box speaks for every change of its list; only a new
  // selection is the command.
  if (id == command::kControllerBox && code != CBN_SELCHANGE) return;
  // A button names itself; the menu and a command sent from outside do not.
  helpFromButton_ = control != 0;
  RouteCommand(*this, id);
}

void MainWindow::TakeSnapshot() {
  Snapshot(context_);
}

void MainWindow::ShowAbout() {
  AboutBox::Run(instance_, window_);
}

void MainWindow::ViewAlarms() {
  ShowAlert("");
}

void MainWindow::EndWithOk() {
  model_->EndWithOk();
}
void MainWindow::OnPaint() {
  PAINTSTRUCT paint;
  HDC dc = BeginPaint(window_, &paint);
  if (IsIconic(window_) != FALSE) {
    SendMessageA(window_, WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(dc), 0);
    RECT client{};
    GetClientRect(window_, &client);
    const int x = (client.right - client.left - GetSystemMetrics(SM_CXICON) + 1) / 2;
    const int y = (client.bottom - client.top - GetSystemMetrics(SM_CYICON) + 1) / 2;
    DrawIcon(dc, x, y, appIcon_);
  }
  // While StartHidden is 1 the window paints nothing.
  EndPaint(window_, &paint);
}

void MainWindow::HideWindow() {
  ShowWindow(window_, SW_HIDE);
}

void MainWindow::Exit() {
  model_->Exit();
}

void MainWindow::EndRun(int result) {
  ShowWindow(window_, SW_HIDE);
  // Exit may come while About, E-mail Setup or a message box runs its own
  // loop (a posted command, the uninstaller): they end, and control comes
  // back to this window's loop, which ends too.
  if (result == kExitResult) ModalWindows::EndAll({window_, alert_.Handle()});
  EndModal(result);
}
void MainWindow::ToggleAudioItem() {
  if (context_.registry == nullptr) return;
  MenuCheckMarks menu(window_);
  ToggleAudio(menu, *context_.registry, boxes_);
}

void MainWindow::CopyReport() {
  WinClipboard clipboard(window_);
  CopyReportToClipboard(clipboard, boxes_, ReportText().Text());
}

void MainWindow::OpenEmailSetup() {
  EmailSetupWindow form(instance_, window_);
  model_->OpenEmailSetup(form, mailSender_);
}
void MainWindow::ShowHelp() {
  char path[MAX_PATH] = "";
  GetModuleFileNameA(nullptr, path, sizeof path);
  std::string programDirectory = path;
  programDirectory = programDirectory.substr(0, programDirectory.find_last_of("\\/"));
  const std::string directory = FindHelpDirectory(programDirectory, "");
  const std::string page = directory + "\\" + HelpCommandPage(helpFromButton_);
  const auto result = reinterpret_cast<INT_PTR>(
      ShellExecuteA(window_, "open", page.c_str(), nullptr, nullptr, SW_SHOWNORMAL));
  if (directory.empty() || result <= 32) {
    char text[128] = "";
    LoadStringA(instance_, AFX_IDP_FAILED_TO_LAUNCH_HELP, text, sizeof text);
    boxes_.MessageBoxA(true, text, kApplicationTitle, MB_OK | MB_ICONEXCLAMATION);
  }
}

void MainWindow::Refresh() {
  model_->Refresh();
}
void MainWindow::SelectController() {
  model_->SelectController();
}

int MainWindow::SelectedEntry() {
  return static_cast<int>(SendDlgItemMessageA(window_, IDC_CONTROLLER_BOX, CB_GETCURSEL, 0, 0));
}
void MainWindow::ShowAlert(const std::string& line) {
  if (alert_.Handle() != nullptr) alert_.ShowAlert(line);
}

int MainWindow::FindEntry(const std::string& text) {
  // CB_FINDSTRINGEXACT ignores case; the entry must match exactly.
  HWND box = GetDlgItem(window_, IDC_CONTROLLER_BOX);
  const int count = static_cast<int>(SendMessageA(box, CB_GETCOUNT, 0, 0));
  for (int i = 0; i < count; ++i) {
    const auto length = SendMessageA(box, CB_GETLBTEXTLEN, static_cast<WPARAM>(i), 0);
    if (length < 0) continue;
    std::vector<char> entry(static_cast<std::size_t>(length) + 1, '\0');
    SendMessageA(box, CB_GETLBTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(entry.data()));
    if (text == entry.data()) return i;
  }
  return -1;
}

void MainWindow::SetBusy(bool busy) {
  if (busy) {
    cursorBeforeScan_ = SetCursor(LoadCursor(nullptr, IDC_WAIT));
  } else {
    SetCursor(cursorBeforeScan_);
  }
}
void MainWindow::SetEntries(const std::vector<std::string>& entries, int selected) {
  HWND box = GetDlgItem(window_, IDC_CONTROLLER_BOX);
  SendMessageA(box, CB_RESETCONTENT, 0, 0);
  for (const std::string& entry : entries) {
    SendMessageA(box, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(entry.c_str()));
  }
  SendMessageA(box, CB_SETCURSEL, static_cast<WPARAM>(selected), 0);
}
void MainWindow::SetUnitRows(int firstTime, const DisplayRow* rows, int count) {
  HWND list = GetDlgItem(window_, IDC_UNIT_LIST);
  ListView_DeleteAllItems(list);
  if (firstTime != 0 || smallIcons_ == nullptr) {
    if (smallIcons_ == nullptr) {
      // The system's small-icon size: 16 pixels at 96 DPI, more above it, as
      // the rows grow with the font.
      const int side = GetSystemMetrics(SM_CXSMICON);
      smallIcons_ = ImageList_Create(side, side, ILC_COLOR32 | ILC_MASK, 2, 2);
      for (int resource : kRowImageResources) {
        HICON icon = static_cast<HICON>(
            LoadImageA(instance_, MAKEINTRESOURCEA(resource), IMAGE_ICON, side, side, LR_DEFAULTCOLOR));
        ImageList_AddIcon(smallIcons_, icon);
        DestroyIcon(icon);
      }
    }
  }
  ListView_SetImageList(list, smallIcons_, LVSIL_SMALL);
  ListView_SetImageList(list, smallIcons_, LVSIL_NORMAL);
  if (!columnsCreated_) {
    columnsCreated_ = true;
    // The width inside the frame and the vertical scroll bar, which a long
    // list shows: columns that fill the frame would bring in a horizontal bar
    // that hides the last row.
    RECT inside{};
    GetClientRect(list, &inside);
    int width = inside.right - inside.left;
    if ((GetWindowLongA(list, GWL_STYLE) & WS_VSCROLL) == 0) width -= GetSystemMetrics(SM_CXVSCROLL);
    const std::array<int, 4> widths = UnitColumnWidths(width);
    for (int column = 0; column < 4; ++column) {
      LVCOLUMNA description{};
      description.mask = LVCF_FMT | LVCF_WIDTH | LVCF_TEXT | LVCF_SUBITEM;
      description.fmt = LVCFMT_LEFT;
      description.cx = widths[static_cast<std::size_t>(column)];
      description.pszText = const_cast<char*>(kUnitColumnTitles[static_cast<std::size_t>(column)]);
      description.iSubItem = column;
      SendMessageA(list, LVM_INSERTCOLUMNA, static_cast<WPARAM>(column),
                   reinterpret_cast<LPARAM>(&description));
    }
  }
  for (int k = 0; k < count; ++k) {
    const DisplayRow& display = rows[k];
    std::string texts[4] = {FieldText(display.nameText), FieldText(display.typeText),
                            FieldText(display.sizeText), FieldText(display.statusText)};
    LVITEMA item{};
    item.mask = LVIF_TEXT | LVIF_IMAGE;
    item.iItem = k;
    item.iImage = RowImageOf(display);
    item.pszText = texts[0].data();
    SendMessageA(list, LVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&item));
    for (int column = 1; column < 4; ++column) {
      LVITEMA sub{};
      sub.iSubItem = column;
      sub.pszText = texts[column].data();
      SendMessageA(list, LVM_SETITEMTEXTA, static_cast<WPARAM>(k), reinterpret_cast<LPARAM>(&sub));
    }
  }
}

void MainWindow::SetDisplayTexts(const DisplayTexts& texts) {
  const std::pair<int, const std::string*> bindings[] = {
      {IDC_OS_TEXT, &texts.operatingSystem}, {IDC_DRIVER_TEXT, &texts.driver},
      {IDC_MONITOR_TEXT, &texts.monitor},    {IDC_FIRMWARE_TEXT, &texts.firmware},
      {IDC_BIOS_TEXT, &texts.bios},          {IDC_PCBA_TEXT, &texts.pcba},
      {IDC_ACHIP_TEXT, &texts.aChip},        {IDC_PCHIP_TEXT, &texts.pChip},
      {IDC_TIME_TEXT, &texts.time},          {IDC_MODEL_TEXT, &texts.model},
      {IDC_STATUS_TEXT, &texts.status},      {IDC_COMPUTER_NAME, &texts.computerName},
      {IDC_UNITS_TEXT, &texts.units}};
  for (const auto& [id, text] : bindings) SetDlgItemTextA(window_, id, text->c_str());
  // A value wider than its template rectangle in the substituted font would
  // wrap onto a hidden line ("Zelka" for "Zelka Z-480"): it grows instead.
  FitStaticTexts(window_, {IDC_DRIVER_TEXT, IDC_MONITOR_TEXT, IDC_FIRMWARE_TEXT, IDC_BIOS_TEXT, IDC_PCBA_TEXT,
                           IDC_ACHIP_TEXT, IDC_PCHIP_TEXT, IDC_MODEL_TEXT});
}

void MainWindow::SetAudioMark(bool checked) {
  HMENU view = GetSubMenu(GetMenu(window_), 1);
  if (view != nullptr && GetMenuState(view, command::kAudioOff, MF_BYCOMMAND) != static_cast<UINT>(-1)) {
    CheckMenuItem(view, command::kAudioOff, MF_BYCOMMAND | (checked ? MF_CHECKED : MF_UNCHECKED));
  }
}

void MainWindow::AddTrayIcon(const char* tip) {
  TrayIcon::AddTrayIcon(window_, TrayIcon::kTrayIconId, appIconSmall_, tip);
}

void MainWindow::RemoveTrayIcon() {
  TrayIcon::RemoveTrayIcon(window_, TrayIcon::kTrayIconId);
}

void MainWindow::CreateAlert() {
  alert_.Create(instance_, window_);
}

void MainWindow::SilenceAlert() {
  alert_.StopTimers();
}

void MainWindow::PostHideRequest() {
  PostMessageA(window_, message::kHideRequest, 0, 0);
}
void MainWindow::PostMonitorMessage(std::uint32_t wParam) {
  PostMessageA(window_, MonitorMessage, wParam, 0);
}

void MainWindow::SendMailStatus(int wParam, long lParam) {
  SendMessageA(window_, message::kMailStatusMessage, static_cast<WPARAM>(wParam), lParam);
}

void MainWindow::PostMailStatus(int wParam, long lParam) {
  PostMessageA(window_, message::kMailStatusMessage, static_cast<WPARAM>(wParam), lParam);
}

}  // namespace kivo::win32ui
