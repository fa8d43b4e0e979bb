// boxdriver: starts a program, answers the dialog boxes it shows and reports them, so that the
// end-to-end tests read what each box says from the window itself rather than from a screenshot,
// and get the program's full 32-bit exit code (a Linux parent of Wine only sees the low 8 bits).
//
// Usage: boxdriver [--cwd DIR] [--env NAME=VALUE]... [--unset NAME]... [--timeout SECONDS]
//                  [--poll MS] [--step ACTIONS]... [--observe] (-- PROGRAM [ARG]... | --cmdline "RAW COMMAND LINE")
// --observe: a person answers; every window is described and none is touched.
// --poll: how often to look for new windows (default 30 ms); a timing wants it small.
// Any of these may come instead from --argfile FILE: UTF-8 arguments, each ended by a NUL.
//
// ACTIONS: '+'-separated, a dump always first: dump, yes, no, ok, cancel, accept (yes if the box
// has it, else ok), click:<id>, esc, close
// (WM_SYSCOMMAND SC_CLOSE), wait:<ms>, snap:<name>. Under Wine 8, esc and close on a message box
// without a Cancel button answer IDCANCEL, where Windows ignores them on a Yes/No box and answers
// IDOK on an OK box: a test of those keys shows what Wine does, not what Windows would.
//
// Output lines (UTF-8, the JSON pure ASCII; every line flushed at once):
//   START <pid>            the program runs
//   CREATED <ms>           how long the CreateProcessW call took
//   BOX <json>             a window of the program (see describe_window)
//   UNEXPECTED <window#>   that window had no step left; it was closed
//   SNAP <name>            the driver waits for <name>.done in its current directory
//   ERROR <text>           an action could not be done
//   UNUSED <n>             the program ended with n steps not used
//   TIMEOUT <seconds>      the program was killed
//   SEEN <window#> <ms>    a new window was found, that long after CreateProcessW was called
//   ELAPSED <ms>           the program ran that long (CreateProcessW called to exit seen)
//   EXIT <code>            the program's exit code, unsigned decimal
//   END <status>           the last line; the driver's own exit status (0: every step used, no
//                          unexpected window, no error). Descendants of the program may keep the
//                          output pipe open long after, so readers stop here rather than at EOF.
#include <windows.h>

#include <cwchar>
#include <set>
#include <string>
#include <vector>

namespace {

const int kPollMs = 30;
const int kSnapWaitMs = 10000;
const UINT kSendTimeoutMs = 2000;

HANDLE g_out = nullptr;

std::string narrow(const std::wstring& text) {
  if (text.empty()) return {};
  int n = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<size_t>(n), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), n, nullptr, nullptr);
  return out;
}

// The Linux side reads lines as they come (SNAP needs an answer), so nothing may stay buffered.
void emit(const std::string& line) {
  std::string data = line + "\n";
  DWORD written = 0;
  WriteFile(g_out, data.data(), static_cast<DWORD>(data.size()), &written, nullptr);
  FlushFileBuffers(g_out);
}

void emit(const std::wstring& line) { emit(narrow(line)); }

std::string hex(unsigned long long value) {
  char buf[32];
  wsprintfA(buf, "0x%I64x", value);
  return buf;
}

// Non-ASCII goes out as \uXXXX per UTF-16 unit so the tests compare the exact text the box holds,
// whatever the console code page.
std::string json_string(const std::wstring& text) {
  std::string out = "\"";
  for (wchar_t c : text) {
    switch (c) {
      case L'"':
        out += "\\\"";
        break;
      case L'\\':
        out += "\\\\";
        break;
      case L'\n':
        out += "\\n";
        break;
      case L'\r':
        out += "\\r";
        break;
      case L'\t':
        out += "\\t";
        break;
      default:
        if (c < 0x20 || c >= 0x7f) {
          char buf[8];
          wsprintfA(buf, "\\u%04x", static_cast<unsigned>(c));
          out += buf;
        } else {
          out += static_cast<char>(c);
        }
    }
  }
  return out + "\"";
}

std::string json_bool(bool value) { return value ? "true" : "false"; }

std::wstring class_name(HWND hwnd) {
  wchar_t buf[256];
  int n = GetClassNameW(hwnd, buf, 256);
  return std::wstring(buf, n > 0 ? static_cast<size_t>(n) : 0);
}

// GetWindowTextW of another process's control returns the cached window text, which edit controls
// do not keep; WM_GETTEXT asks the control itself. The timeout keeps a hung program from hanging us.
bool window_text(HWND hwnd, std::wstring& text) {
  DWORD_PTR length = 0;
  if (!SendMessageTimeoutW(hwnd, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, kSendTimeoutMs, &length)) return false;
  std::vector<wchar_t> buf(length + 2, L'\0');
  DWORD_PTR copied = 0;
  if (!SendMessageTimeoutW(hwnd, WM_GETTEXT, buf.size(), reinterpret_cast<LPARAM>(buf.data()), SMTO_ABORTIFHUNG,
                           kSendTimeoutMs, &copied))
    return false;
  text.assign(buf.data(), copied < buf.size() ? copied : buf.size() - 1);
  return true;
}

std::string json_text(HWND hwnd) {
  std::wstring text;
  return window_text(hwnd, text) ? json_string(text) : "null";
}

LONG style_of(HWND hwnd) { return GetWindowLongW(hwnd, GWL_STYLE); }

bool is_icon_static(HWND hwnd) {
  return hwnd && lstrcmpiW(class_name(hwnd).c_str(), L"Static") == 0 && (style_of(hwnd) & SS_TYPEMASK) == SS_ICON;
}

std::vector<HWND> direct_children(HWND parent) {
  struct Collect {
    HWND parent;
    std::vector<HWND> found;
  } collect{parent, {}};
  struct Callback {
    static BOOL CALLBACK add(HWND child, LPARAM param) {
      auto* c = reinterpret_cast<Collect*>(param);
      if (GetAncestor(child, GA_PARENT) == c->parent) c->found.push_back(child);
      return TRUE;
    }
  };
  EnumChildWindows(parent, Callback::add, reinterpret_cast<LPARAM>(&collect));
  return collect.found;
}

// Windows' message box template numbers its icon 0x14; Wine's uses stc1 (0x440).
HWND find_icon_control(HWND box) {
  for (int id : {0x14, 0x440}) {
    HWND control = GetDlgItem(box, id);
    if (is_icon_static(control)) return control;
  }
  for (HWND child : direct_children(box))
    if (is_icon_static(child)) return child;
  return nullptr;
}

struct SystemIcon {
  const char* name;
  LPCWSTR id;
};

const SystemIcon kSystemIcons[] = {
    {"hand", IDI_HAND}, {"question", IDI_QUESTION}, {"exclamation", IDI_EXCLAMATION}, {"asterisk", IDI_ASTERISK}};

struct Pixels {
  HDC dc = nullptr;
  HBITMAP bitmap = nullptr;
  HGDIOBJ previous = nullptr;
  DWORD* bits = nullptr;
  int width = 0, height = 0;

  Pixels(HDC reference, int w, int h) : width(w), height(h) {
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = w;
    info.bmiHeader.biHeight = -h;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* raw = nullptr;
    dc = CreateCompatibleDC(reference);
    bitmap = CreateDIBSection(reference, &info, DIB_RGB_COLORS, &raw, nullptr, 0);
    bits = static_cast<DWORD*>(raw);
    if (dc && bitmap) previous = SelectObject(dc, bitmap);
  }
  ~Pixels() {
    if (previous) SelectObject(dc, previous);
    if (bitmap) DeleteObject(bitmap);
    if (dc) DeleteDC(dc);
  }
  Pixels(const Pixels&) = delete;
  Pixels& operator=(const Pixels&) = delete;
  bool ok() const { return dc && bitmap && bits; }

  unsigned long long distance(const Pixels& other) const {
    unsigned long long sum = 0;
    for (int i = 0; i < width * height; ++i) {
      DWORD a = bits[i], b = other.bits[i];
      for (int shift = 0; shift < 24; shift += 8) {
        int d = static_cast<int>((a >> shift) & 0xff) - static_cast<int>((b >> shift) & 0xff);
        sum += static_cast<unsigned long long>(d < 0 ? -d : d);
      }
    }
    return sum;
  }
};

// Icon handles are per process under Wine, so the handle the box holds never equals ours there.
// Then the icon is told by its pixels: the control's area on the screen against each system icon
// drawn on the same background. Painting may lag behind visibility, hence the retries.
std::string icon_by_pixels(HWND control) {
  RECT rect;
  if (!GetWindowRect(control, &rect)) return "unknown";
  int w = rect.right - rect.left, h = rect.bottom - rect.top;
  if (w <= 0 || h <= 0 || w > 256 || h > 256) return "unknown";
  HDC screen = GetDC(nullptr);
  std::string result = "unknown";
  for (int attempt = 0; attempt < 20 && result == "unknown"; ++attempt) {
    if (attempt) Sleep(50);
    Pixels shot(screen, w, h);
    if (!shot.ok() || !BitBlt(shot.dc, 0, 0, w, h, screen, rect.left, rect.top, SRCCOPY)) break;
    DWORD background = shot.bits[0];
    unsigned long long best = ~0ull, second = ~0ull;
    const char* best_name = nullptr;
    for (const SystemIcon& icon : kSystemIcons) {
      Pixels drawn(screen, w, h);
      if (!drawn.ok()) break;
      for (int i = 0; i < w * h; ++i) drawn.bits[i] = background;
      DrawIconEx(drawn.dc, 0, 0, LoadIconW(nullptr, icon.id), w, h, 0, nullptr, DI_NORMAL);
      unsigned long long d = shot.distance(drawn);
      if (d < best) {
        second = best;
        best = d;
        best_name = icon.name;
      } else if (d < second) {
        second = d;
      }
    }
    // A clear winner only: an unpainted area is about as far from every icon.
    if (best_name && best * 4 < second) result = best_name;
  }
  ReleaseDC(nullptr, screen);
  return result;
}

struct IconReport {
  std::string name;
  std::string how;
};

IconReport message_box_icon(HWND box) {
  HWND control = find_icon_control(box);
  if (!control || !IsWindowVisible(control)) return {"none", "hidden"};
  DWORD_PTR handle = 0;
  SendMessageTimeoutW(control, STM_GETICON, 0, 0, SMTO_ABORTIFHUNG, kSendTimeoutMs, &handle);
  if (!handle) SendMessageTimeoutW(control, STM_GETIMAGE, IMAGE_ICON, 0, SMTO_ABORTIFHUNG, kSendTimeoutMs, &handle);
  if (!handle) return {"none", "empty"};
  for (const SystemIcon& icon : kSystemIcons)
    if (reinterpret_cast<HICON>(handle) == LoadIconW(nullptr, icon.id)) return {icon.name, "handle"};
  return {icon_by_pixels(control), "pixels"};
}

std::string describe_owner(HWND hwnd) {
  HWND owner = GetWindow(hwnd, GW_OWNER);
  if (!owner) return "null";
  return "{\"hwnd\":\"" + hex(reinterpret_cast<UINT_PTR>(owner)) + "\",\"class\":" + json_string(class_name(owner)) +
         ",\"visible\":" + json_bool(IsWindowVisible(owner)) +
         ",\"disabled\":" + json_bool((style_of(owner) & WS_DISABLED) != 0) + ",\"title\":" + json_text(owner) + "}";
}

std::string describe_control(HWND control) {
  std::wstring cls = class_name(control);
  std::string out = "{\"id\":" + std::to_string(GetDlgCtrlID(control)) + ",\"class\":" + json_string(cls) +
                    ",\"text\":" + json_text(control) + ",\"visible\":" + json_bool(IsWindowVisible(control)) +
                    ",\"enabled\":" + json_bool(IsWindowEnabled(control));
  if (lstrcmpiW(cls.c_str(), L"Button") == 0) {
    DWORD_PTR check = 0;
    SendMessageTimeoutW(control, BM_GETCHECK, 0, 0, SMTO_ABORTIFHUNG, kSendTimeoutMs, &check);
    out += ",\"checked\":" + std::to_string(check);
  } else {
    out += ",\"checked\":null";
  }
  return out + ",\"style\":\"" + hex(static_cast<DWORD>(style_of(control))) + "\"}";
}

std::string describe_window(HWND hwnd, DWORD pid, int window_number, int step) {
  std::string out = "{\"window\":" + std::to_string(window_number) + ",\"step\":" + std::to_string(step) +
                    ",\"pid\":" + std::to_string(pid) + ",\"hwnd\":\"" + hex(reinterpret_cast<UINT_PTR>(hwnd)) +
                    "\",\"class\":" + json_string(class_name(hwnd)) + ",\"caption\":" + json_text(hwnd);
  HWND text = GetDlgItem(hwnd, 0xFFFF);
  out += ",\"text\":" + (text ? json_text(text) : std::string("null"));
  out += ",\"buttons\":[";
  bool first = true;
  for (int id = IDOK; id <= IDNO; ++id) {
    HWND button = GetDlgItem(hwnd, id);
    if (button && IsWindowVisible(button)) {
      if (!first) out += ',';
      out += std::to_string(id);
      first = false;
    }
  }
  out += "]";
  IconReport icon = text ? message_box_icon(hwnd) : IconReport{"none", "no-text"};
  out += ",\"icon\":\"" + icon.name + "\",\"iconBy\":\"" + icon.how + "\"";
  out += ",\"owner\":" + describe_owner(hwnd);
  out += ",\"style\":\"" + hex(static_cast<DWORD>(style_of(hwnd))) + "\"";
  out += ",\"exStyle\":\"" + hex(static_cast<DWORD>(GetWindowLongW(hwnd, GWL_EXSTYLE))) + "\"";
  out += ",\"classStyle\":\"" + hex(static_cast<DWORD>(GetClassLongW(hwnd, GCL_STYLE))) + "\"";
  out += ",\"controls\":[";
  first = true;
  for (HWND child : direct_children(hwnd)) {
    if (!first) out += ',';
    out += describe_control(child);
    first = false;
  }
  return out + "]}";
}

enum class Kind { Dump, Click, Esc, Close, Wait, Snap };
constexpr int kAcceptButton = -1;

struct Action {
  Kind kind;
  int number = 0;      // button id or milliseconds
  std::wstring name;   // snap name
  std::wstring label;  // as written, for messages
};

bool parse_number(const std::wstring& text, int& value) {
  if (text.empty()) return false;
  wchar_t* end = nullptr;
  long v = wcstol(text.c_str(), &end, 0);
  if (*end || v < 0) return false;
  value = static_cast<int>(v);
  return true;
}

bool parse_step(const std::wstring& text, std::vector<Action>& actions, std::wstring& error) {
  size_t start = 0;
  while (start <= text.size()) {
    size_t plus = text.find(L'+', start);
    std::wstring word = text.substr(start, plus == std::wstring::npos ? std::wstring::npos : plus - start);
    start = plus == std::wstring::npos ? text.size() + 1 : plus + 1;
    Action a{Kind::Dump, 0, {}, word};
    std::wstring arg;
    size_t colon = word.find(L':');
    std::wstring verb = word.substr(0, colon);
    if (colon != std::wstring::npos) arg = word.substr(colon + 1);
    bool ok = true;
    if (verb == L"dump") {
      a.kind = Kind::Dump;
    } else if (verb == L"yes" || verb == L"no" || verb == L"ok" || verb == L"cancel") {
      a.kind = Kind::Click;
      a.number = verb == L"yes" ? IDYES : verb == L"no" ? IDNO : verb == L"ok" ? IDOK : IDCANCEL;
    } else if (verb == L"accept") {
      // Yes where the box asks, OK where it only tells: a user who agrees to everything.
      a.kind = Kind::Click;
      a.number = kAcceptButton;
    } else if (verb == L"click") {
      a.kind = Kind::Click;
      ok = parse_number(arg, a.number);
    } else if (verb == L"esc") {
      a.kind = Kind::Esc;
    } else if (verb == L"close") {
      a.kind = Kind::Close;
    } else if (verb == L"wait") {
      a.kind = Kind::Wait;
      ok = parse_number(arg, a.number);
    } else if (verb == L"snap") {
      a.kind = Kind::Snap;
      a.name = arg;
      ok = !arg.empty() && arg.find_first_of(L"\\/:*?\"<>|") == std::wstring::npos;
    } else {
      ok = false;
    }
    if (!ok || ((verb == L"click" || verb == L"wait" || verb == L"snap") != (colon != std::wstring::npos))) {
      error = L"bad action '" + word + L"' in step '" + text + L"'";
      return false;
    }
    actions.push_back(a);
  }
  if (actions.empty() || actions.front().kind != Kind::Dump)
    actions.insert(actions.begin(), Action{Kind::Dump, 0, {}, L"dump"});
  return true;
}

// The same rules CommandLineToArgvW and the C runtime use to split a command line again.
std::wstring quote_argument(const std::wstring& arg) {
  if (!arg.empty() && arg.find_first_of(L" \t\n\v\"") == std::wstring::npos) return arg;
  std::wstring out = L"\"";
  size_t backslashes = 0;
  for (wchar_t c : arg) {
    if (c == L'\\') {
      ++backslashes;
    } else if (c == L'"') {
      out.append(backslashes * 2 + 1, L'\\');
      out += c;
      backslashes = 0;
    } else {
      out.append(backslashes, L'\\');
      out += c;
      backslashes = 0;
    }
  }
  out.append(backslashes * 2, L'\\');
  return out + L"\"";
}

struct Options {
  std::wstring cwd;
  std::vector<std::pair<std::wstring, std::wstring>> env;
  std::vector<std::wstring> unset;
  int timeout_seconds = 60;
  int poll_ms = kPollMs;
  std::vector<std::vector<Action>> steps;
  std::wstring command_line;
  bool have_command = false;
  bool observe = false;  // a person answers: windows are described, never touched
};

int usage(const std::wstring& error) {
  emit(L"ERROR " + error);
  emit(
      "usage: boxdriver [--cwd DIR] [--env NAME=VALUE]... [--unset NAME]... [--timeout SECONDS] [--poll MS] "
      "[--step ACTIONS]... [--observe] [--argfile FILE] (-- PROGRAM [ARG]... | --cmdline RAW)");
  return 2;
}

// Wine turns a Linux command line into UTF-16 through the Linux locale, which mangles non-ASCII
// text when that locale is not installed (ru_RU.UTF-8 on a bare machine: the locale that gives a
// Russian user interface). A file of UTF-8 arguments, each ended by a NUL, reaches us intact.
bool read_argument_file(const std::wstring& path, std::vector<std::wstring>& args, std::wstring& error) {
  HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    error = L"cannot open --argfile " + path;
    return false;
  }
  std::string data;
  char buf[4096];
  DWORD got = 0;
  while (ReadFile(file, buf, sizeof(buf), &got, nullptr) && got) data.append(buf, got);
  CloseHandle(file);
  size_t start = 0;
  while (start < data.size()) {
    size_t end = data.find('\0', start);
    if (end == std::string::npos) {
      error = L"--argfile " + path + L" does not end with a NUL";
      return false;
    }
    std::wstring arg;
    if (end > start) {
      int n = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, data.data() + start, static_cast<int>(end - start),
                                  nullptr, 0);
      if (n <= 0) {
        error = L"--argfile " + path + L" is not UTF-8";
        return false;
      }
      arg.resize(static_cast<size_t>(n));
      MultiByteToWideChar(CP_UTF8, 0, data.data() + start, static_cast<int>(end - start), arg.data(), n);
    }
    args.push_back(arg);
    start = end + 1;
  }
  return true;
}

// The arguments with every --argfile before "--" replaced by the arguments in it.
bool expand_arguments(int argc, wchar_t** argv, std::vector<std::wstring>& args, std::wstring& error) {
  bool program_part = false;
  for (int i = 1; i < argc; ++i) {
    std::wstring arg = argv[i];
    if (!program_part && arg == L"--argfile") {
      if (i + 1 >= argc) {
        error = L"missing value after --argfile";
        return false;
      }
      size_t first = args.size();
      if (!read_argument_file(argv[++i], args, error)) return false;
      for (size_t j = first; j < args.size(); ++j) program_part = program_part || args[j] == L"--";
      continue;
    }
    program_part = program_part || arg == L"--";
    args.push_back(arg);
  }
  return true;
}

bool parse_options(const std::vector<std::wstring>& argv, Options& options, std::wstring& error) {
  const size_t argc = argv.size();
  for (size_t i = 0; i < argc; ++i) {
    std::wstring opt = argv[i];
    if (opt == L"--observe") {
      options.observe = true;
      continue;
    }
    if (opt == L"--") {
      if (options.have_command || i + 1 >= argc) {
        error = options.have_command ? L"both -- and --cmdline" : L"no program after --";
        return false;
      }
      for (size_t j = i + 1; j < argc; ++j) {
        if (j > i + 1) options.command_line += L' ';
        options.command_line += quote_argument(argv[j]);
      }
      options.have_command = true;
      return true;
    }
    if (i + 1 >= argc) {
      error = L"missing value after " + opt;
      return false;
    }
    std::wstring value = argv[++i];
    if (opt == L"--cwd") {
      options.cwd = value;
    } else if (opt == L"--env") {
      size_t eq = value.find(L'=');
      if (eq == std::wstring::npos || eq == 0) {
        error = L"--env wants NAME=VALUE, got " + value;
        return false;
      }
      options.env.emplace_back(value.substr(0, eq), value.substr(eq + 1));
    } else if (opt == L"--unset") {
      options.unset.push_back(value);
    } else if (opt == L"--timeout") {
      if (!parse_number(value, options.timeout_seconds) || options.timeout_seconds == 0) {
        error = L"bad --timeout " + value;
        return false;
      }
    } else if (opt == L"--poll") {
      if (!parse_number(value, options.poll_ms) || options.poll_ms == 0) {
        error = L"bad --poll " + value;
        return false;
      }
    } else if (opt == L"--step") {
      options.steps.emplace_back();
      if (!parse_step(value, options.steps.back(), error)) return false;
    } else if (opt == L"--cmdline") {
      if (options.have_command) {
        error = L"both -- and --cmdline";
        return false;
      }
      options.command_line = value;
      options.have_command = true;
    } else {
      error = L"unknown option " + opt;
      return false;
    }
  }
  if (!options.have_command) error = L"no program given (-- PROGRAM ... or --cmdline)";
  return options.have_command;
}

// Milliseconds since start(), from the performance counter: under Wine GetTickCount64 moves in steps
// of up to 19 ms, too coarse for a start-up that takes a few dozen.
struct Stopwatch {
  LARGE_INTEGER frequency = {};
  LARGE_INTEGER begun = {};
  void start() {
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&begun);
  }
  ULONGLONG ms() const {
    LARGE_INTEGER now = {};
    QueryPerformanceCounter(&now);
    return static_cast<ULONGLONG>((now.QuadPart - begun.QuadPart) * 1000 / frequency.QuadPart);
  }
};

struct Deadline {
  ULONGLONG end;
  bool passed() const { return GetTickCount64() >= end; }
  DWORD left() const {
    ULONGLONG now = GetTickCount64();
    return now >= end ? 0 : static_cast<DWORD>(end - now);
  }
};

bool button_usable(HWND button) { return button && IsWindowVisible(button) && IsWindowEnabled(button); }

void click(HWND button) {
  // A send returns once the click is handled, so the next poll no longer finds a box that the click
  // closed; a timeout only means the program does long work in its button handler.
  SendMessageTimeoutW(button, BM_CLICK, 0, 0, SMTO_NORMAL, kSendTimeoutMs, nullptr);
}

// What a user does when a box nobody expected must go away without agreeing to anything.
void dismiss(HWND box) {
  for (int id : {IDNO, IDCANCEL, IDOK}) {
    HWND button = GetDlgItem(box, id);
    if (button_usable(button)) {
      click(button);
      return;
    }
  }
  PostMessageW(box, WM_CLOSE, 0, 0);
}

// Esc goes to the focused control as a real key press would, so the program's own message loop and
// the dialog manager (IsDialogMessage) decide what it means.
void press_escape(HWND box) {
  GUITHREADINFO info = {};
  info.cbSize = sizeof(info);
  HWND target = box;
  if (GetGUIThreadInfo(GetWindowThreadProcessId(box, nullptr), &info) && info.hwndFocus &&
      (info.hwndFocus == box || IsChild(box, info.hwndFocus)))
    target = info.hwndFocus;
  PostMessageW(target, WM_KEYDOWN, VK_ESCAPE, 0x00010001);
  PostMessageW(target, WM_KEYUP, VK_ESCAPE, 0xC0010001);
}

bool file_exists(const std::wstring& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

struct Driver {
  Options options;
  PROCESS_INFORMATION process = {};
  Deadline deadline{0};
  std::set<HWND> seen;
  size_t next_step = 0;
  Stopwatch since_start;
  int windows = 0;
  bool failed = false;
  bool timed_out = false;

  void sleep_within_deadline(DWORD ms) { Sleep(ms < deadline.left() ? ms : deadline.left()); }

  void wait_for_snap(const std::wstring& name) {
    emit(L"SNAP " + name);
    std::wstring done = name + L".done";
    ULONGLONG until = GetTickCount64() + kSnapWaitMs;
    while (!file_exists(done)) {
      if (GetTickCount64() >= until || deadline.passed()) {
        emit(L"ERROR no " + done + L" after the snapshot request");
        failed = true;
        return;
      }
      Sleep(kPollMs);
    }
    DeleteFileW(done.c_str());
  }

  void perform(HWND box, int step, const std::vector<Action>& actions) {
    for (const Action& a : actions) {
      if (!IsWindow(box) && a.kind != Kind::Wait && a.kind != Kind::Snap) {
        emit(L"ERROR window " + std::to_wstring(windows) + L" is gone before '" + a.label + L"'");
        failed = true;
        return;
      }
      switch (a.kind) {
        case Kind::Dump:
          emit("BOX " + describe_window(box, process.dwProcessId, windows, step));
          break;
        case Kind::Click: {
          const int id = a.number != kAcceptButton ? a.number : button_usable(GetDlgItem(box, IDYES)) ? IDYES : IDOK;
          HWND button = GetDlgItem(box, id);
          if (!button_usable(button)) {
            emit(L"ERROR window " + std::to_wstring(windows) + L" has no visible enabled control " +
                 std::to_wstring(a.number) + L" for '" + a.label + L"'; dismissing it");
            failed = true;
            dismiss(box);
            return;
          }
          click(button);
          break;
        }
        case Kind::Esc:
          press_escape(box);
          break;
        case Kind::Close:
          PostMessageW(box, WM_SYSCOMMAND, SC_CLOSE, 0);
          break;
        case Kind::Wait:
          sleep_within_deadline(static_cast<DWORD>(a.number));
          break;
        case Kind::Snap:
          wait_for_snap(a.name);
          break;
      }
    }
  }

  static BOOL CALLBACK collect(HWND hwnd, LPARAM param) {
    auto* found = reinterpret_cast<std::pair<DWORD, std::vector<HWND>>*>(param);
    DWORD pid = 0;
    GetWindowThreadProcessId(hwnd, &pid);
    if (pid == found->first && IsWindowVisible(hwnd) && class_name(hwnd) == L"#32770") found->second.push_back(hwnd);
    return TRUE;
  }

  void poll_windows() {
    // Forget windows that are gone, so that a handle value used again counts as a new window.
    for (auto it = seen.begin(); it != seen.end();) it = IsWindow(*it) ? std::next(it) : seen.erase(it);
    std::pair<DWORD, std::vector<HWND>> found{process.dwProcessId, {}};
    EnumWindows(collect, reinterpret_cast<LPARAM>(&found));
    // EnumWindows lists the topmost first; the oldest window is the one to answer first.
    for (auto it = found.second.rbegin(); it != found.second.rend(); ++it) {
      HWND box = *it;
      if (!seen.insert(box).second) continue;
      ++windows;
      emit("SEEN " + std::to_string(windows) + " " + std::to_string(since_start.ms()));
      if (options.observe) {
        emit("BOX " + describe_window(box, process.dwProcessId, windows, 0));
      } else if (next_step < options.steps.size()) {
        int step = static_cast<int>(next_step);
        perform(box, step + 1, options.steps[next_step++]);
      } else {
        emit("BOX " + describe_window(box, process.dwProcessId, windows, 0));
        emit("UNEXPECTED " + std::to_string(windows));
        failed = true;
        dismiss(box);
      }
    }
  }

  int run() {
    for (const auto& [name, value] : options.env) SetEnvironmentVariableW(name.c_str(), value.c_str());
    for (const auto& name : options.unset) SetEnvironmentVariableW(name.c_str(), nullptr);

    std::vector<wchar_t> command(options.command_line.begin(), options.command_line.end());
    command.push_back(L'\0');
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    // From the call on: what a user waits for counts the creation of the process too.
    since_start.start();
    if (!CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr,
                        options.cwd.empty() ? nullptr : options.cwd.c_str(), &startup, &process)) {
      emit(L"ERROR CreateProcessW failed with " + std::to_wstring(GetLastError()) + L" for " + options.command_line);
      return 2;
    }
    const ULONGLONG created_ms = since_start.ms();
    deadline.end = GetTickCount64() + static_cast<ULONGLONG>(options.timeout_seconds) * 1000;
    emit("START " + std::to_string(process.dwProcessId));
    emit("CREATED " + std::to_string(created_ms));

    while (WaitForSingleObject(process.hProcess, static_cast<DWORD>(options.poll_ms)) == WAIT_TIMEOUT) {
      if (deadline.passed()) {
        timed_out = true;
        break;
      }
      poll_windows();
    }
    if (timed_out) {
      TerminateProcess(process.hProcess, 1);
      WaitForSingleObject(process.hProcess, 5000);
      emit("TIMEOUT " + std::to_string(options.timeout_seconds));
    } else {
      DWORD code = 0;
      GetExitCodeProcess(process.hProcess, &code);
      emit("ELAPSED " + std::to_string(since_start.ms()));
      emit("EXIT " + std::to_string(code));
    }
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);

    size_t unused = options.steps.size() - next_step;
    if (unused) {
      emit("UNUSED " + std::to_string(unused));
      failed = true;
    }
    return failed || timed_out ? 1 : 0;
  }
};

}  // namespace

int wmain(int argc, wchar_t** argv) {
  g_out = GetStdHandle(STD_OUTPUT_HANDLE);
  Driver driver;
  std::wstring error;
  std::vector<std::wstring> args;
  bool ok = expand_arguments(argc, argv, args, error) && parse_options(args, driver.options, error);
  int status = ok ? driver.run() : usage(error);
  emit("END " + std::to_string(status));
  return status;
}
