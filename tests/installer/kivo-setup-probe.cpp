// kivo-setup-probe: reads and drives the setup program and what it leaves, for
// the setup stage under Wine:
//
//   kivo-setup-probe texts <title>              every control of the windows of that title
//                                               (the wizard, a box over it) and its pages:
//                                               "class|id|checked|text", one a line; a
//                                               list's rows as "row|id|-1|text"
//   kivo-setup-probe click <title> <text>       presses the button or box showing <text>
//   kivo-setup-probe key <title> <class> <vk>   a key pressed in the window's first control
//                                               of that class (the components list)
//   kivo-setup-probe point <title> <row>        the mouse over row <row> of the window's
//                                               tree list (a part's description shows)
//   kivo-setup-probe security <HKU|HKLM> <path> the key's owner and access list, one entry a
//                                               line: "allow|deny <sid> 0x<mask> <flags>"
//   kivo-setup-probe shortcut <file.lnk>        the shortcut's target, arguments, folder
//   kivo-setup-probe shell <ready-file>         a stand-in desktop shell (its window is the
//                                               shell window) until it is ended
//   kivo-setup-probe hold <service> <ready-file> holds the service open, as the Services
//                                               window does, until it is ended
//   kivo-setup-probe rect <title>               whether the shown window lies on the screen
//   kivo-setup-probe opened <record> <args...>  writes its arguments into <record> (a stand-in
//                                               for the program that opens a page)
#include <windows.h>

#include <commctrl.h>

#include <sddl.h>
#include <shlobj.h>
#include <shobjidl.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

// user32 has it, the headers do not declare it.
extern "C" __declspec(dllimport) BOOL WINAPI SetShellWindow(HWND window);

namespace {

std::string Narrow(const wchar_t* text) {
  const int length = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
  std::string narrow(static_cast<std::size_t>(length > 0 ? length : 1), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text, -1, narrow.data(), length, nullptr, nullptr);
  narrow.resize(narrow.size() - 1);
  return narrow;
}

std::wstring Wide(const char* text) {
  const int length = MultiByteToWideChar(CP_UTF8, 0, text, -1, nullptr, 0);
  std::wstring wide(static_cast<std::size_t>(length), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, text, -1, wide.data(), length);
  wide.resize(wide.size() - 1);
  return wide;
}

// A control's text as its own process answers it: WM_GETTEXT is carried
// across processes, GetWindowText of another process's edit is not.
std::string TextOf(HWND window) {
  DWORD_PTR length = 0;
  if (!SendMessageTimeoutW(window, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, 2000, &length)) return "";
  std::vector<wchar_t> text(length + 1, L'\0');
  DWORD_PTR copied = 0;
  SendMessageTimeoutW(window, WM_GETTEXT, length + 1, reinterpret_cast<LPARAM>(text.data()), SMTO_ABORTIFHUNG,
                      2000, &copied);
  return Narrow(text.data());
}

std::string ClassOf(HWND window) {
  char name[64] = "";
  GetClassNameA(window, name, sizeof name);
  return name;
}

// Every shown top-level window of that title: the wizard, and a message box
// of its own over it, carry the same one.
std::vector<HWND> FindAllShown(const char* title) {
  struct Search {
    std::wstring title;
    std::vector<HWND> found;
  } search{Wide(title), {}};
  EnumWindows(
      [](HWND window, LPARAM data) -> BOOL {
        auto* s = reinterpret_cast<Search*>(data);
        wchar_t text[256] = L"";
        GetWindowTextW(window, text, 256);
        // The wizard's caption ends in a blank on some pages.
        std::wstring shown = text;
        while (!shown.empty() && shown.back() == L' ') shown.pop_back();
        if (s->title == shown && IsWindowVisible(window)) s->found.push_back(window);
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&search));
  return search.found;
}

HWND FindShown(const char* title) {
  const std::vector<HWND> found = FindAllShown(title);
  return found.empty() ? nullptr : found.front();
}

std::vector<HWND> Descendants(HWND window) {
  std::vector<HWND> found;
  EnumChildWindows(
      window,
      [](HWND child, LPARAM data) -> BOOL {
        reinterpret_cast<std::vector<HWND>*>(data)->push_back(child);
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&found));
  return found;
}

// The rows of another process's list view (the progress page's details):
// the list writes each row into memory of its own process, read from there.
std::vector<std::string> ListRows(HWND list) {
  std::vector<std::string> rows;
  DWORD owner = 0;
  GetWindowThreadProcessId(list, &owner);
  HANDLE process = OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, owner);
  if (process == nullptr) return rows;
  constexpr std::size_t kTextChars = 1024;
  const std::size_t size = sizeof(LVITEMW) + kTextChars * sizeof(wchar_t);
  auto* remote = static_cast<BYTE*>(VirtualAllocEx(process, nullptr, size, MEM_COMMIT, PAGE_READWRITE));
  if (remote != nullptr) {
    DWORD_PTR count = 0;
    SendMessageTimeoutW(list, LVM_GETITEMCOUNT, 0, 0, SMTO_ABORTIFHUNG, 2000, &count);
    for (DWORD_PTR i = 0; i < count; ++i) {
      LVITEMW item{};
      item.mask = LVIF_TEXT;
      item.iItem = static_cast<int>(i);
      item.pszText = reinterpret_cast<LPWSTR>(remote + sizeof(LVITEMW));
      item.cchTextMax = kTextChars;
      WriteProcessMemory(process, remote, &item, sizeof item, nullptr);
      DWORD_PTR copied = 0;
      SendMessageTimeoutW(list, LVM_GETITEMTEXTW, i, reinterpret_cast<LPARAM>(remote), SMTO_ABORTIFHUNG, 2000,
                          &copied);
      wchar_t text[kTextChars] = L"";
      ReadProcessMemory(process, remote + sizeof(LVITEMW), text, sizeof text - sizeof(wchar_t), nullptr);
      rows.push_back(Narrow(text));
    }
    VirtualFreeEx(process, remote, 0, MEM_RELEASE);
  }
  CloseHandle(process);
  return rows;
}

// The controls of every shown window of that title.
std::vector<HWND> ControlsOf(const char* title) {
  std::vector<HWND> controls;
  for (HWND window : FindAllShown(title)) {
    for (HWND control : Descendants(window)) controls.push_back(control);
  }
  return controls;
}

int NoWindow(const char* title) {
  std::fprintf(stderr, "kivo-setup-probe: no shown window \"%s\"\n", title);
  return 1;
}

// Every shown control: its class, id, check state (buttons) and text. A
// page's hidden controls are left out, as a person does not see them.
int Texts(const char* title) {
  const std::vector<HWND> controls = ControlsOf(title);
  if (controls.empty()) return NoWindow(title);
  for (HWND control : controls) {
    if (!IsWindowVisible(control)) continue;
    const std::string kind = ClassOf(control);
    int checked = -1;
    if (kind == "Button") {
      const LONG style = GetWindowLongA(control, GWL_STYLE) & BS_TYPEMASK;
      if (style == BS_CHECKBOX || style == BS_AUTOCHECKBOX || style == BS_RADIOBUTTON ||
          style == BS_AUTORADIOBUTTON) {
        DWORD_PTR state = 0;
        SendMessageTimeoutW(control, BM_GETCHECK, 0, 0, SMTO_ABORTIFHUNG, 2000, &state);
        checked = static_cast<int>(state);
      }
    }
    std::string text = TextOf(control);
    for (char& c : text) {
      if (c == '\r' || c == '\n') c = ' ';
    }
    std::printf("%s|%d|%d|%s\n", kind.c_str(), GetDlgCtrlID(control), checked, text.c_str());
    if (kind == "SysListView32") {
      for (const std::string& row : ListRows(control))
        std::printf("row|%d|-1|%s\n", GetDlgCtrlID(control), row.c_str());
    }
  }
  return 0;
}

// A press of the shown, enabled button (or check box) that reads `text`,
// the accelerator's "&" left out, as a click of the mouse makes it.
int Click(const char* title, const char* text) {
  const std::vector<HWND> controls = ControlsOf(title);
  if (controls.empty()) return NoWindow(title);
  for (HWND control : controls) {
    if (!IsWindowVisible(control) || ClassOf(control) != "Button") continue;
    std::string shown = TextOf(control);
    std::string plain;
    for (char c : shown) {
      if (c != '&') plain += c;
    }
    if (plain != text) continue;
    if (!IsWindowEnabled(control)) {
      std::fprintf(stderr, "kivo-setup-probe: \"%s\" is disabled\n", text);
      return 1;
    }
    return PostMessageW(control, BM_CLICK, 0, 0) ? 0 : 1;
  }
  std::fprintf(stderr, "kivo-setup-probe: no button \"%s\" in \"%s\"\n", text, title);
  return 1;
}

int Key(const char* title, const char* kind, const char* key) {
  HWND window = FindShown(title);
  if (window == nullptr) return NoWindow(title);
  const WPARAM vk = static_cast<WPARAM>(std::strtoul(key, nullptr, 0));
  for (HWND control : Descendants(window)) {
    if (!IsWindowVisible(control) || ClassOf(control) != kind) continue;
    PostMessageW(control, WM_KEYDOWN, vk, 1);
    return PostMessageW(control, WM_KEYUP, vk, static_cast<LPARAM>(0xC0000001u)) ? 0 : 1;
  }
  std::fprintf(stderr, "kivo-setup-probe: no %s in \"%s\"\n", kind, title);
  return 1;
}

// The mouse moved over a row of the components list, as a person points at
// a part: the pointer goes there and the list is told.
int Point(const char* title, const char* row) {
  HWND window = FindShown(title);
  if (window == nullptr) return NoWindow(title);
  for (HWND control : Descendants(window)) {
    if (!IsWindowVisible(control) || ClassOf(control) != "SysTreeView32") continue;
    DWORD_PTR height = 0;
    SendMessageTimeoutW(control, TVM_GETITEMHEIGHT, 0, 0, SMTO_ABORTIFHUNG, 2000, &height);
    POINT at{60, static_cast<LONG>(std::atoi(row) * static_cast<int>(height) + static_cast<int>(height) / 2)};
    POINT screen = at;
    ClientToScreen(control, &screen);
    SetCursorPos(screen.x, screen.y);
    return PostMessageW(control, WM_MOUSEMOVE, 0, MAKELPARAM(at.x, at.y)) ? 0 : 1;
  }
  std::fprintf(stderr, "kivo-setup-probe: no tree list in \"%s\"\n", title);
  return 1;
}

std::string SidText(PSID sid) {
  LPSTR text = nullptr;
  if (!ConvertSidToStringSidA(sid, &text)) return "?";
  std::string result = text;
  LocalFree(text);
  return result;
}

// The key's descriptor read back with RegGetKeySecurity, as an administrator
// would look at it: owner, whether the list is protected, each entry.
int Security(const char* hive, const char* path) {
  HKEY root = std::string(hive) == "HKLM" ? HKEY_LOCAL_MACHINE : HKEY_USERS;
  HKEY key = nullptr;
  LONG status = RegOpenKeyExA(root, path, 0, READ_CONTROL | KEY_WOW64_64KEY, &key);
  if (status != ERROR_SUCCESS) {
    std::fprintf(stderr, "kivo-setup-probe: %s\\%s: cannot open (%ld)\n", hive, path, status);
    return 1;
  }
  const SECURITY_INFORMATION wanted = OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION;
  DWORD size = 0;
  RegGetKeySecurity(key, wanted, nullptr, &size);
  std::vector<BYTE> bytes(size);
  auto* descriptor = reinterpret_cast<PSECURITY_DESCRIPTOR>(bytes.data());
  status = size == 0 ? ERROR_INVALID_DATA : RegGetKeySecurity(key, wanted, descriptor, &size);
  RegCloseKey(key);
  if (status != ERROR_SUCCESS) {
    std::fprintf(stderr, "kivo-setup-probe: %s\\%s: no descriptor (%ld)\n", hive, path, status);
    return 1;
  }
  PSID owner = nullptr;
  BOOL defaulted = FALSE;
  if (GetSecurityDescriptorOwner(descriptor, &owner, &defaulted) && owner != nullptr) {
    std::printf("owner %s\n", SidText(owner).c_str());
  }
  SECURITY_DESCRIPTOR_CONTROL control = 0;
  DWORD revision = 0;
  GetSecurityDescriptorControl(descriptor, &control, &revision);
  BOOL present = FALSE;
  PACL list = nullptr;
  GetSecurityDescriptorDacl(descriptor, &present, &list, &defaulted);
  if (!present || list == nullptr) {
    std::printf("no access list (everyone may do everything)\n");
    return 0;
  }
  std::printf("access list%s\n", (control & SE_DACL_PROTECTED) != 0 ? " protected" : "");
  for (DWORD i = 0; i < list->AceCount; ++i) {
    void* entry = nullptr;
    if (!GetAce(list, i, &entry)) continue;
    const auto* header = static_cast<ACE_HEADER*>(entry);
    if (header->AceType != ACCESS_ALLOWED_ACE_TYPE && header->AceType != ACCESS_DENIED_ACE_TYPE) {
      std::printf("entry of type %u\n", header->AceType);
      continue;
    }
    // Allowed and denied entries share their layout.
    auto* allow = static_cast<ACCESS_ALLOWED_ACE*>(entry);
    std::string flags;
    if (header->AceFlags & OBJECT_INHERIT_ACE) flags += " OI";
    if (header->AceFlags & CONTAINER_INHERIT_ACE) flags += " CI";
    if (header->AceFlags & INHERIT_ONLY_ACE) flags += " IO";
    if (header->AceFlags & INHERITED_ACE) flags += " ID";
    std::printf("%s %s 0x%lx%s\n", header->AceType == ACCESS_ALLOWED_ACE_TYPE ? "allow" : "deny",
                SidText(reinterpret_cast<PSID>(&allow->SidStart)).c_str(), allow->Mask, flags.c_str());
  }
  return 0;
}

int Shortcut(const char* file) {
  CoInitialize(nullptr);
  IShellLinkW* link = nullptr;
  if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                              reinterpret_cast<void**>(&link)))) {
    return 1;
  }
  IPersistFile* persist = nullptr;
  link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&persist));
  const std::wstring path = Wide(file);
  if (persist == nullptr || FAILED(persist->Load(path.c_str(), STGM_READ))) {
    std::fprintf(stderr, "kivo-setup-probe: cannot read %s\n", file);
    return 1;
  }
  wchar_t target[MAX_PATH] = L"";
  wchar_t arguments[1024] = L"";
  wchar_t folder[MAX_PATH] = L"";
  link->GetPath(target, MAX_PATH, nullptr, SLGP_RAWPATH);
  link->GetArguments(arguments, 1024);
  link->GetWorkingDirectory(folder, MAX_PATH);
  std::printf("target %s\narguments %s\nfolder %s\n", Narrow(target).c_str(), Narrow(arguments).c_str(),
              Narrow(folder).c_str());
  persist->Release();
  link->Release();
  return 0;
}

// The desktop's shell, as far as the setup program looks for one: a window
// that the system names as the shell window. Runs until it is ended.
int StandInShell(const char* readyFile) {
  HWND window = CreateWindowExA(0, "STATIC", "Kivo test shell", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr,
                                GetModuleHandleA(nullptr), nullptr);
  if (window == nullptr || !SetShellWindow(window) || GetShellWindow() != window) {
    std::fprintf(stderr, "kivo-setup-probe: the shell window could not be set (%lu)\n", GetLastError());
    return 1;
  }
  if (FILE* ready = std::fopen(readyFile, "w")) {
    std::fprintf(ready, "%lu\n", GetCurrentProcessId());
    std::fclose(ready);
  }
  MSG message;
  while (GetMessageA(&message, nullptr, 0, 0) > 0) DispatchMessageA(&message);
  return 0;
}

// A handle to the service kept open: a removal can only mark it, and the
// service manager lets it go once this program ends.
int Hold(const char* name, const char* readyFile) {
  SC_HANDLE manager = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT);
  SC_HANDLE service = manager != nullptr ? OpenServiceA(manager, name, SERVICE_QUERY_STATUS) : nullptr;
  if (service == nullptr) {
    std::fprintf(stderr, "kivo-setup-probe: cannot open the service %s (%lu)\n", name, GetLastError());
    return 1;
  }
  if (FILE* ready = std::fopen(readyFile, "w")) {
    std::fprintf(ready, "%lu\n", GetCurrentProcessId());
    std::fclose(ready);
  }
  Sleep(INFINITE);
  return 0;
}

int Rect(const char* title) {
  HWND window = FindShown(title);
  if (window == nullptr) return NoWindow(title);
  RECT frame{};
  GetWindowRect(window, &frame);
  const bool onScreen = MonitorFromRect(&frame, MONITOR_DEFAULTTONULL) != nullptr;
  std::printf("%ld,%ld %ldx%ld %s\n", frame.left, frame.top, frame.right - frame.left,
              frame.bottom - frame.top, onScreen ? "on screen" : "off screen");
  return onScreen ? 0 : 1;
}

int Opened(int argc, char** argv) {
  FILE* record = std::fopen(argv[2], "a");
  if (record == nullptr) return 1;
  for (int i = 3; i < argc; ++i) std::fprintf(record, "%s%s", i > 3 ? " " : "", argv[i]);
  std::fputs("\n", record);
  std::fclose(record);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string verb = argc > 1 ? argv[1] : "";
  if (verb == "texts" && argc == 3) return Texts(argv[2]);
  if (verb == "click" && argc == 4) return Click(argv[2], argv[3]);
  if (verb == "key" && argc == 5) return Key(argv[2], argv[3], argv[4]);
  if (verb == "point" && argc == 4) return Point(argv[2], argv[3]);
  if (verb == "security" && argc == 4) return Security(argv[2], argv[3]);
  if (verb == "shortcut" && argc == 3) return Shortcut(argv[2]);
  if (verb == "shell" && argc == 3) return StandInShell(argv[2]);
  if (verb == "rect" && argc == 3) return Rect(argv[2]);
  if (verb == "hold" && argc == 4) return Hold(argv[2], argv[3]);
  if (verb == "opened" && argc >= 3) return Opened(argc, argv);
  std::fprintf(stderr, "usage: kivo-setup-probe texts|click|key|security|shortcut|shell|rect|opened ...\n");
  return 2;
}
