// The e-mail setup form and its data exchange.
#include "win32ui/EmailSetupWindow.h"

#include <string>
#include <vector>

#include "win32ui/ModalWindows.h"
#include "win32ui/StaticTextFit.h"
#include "win32ui/WorkArea.h"

namespace kivo::win32ui {

namespace {

std::string ItemText(HWND window, int id) {
  const int length = GetWindowTextLengthA(GetDlgItem(window, id));
  std::vector<char> text(static_cast<std::size_t>(length) + 1, '\0');
  GetDlgItemTextA(window, id, text.data(), length + 1);
  return text.data();
}

}  // namespace

int EmailSetupWindow::Run(EmailSetupFields& fields) {
  if (ModalWindows::Closed()) return IDCANCEL;
  fields_ = &fields;
  const INT_PTR result = DialogBoxParamA(instance_, MAKEINTRESOURCEA(IDD_EMAIL_SETUP), owner_, Procedure,
                                         reinterpret_cast<LPARAM>(this));
  fields_ = nullptr;
  return result == IDOK ? IDOK : IDCANCEL;
}

INT_PTR CALLBACK EmailSetupWindow::Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_INITDIALOG) SetWindowLongPtrA(window, DWLP_USER, lParam);
  auto* self = reinterpret_cast<EmailSetupWindow*>(GetWindowLongPtrA(window, DWLP_USER));
  if (self == nullptr || self->fields_ == nullptr) return FALSE;
  EmailSetupFields& fields = *self->fields_;
  switch (message) {
    case WM_INITDIALOG:
      SetDlgItemTextA(window, IDC_SMTP_SERVER, fields.server.c_str());
      SetDlgItemTextA(window, IDC_RECIPIENTS, fields.recipients.c_str());
      SetDlgItemTextA(window, IDC_SENDER_ADDRESS, fields.senderAddress.c_str());
      SetDlgItemTextA(window, IDC_SENDER_NAME, fields.senderName.c_str());
      CheckDlgButton(window, IDC_ENABLE_EMAIL, fields.enable != 0 ? BST_CHECKED : BST_UNCHECKED);
      FitStaticTexts(window);
      // Asked for while the main window waits hidden (the Start menu's
      // "Kivo E-mail Setup", a command from outside), the dialog would sit
      // at the hidden window's place: it comes up in the middle of the
      // screen, in front, as the user just asked for it.
      if (!IsWindowVisible(GetParent(window))) {
        CenterInWorkArea(window);
        SetForegroundWindow(window);
      }
      return TRUE;
    case WM_COMMAND:
      if (LOWORD(wParam) == IDOK) {
        fields.server = ItemText(window, IDC_SMTP_SERVER);
        fields.recipients = ItemText(window, IDC_RECIPIENTS);
        fields.senderAddress = ItemText(window, IDC_SENDER_ADDRESS);
        fields.senderName = ItemText(window, IDC_SENDER_NAME);
        fields.enable = IsDlgButtonChecked(window, IDC_ENABLE_EMAIL) == BST_CHECKED ? 1 : 0;
        EndDialog(window, IDOK);
        return TRUE;
      }
      if (LOWORD(wParam) == IDCANCEL) {
        EndDialog(window, IDCANCEL);
        return TRUE;
      }
      return FALSE;
    default:
      return FALSE;
  }
}

}  // namespace kivo::win32ui
