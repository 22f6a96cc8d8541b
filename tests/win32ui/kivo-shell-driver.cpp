// kivo-shell-driver: drives the running utility from outside, as a person
// would, for the Windows shell stage: waits for a window by its title, sends
// a command number to the main window, presses a dialog's button, reads or
// sets a control's text, prints a window's client size, lists the windows
// shown (what a failed check saw).
//
//   kivo-shell-driver wait <title> [shown|gone] [ms]
//   kivo-shell-driver command <number>
//   kivo-shell-driver post <message> <wParam> <lParam>
//   kivo-shell-driver click <title> <control id>
//   kivo-shell-driver text <title> <control id>
//   kivo-shell-driver set <title> <control id> <text>
//   kivo-shell-driver size <title>
//   kivo-shell-driver count <title>
//   kivo-shell-driver active <title>
//   kivo-shell-driver close <title>
//   kivo-shell-driver select <title> <combo box id> <index>
//   kivo-shell-driver hscroll <title> <control id>
//   kivo-shell-driver clipboard
//   kivo-shell-driver windows
//   kivo-shell-driver version <file>
//   kivo-shell-driver manifest <file>
// Copied as "notepad.exe" it is a planted editor: it leaves "planted.txt" in
// its current folder and ends.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

constexpr char kMainTitle[] = "Kivo Disk Management Utility";

struct Search {
  const char* title;
  bool shownOnly;
  HWND found;
  int count;
};

BOOL CALLBACK Visit(HWND window, LPARAM data) {
  auto* search = reinterpret_cast<Search*>(data);
  char title[256] = "";
  GetWindowTextA(window, title, sizeof title);
  if (std::strcmp(title, search->title) != 0) return TRUE;
  if (search->shownOnly && !IsWindowVisible(window)) return TRUE;
  ++search->count;
  if (search->found == nullptr) search->found = window;
  return TRUE;
}

Search Find(const char* title, bool shownOnly) {
  Search search{title, shownOnly, nullptr, 0};
  EnumWindows(Visit, reinterpret_cast<LPARAM>(&search));
  return search;
}

BOOL CALLBACK Describe(HWND window, LPARAM data) {
  if (!IsWindowVisible(window)) return TRUE;
  char title[256] = "";
  char type[128] = "";
  GetWindowTextA(window, title, sizeof title);
  GetClassNameA(window, type, sizeof type);
  auto* text = reinterpret_cast<std::string*>(data);
  *text += "  \"" + std::string(title) + "\" (" + type + ")";
  // A message box's or dialog's own text: its static control 65535.
  char words[512] = "";
  if (GetDlgItemTextA(window, 65535, words, sizeof words) > 0) *text += ": " + std::string(words);
  *text += "\n";
  return TRUE;
}

// The shown top-level windows, topmost first: title, class, a box's text.
std::string ShownWindows() {
  std::string text;
  EnumWindows(Describe, reinterpret_cast<LPARAM>(&text));
  return text.empty() ? "  (none)\n" : text;
}

int NoMainWindow() {
  std::fprintf(stderr, "kivo-shell-driver: no window \"%s\"; shown:\n%s", kMainTitle, ShownWindows().c_str());
  return 1;
}

// A resource read that failed, and why, for the stage's failure message.
int ReadFailed(const char* call, const char* file) {
  std::fprintf(stderr, "kivo-shell-driver: %s of %s failed: error %lu\n", call, file,
               static_cast<unsigned long>(GetLastError()));
  return 1;
}

int Usage() {
  std::fprintf(
      stderr, "usage: kivo-shell-driver wait|command|post|click|text|set|size|count|clipboard|windows ...\n");
  return 2;
}

}  // namespace

// The version record as Explorer's Properties show it: the fixed versions and
// the strings of the first translation.
int PrintVersion(const char* file) {
  DWORD ignored = 0;
  const DWORD size = GetFileVersionInfoSizeA(file, &ignored);
  if (size == 0) return ReadFailed("GetFileVersionInfoSizeA", file);
  std::string data(size, '\0');
  if (!GetFileVersionInfoA(file, 0, size, data.data())) return ReadFailed("GetFileVersionInfoA", file);
  VS_FIXEDFILEINFO* fixed = nullptr;
  UINT length = 0;
  if (!VerQueryValueA(data.data(), "\\", reinterpret_cast<void**>(&fixed), &length)) {
    return ReadFailed("VerQueryValueA(\\)", file);
  }
  std::printf("FileVersion %lu.%lu.%lu.%lu\nProductVersion %lu.%lu.%lu.%lu\n", fixed->dwFileVersionMS >> 16,
              fixed->dwFileVersionMS & 0xFFFF, fixed->dwFileVersionLS >> 16, fixed->dwFileVersionLS & 0xFFFF,
              fixed->dwProductVersionMS >> 16, fixed->dwProductVersionMS & 0xFFFF,
              fixed->dwProductVersionLS >> 16, fixed->dwProductVersionLS & 0xFFFF);
  WORD* translation = nullptr;
  if (!VerQueryValueA(data.data(), "\\VarFileInfo\\Translation", reinterpret_cast<void**>(&translation),
                      &length) ||
      length < 4) {
    return ReadFailed("VerQueryValueA(Translation)", file);
  }
  for (const char* name : {"CompanyName", "FileDescription", "FileVersion", "OriginalFilename", "ProductName",
                           "ProductVersion"}) {
    char query[128];
    std::snprintf(query, sizeof query, "\\StringFileInfo\\%04x%04x\\%s", translation[0], translation[1],
                  name);
    char* value = nullptr;
    if (VerQueryValueA(data.data(), query, reinterpret_cast<void**>(&value), &length) && length > 0) {
      std::printf("%s: %s\n", name, value);
    }
  }
  return 0;
}

// The embedded manifest (resource type 24, id 1) as the loader reads it.
int PrintManifest(const char* file) {
  HMODULE module = LoadLibraryExA(file, nullptr, LOAD_LIBRARY_AS_DATAFILE);
  if (module == nullptr) return ReadFailed("LoadLibraryExA", file);
  HRSRC resource = FindResourceA(module, MAKEINTRESOURCEA(1), MAKEINTRESOURCEA(24));
  HGLOBAL loaded = resource != nullptr ? LoadResource(module, resource) : nullptr;
  if (loaded != nullptr) {
    std::fwrite(LockResource(loaded), 1, SizeofResource(module, resource), stdout);
  }
  const int status = loaded != nullptr ? 0 : ReadFailed("FindResourceA/LoadResource(24, 1)", file);
  FreeLibrary(module);
  return status;
}

int main(int argc, char** argv) {
  char self[MAX_PATH] = "";
  GetModuleFileNameA(nullptr, self, sizeof self);
  const std::string selfPath = self;
  if (selfPath.size() >= 12 && _stricmp(selfPath.c_str() + selfPath.size() - 12, "\\notepad.exe") == 0) {
    if (FILE* trace = std::fopen("planted.txt", "w")) std::fclose(trace);
    return 0;
  }
  if (argc < 2) return Usage();
  const std::string verb = argv[1];
  if (verb == "version" && argc > 2) return PrintVersion(argv[2]);
  if (verb == "manifest" && argc > 2) return PrintManifest(argv[2]);
  if (verb == "windows") {
    std::fputs(ShownWindows().c_str(), stdout);
    return 0;
  }
  if (verb == "clipboard") {
    // The plain text on the clipboard, as another program pastes it.
    if (!OpenClipboard(nullptr)) return 1;
    HANDLE data = GetClipboardData(CF_TEXT);
    if (data != nullptr) {
      std::fputs(static_cast<const char*>(GlobalLock(data)), stdout);
      GlobalUnlock(data);
    }
    CloseClipboard();
    return data != nullptr ? 0 : 1;
  }
  if (argc < 3) return Usage();
  if (verb == "wait") {
    const std::string mode = argc > 3 ? argv[3] : "shown";
    const DWORD limit = argc > 4 ? static_cast<DWORD>(std::atoi(argv[4])) : 20000;
    const DWORD start = GetTickCount();
    for (;;) {
      const bool present = Find(argv[2], true).found != nullptr;
      if (present == (mode != "gone")) return 0;
      if (GetTickCount() - start > limit) break;
      Sleep(50);  // another process's windows cannot be waited on otherwise
    }
    std::fprintf(stderr, "kivo-shell-driver: \"%s\" not %s after %lu ms; shown:\n%s", argv[2], mode.c_str(),
                 static_cast<unsigned long>(limit), ShownWindows().c_str());
    return 1;
  }
  if (verb == "command") {
    HWND main = FindWindowA(nullptr, kMainTitle);
    if (main == nullptr) return NoMainWindow();
    // Posted: the command may run a modal dialog for as long as it likes.
    return PostMessageA(main, WM_COMMAND, static_cast<WPARAM>(std::atoi(argv[2])), 0) ? 0 : 1;
  }
  if (verb == "post" && argc > 4) {
    // A window message to the main window as the system would post it (a
    // system command, a mouse message over the tray icon).
    HWND main = FindWindowA(nullptr, kMainTitle);
    if (main == nullptr) return NoMainWindow();
    return PostMessageA(main, static_cast<UINT>(std::strtoul(argv[2], nullptr, 0)),
                        static_cast<WPARAM>(std::strtoul(argv[3], nullptr, 0)),
                        static_cast<LPARAM>(std::strtol(argv[4], nullptr, 0)))
               ? 0
               : 1;
  }
  if (argc < 4 && verb != "size" && verb != "count" && verb != "active" && verb != "close") return Usage();
  const Search search = Find(argv[2], true);
  if (verb == "count") {
    std::printf("%d\n", Find(argv[2], false).count);
    return 0;
  }
  if (search.found == nullptr) {
    std::fprintf(stderr, "kivo-shell-driver: no window \"%s\"; shown:\n%s", argv[2], ShownWindows().c_str());
    return 1;
  }
  HWND window = search.found;
  if (verb == "active") return GetForegroundWindow() == window ? 0 : 1;
  if (verb == "close") return PostMessageA(window, WM_CLOSE, 0, 0) ? 0 : 1;
  if (verb == "size") {
    RECT client{};
    GetClientRect(window, &client);
    std::printf("%ldx%ld\n", client.right, client.bottom);
    return 0;
  }
  const int id = std::atoi(argv[3]);
  if (verb == "click") {
    HWND control = GetDlgItem(window, id);
    return PostMessageA(window, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(control))
               ? 0
               : 1;
  }
  if (verb == "text") {
    char text[4096] = "";
    GetDlgItemTextA(window, id, text, sizeof text);
    std::printf("%s\n", text);
    return 0;
  }
  if (verb == "set" && argc > 4) return SetDlgItemTextA(window, id, argv[4]) ? 0 : 1;
  if (verb == "select" && argc > 4) {
    // As a person picks an entry: the selection moves, the box tells its
    // window.
    HWND box = GetDlgItem(window, id);
    SendMessageA(box, CB_SETCURSEL, static_cast<WPARAM>(std::atoi(argv[4])), 0);
    return PostMessageA(window, WM_COMMAND, MAKEWPARAM(id, CBN_SELCHANGE), reinterpret_cast<LPARAM>(box)) ? 0
                                                                                                          : 1;
  }
  if (verb == "hscroll") {
    std::printf("%d\n", (GetWindowLongA(GetDlgItem(window, id), GWL_STYLE) & WS_HSCROLL) != 0 ? 1 : 0);
    return 0;
  }
  return Usage();
}
