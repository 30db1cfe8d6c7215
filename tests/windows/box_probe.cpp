// box_probe: starts a Windows GUI program, reads the message box it shows, presses OK and reports.
//
//   box_probe.exe EXE "RAW COMMAND LINE"
//
// EXE is started with exactly the given command line (CreateProcessA(EXE, LINE), the line handed
// over unchanged, so its first token is what the program sees as its own path). The probe then
// waits for a visible top-level dialog window (class "#32770") of that process, reads it, closes
// it with OK (WM_COMMAND IDOK) and waits for the process to end. It keeps watching while the
// process lives, so a second box is seen (and closed with OK too).
//
// Report, on standard output (binary mode: no carriage returns are added), one field a line, in
// this order. In the fields line and caption a backslash, carriage return or line feed is written
// as \\, \r or \n, so that each stays one line.
//   line=TEXT                the command line handed to the program
//   box=shown|none|timeout   shown: a box was read; none: the process ended without one;
//                            timeout: no box came in time (the process is then ended by force)
//   boxes=N                  how many boxes the process showed in all
//   exit=N|killed|timeout    the exit code; killed after a box timeout; timeout when the process
//                            did not end within the time limit after its box was closed
// and, for box=shown, on the first box:
//   caption=TEXT             the caption
//   icon=KIND                none, warning, error, information, question or unknown
//   text_length=N            the length in bytes of the box's text
//   text=TEXT                the raw text, exactly N bytes, line feeds and all; nothing follows
// Texts are the bytes the program handed to MessageBoxA, read back through WM_GETTEXT: UTF-8,
// since the probe runs with dolvane.exe's manifest and so with its code page, as do the command
// line and program it is given.
//
// Exit code 0 when exactly one box was shown and read and the process then ended; 1 for any
// other outcome (no box, a timeout, more than one box, a text that could not be read); 2 for
// wrong use or a program that cannot be started. Reasons go to standard error.
//
// Boxes are found on the whole desktop and the icon is read from the screen, so run one probe at
// a time on a desktop, with nothing covering the box. Without a display (no X server for Wine)
// MessageBoxA returns at once and the probe reports box=none: it cannot pass without a real box.
// Build: x86_64-w64-mingw32-g++-posix -std=c++20 -static -O2 box_probe.cpp -lgdi32 (a console
// program; CMake's MinGW toolchain links gdi32 by default).
//
// The time limit is 20 seconds for the box to appear and again for the process to end after OK;
// the environment variable BOX_PROBE_TIMEOUT (whole seconds) changes it.
//
// Under Wine 8 the message box is a "#32770" dialog whose text is the static control of id 0xFFFF
// (as on Windows) and whose icon is a static control with the SS_ICON style (id 0x440 in Wine,
// 0x14 on Windows), present even when the box has no icon; it then holds no icon (STM_GETICON
// gives null). Icon handles belong to the process that loaded them, so a handle from the box
// cannot be compared with this process's LoadIcon(NULL, IDI_WARNING). The kind is therefore read
// from the screen: the pixels of the icon control are compared with this process's own drawing
// of each standard icon on the same background (a box whose icon lies outside the screen is
// moved first). A control that holds an icon matching none of
// them (or that could not be captured) is "unknown".

#include <windows.h>

#include <fcntl.h>
#include <io.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

// No wildcard expansion of this program's own arguments ("-?" is a pattern to MinGW's start-up).
extern "C" {
int _dowildcard = 0;
}

namespace {

constexpr int kTextControlId = 0xFFFF;
constexpr DWORD kPollMs = 50;
constexpr UINT kSendTimeoutMs = 5000;

struct FindState {
  DWORD processId = 0;
  std::vector<HWND> boxes;
};

BOOL CALLBACK CollectBox(HWND window, LPARAM param) {
  auto* state = reinterpret_cast<FindState*>(param);
  DWORD owner = 0;
  GetWindowThreadProcessId(window, &owner);
  if (owner != state->processId || !IsWindowVisible(window)) {
    return TRUE;
  }
  char className[16] = {};
  GetClassNameA(window, className, sizeof className);
  if (std::strcmp(className, "#32770") == 0) {
    state->boxes.push_back(window);
  }
  return TRUE;
}

// The visible top-level dialogs of the process, now.
std::vector<HWND> VisibleBoxes(DWORD processId) {
  FindState state;
  state.processId = processId;
  EnumWindows(CollectBox, reinterpret_cast<LPARAM>(&state));
  return state.boxes;
}

// A window's text through WM_GETTEXT with a time limit. False when the window does not answer.
bool ReadText(HWND window, std::string& text) {
  DWORD_PTR length = 0;
  if (!SendMessageTimeoutA(window, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, kSendTimeoutMs,
                           &length)) {
    return false;
  }
  std::vector<char> area(length + 1, '\0');
  DWORD_PTR copied = 0;
  if (!SendMessageTimeoutA(window, WM_GETTEXT, area.size(), reinterpret_cast<LPARAM>(area.data()),
                           SMTO_ABORTIFHUNG, kSendTimeoutMs, &copied)) {
    return false;
  }
  text.assign(area.data(), copied < area.size() ? copied : length);
  return true;
}

std::string OneLine(const std::string& text) {
  std::string out;
  for (char c : text) {
    if (c == '\\') {
      out += "\\\\";
    } else if (c == '\r') {
      out += "\\r";
    } else if (c == '\n') {
      out += "\\n";
    } else {
      out += c;
    }
  }
  return out;
}

struct IconSearch {
  HWND control = nullptr;
};

BOOL CALLBACK FindIconControl(HWND child, LPARAM param) {
  char className[16] = {};
  GetClassNameA(child, className, sizeof className);
  LONG_PTR style = GetWindowLongPtrA(child, GWL_STYLE);
  if (_stricmp(className, "Static") == 0 && (style & SS_TYPEMASK) == SS_ICON) {
    reinterpret_cast<IconSearch*>(param)->control = child;
    return FALSE;
  }
  return TRUE;
}

// The 32-bit pixels of a `width` x `height` area, top row first, either copied from `source` at
// (x, y) or, with no source, filled with `fill` and with `icon` drawn at (0, 0).
std::vector<DWORD> Pixels(HDC source, int x, int y, int width, int height, DWORD fill, HICON icon) {
  std::vector<DWORD> pixels;
  HDC screen = GetDC(nullptr);
  HDC memory = CreateCompatibleDC(screen);
  BITMAPINFO info = {};
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = -height;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  HBITMAP bitmap = CreateDIBSection(memory, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  if (memory != nullptr && bitmap != nullptr) {
    HGDIOBJ old = SelectObject(memory, bitmap);
    auto* area = static_cast<DWORD*>(bits);
    size_t count = static_cast<size_t>(width) * static_cast<size_t>(height);
    bool ok = true;
    if (source != nullptr) {
      ok = BitBlt(memory, 0, 0, width, height, source, x, y, SRCCOPY) != 0;
    } else {
      for (size_t i = 0; i < count; ++i) {
        area[i] = fill;
      }
      ok = DrawIconEx(memory, 0, 0, icon, 0, 0, 0, nullptr, DI_NORMAL) != 0;
    }
    GdiFlush();
    if (ok) {
      pixels.assign(area, area + count);
      for (DWORD& p : pixels) {
        p &= 0xFFFFFF;
      }
    }
    SelectObject(memory, old);
  }
  if (bitmap != nullptr) {
    DeleteObject(bitmap);
  }
  if (memory != nullptr) {
    DeleteDC(memory);
  }
  ReleaseDC(nullptr, screen);
  return pixels;
}

// none, warning, error, information, question or unknown: see the header comment.
const char* IconKind(HWND box) {
  IconSearch search;
  EnumChildWindows(box, FindIconControl, reinterpret_cast<LPARAM>(&search));
  if (search.control == nullptr) {
    return "none";  // Windows leaves the control out when there is no icon
  }
  DWORD_PTR handle = 0;
  if (!SendMessageTimeoutA(search.control, STM_GETICON, 0, 0, SMTO_ABORTIFHUNG, kSendTimeoutMs,
                           &handle)) {
    return "unknown";
  }
  if (handle == 0) {
    return "none";
  }
  if (!IsWindowVisible(search.control)) {
    return "unknown";
  }
  static const struct {
    LPCSTR id;
    const char* name;
  } kIcons[] = {
      {IDI_WARNING, "warning"},
      {IDI_ERROR, "error"},
      {IDI_INFORMATION, "information"},
      {IDI_QUESTION, "question"},
  };
  RECT rect;
  GetWindowRect(search.control, &rect);
  int width = rect.right - rect.left;
  int height = rect.bottom - rect.top;
  if (width <= 0 || height <= 0) {
    return "unknown";
  }
  // A box wider or higher than the screen (a long text without blanks) is centred, so its icon
  // may lie outside the screen, where nothing can be read: then the box is moved to show it.
  int screenLeft = GetSystemMetrics(SM_XVIRTUALSCREEN);
  int screenTop = GetSystemMetrics(SM_YVIRTUALSCREEN);
  int screenRight = screenLeft + GetSystemMetrics(SM_CXVIRTUALSCREEN);
  int screenBottom = screenTop + GetSystemMetrics(SM_CYVIRTUALSCREEN);
  int dx = rect.left < screenLeft     ? screenLeft - rect.left
           : rect.right > screenRight ? screenRight - rect.right
                                      : 0;
  int dy = rect.top < screenTop         ? screenTop - rect.top
           : rect.bottom > screenBottom ? screenBottom - rect.bottom
                                        : 0;
  if (dx != 0 || dy != 0) {
    RECT boxRect;
    GetWindowRect(box, &boxRect);
    SetWindowPos(box, nullptr, boxRect.left + dx, boxRect.top + dy, 0, 0,
                 SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    GetWindowRect(search.control, &rect);
  }
  // The box may not be painted yet when it first shows: look again for a while.
  for (int attempt = 0; attempt < 40; ++attempt) {
    HDC screen = GetDC(nullptr);
    std::vector<DWORD> shown = Pixels(screen, rect.left, rect.top, width, height, 0, nullptr);
    ReleaseDC(nullptr, screen);
    if (!shown.empty()) {
      for (const auto& icon : kIcons) {
        std::vector<DWORD> drawn =
            Pixels(nullptr, 0, 0, width, height, shown[0], LoadIconA(nullptr, icon.id));
        if (drawn == shown) {
          return icon.name;
        }
      }
    }
    Sleep(kPollMs);
  }
  return "unknown";
}

DWORD TimeoutMs() {
  const char* setting = std::getenv("BOX_PROBE_TIMEOUT");
  if (setting != nullptr) {
    long seconds = std::strtol(setting, nullptr, 10);
    if (seconds > 0 && seconds < 3600) {
      return static_cast<DWORD>(seconds) * 1000;
    }
  }
  return 20000;
}

void Field(const char* name, const std::string& value) {
  std::printf("%s=%s\n", name, value.c_str());
}

// Remembers every box seen so far; closes each new one with OK. Returns the number of new ones.
int CloseNewBoxes(DWORD processId, std::vector<HWND>& seen) {
  int added = 0;
  for (HWND box : VisibleBoxes(processId)) {
    bool known = false;
    for (HWND old : seen) {
      known = known || old == box;
    }
    if (known) {
      continue;
    }
    seen.push_back(box);
    ++added;
    std::string caption;
    std::string text;
    ReadText(box, caption);
    ReadText(GetDlgItem(box, kTextControlId), text);
    std::fprintf(stderr, "box_probe: another box: caption [%s] text [%s]\n",
                 OneLine(caption).c_str(), OneLine(text).c_str());
    PostMessageA(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(box, IDOK)));
  }
  return added;
}

}  // namespace

int main(int argc, char** argv) {
  _setmode(_fileno(stdout), _O_BINARY);
  _setmode(_fileno(stderr), _O_BINARY);
  if (argc != 3) {
    std::fprintf(stderr, "usage: box_probe.exe EXE \"RAW COMMAND LINE\"\n");
    return 2;
  }
  const DWORD timeout = TimeoutMs();

  std::vector<char> line(argv[2], argv[2] + std::strlen(argv[2]) + 1);
  STARTUPINFOA startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process = {};
  if (!CreateProcessA(argv[1], line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                      &process)) {
    std::fprintf(stderr, "box_probe: cannot start %s (error %lu)\n", argv[1], GetLastError());
    return 2;
  }
  CloseHandle(process.hThread);
  Field("line", OneLine(argv[2]));

  // Wait for the first box, or the end of the process.
  HWND box = nullptr;
  bool ended = false;
  ULONGLONG start = GetTickCount64();
  while (box == nullptr && !ended && GetTickCount64() - start < timeout) {
    ended = WaitForSingleObject(process.hProcess, kPollMs) == WAIT_OBJECT_0;
    std::vector<HWND> boxes = VisibleBoxes(process.dwProcessId);
    if (!boxes.empty()) {
      box = boxes[0];
    }
  }

  int result = 0;
  DWORD exitCode = 0;
  if (box == nullptr) {
    if (ended) {
      GetExitCodeProcess(process.hProcess, &exitCode);
      Field("box", "none");
      Field("boxes", "0");
      Field("exit", std::to_string(exitCode));
      std::fprintf(stderr, "box_probe: the process ended without showing a box\n");
    } else {
      TerminateProcess(process.hProcess, 255);
      WaitForSingleObject(process.hProcess, 5000);
      Field("box", "timeout");
      Field("boxes", "0");
      Field("exit", "killed");
      std::fprintf(stderr, "box_probe: no box within %lu s; the process was ended\n",
                   timeout / 1000);
    }
    CloseHandle(process.hProcess);
    std::fflush(stdout);
    return 1;
  }

  // Read the box, then press OK.
  std::string caption;
  std::string text;
  bool readable = ReadText(box, caption);
  HWND textControl = GetDlgItem(box, kTextControlId);
  if (textControl == nullptr) {
    std::fprintf(stderr, "box_probe: the box has no text control of id 0xFFFF\n");
    readable = false;
  } else if (!ReadText(textControl, text)) {
    readable = false;
  }
  const char* icon = IconKind(box);
  std::vector<HWND> seen = VisibleBoxes(process.dwProcessId);
  if (seen.size() > 1) {
    std::fprintf(stderr, "box_probe: %zu boxes at once\n", seen.size());
  }
  for (HWND each : seen) {
    PostMessageA(each, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(each, IDOK)));
  }
  int boxCount = static_cast<int>(seen.size());

  // Wait for the end, closing any further box.
  start = GetTickCount64();
  ended = false;
  while (!ended && GetTickCount64() - start < timeout) {
    ended = WaitForSingleObject(process.hProcess, kPollMs) == WAIT_OBJECT_0;
    if (!ended) {
      boxCount += CloseNewBoxes(process.dwProcessId, seen);
    }
  }
  std::string exitField = "timeout";
  if (ended) {
    GetExitCodeProcess(process.hProcess, &exitCode);
    exitField = std::to_string(exitCode);
  } else {
    TerminateProcess(process.hProcess, 255);
    WaitForSingleObject(process.hProcess, 5000);
    std::fprintf(stderr, "box_probe: the process did not end within %lu s after OK\n",
                 timeout / 1000);
    result = 1;
  }
  CloseHandle(process.hProcess);
  if (boxCount != 1) {
    std::fprintf(stderr, "box_probe: %d boxes were shown, not one\n", boxCount);
    result = 1;
  }
  if (!readable) {
    std::fprintf(stderr, "box_probe: the box's caption or text could not be read\n");
    result = 1;
  }

  Field("box", "shown");
  Field("boxes", std::to_string(boxCount));
  Field("exit", exitField);
  Field("caption", OneLine(caption));
  Field("icon", icon);
  Field("text_length", std::to_string(text.size()));
  std::printf("text=");
  std::fwrite(text.data(), 1, text.size(), stdout);
  std::fflush(stdout);
  return result;
}
